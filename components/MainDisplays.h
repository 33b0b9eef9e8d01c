#pragma once

#include <QLatin1String>
#include <QString>
#include <cstdint>

// The main window's display elements, by the names the skin gives them.
namespace display {
inline constexpr QLatin1String kTime("s_time");
inline constexpr QLatin1String kFileName("s_filename");
inline constexpr QLatin1String kFileInfo("s_mono");
inline constexpr QLatin1String kFileSize("s_sizeson");
inline constexpr QLatin1String kProgress("showp");  // a join's progress
inline constexpr QLatin1String kBar("play_bar");    // the seek bar, 0..980
}  // namespace display

// Elapsed time as the displays, the list and the command line show it: "hh:mm:ss", each at
// least two digits, hours not capped.
inline QString TimeText(int64_t seconds) {
    return QString::asprintf("%.2lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                             static_cast<long long>(seconds % 3600 / 60),
                             static_cast<long long>(seconds % 60));
}

// The main window's displays as recording and playback write them: texts by element name and
// the seek bar "play_bar" on its scale of 0..980. A display the skin lacks takes writes silently.
class MainDisplays {
public:
    virtual ~MainDisplays() = default;

    // Sets the text and redraws the element.
    virtual void SetText(const QString& name, const QString& text) = 0;
    void Clear(const QString& name) { SetText(name, QString()); }

    // Setting the position redraws the bar; a missing bar reads as 0.
    virtual void SetBarPosition(int position) = 0;
    virtual int BarPosition() const = 0;
    virtual void SetBarEnabled(bool enabled) = 0;
};

// Displays that show nothing, for running recordings where there is no main window (the
// command-line tool).
class NoDisplays : public MainDisplays {
public:
    void SetText(const QString&, const QString&) override {}
    void SetBarPosition(int) override {}
    int BarPosition() const override { return 0; }
    void SetBarEnabled(bool) override {}
};
