#include <QFile>
#include <QRegularExpression>
#include <cstdlib>

#include "e2e/UserFlow.h"

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kSource = QStringLiteral("Recording Source");
const QString kFolders = QStringLiteral("Output Directory");
// The level slider's range stands for 0..100 % of the source's volume.
constexpr int kSliderMax = 66535;

// The source's volume in percent as the sound server reports it; -1 when it cannot be read.
int VolumePercent(const Session& s, const QString& source) {
    const auto match = QRegularExpression(QStringLiteral("(\\d+)%"))
                           .match(s.Pulse().Pactl({QStringLiteral("get-source-volume"), source}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

void OpenSettingsPage(Session& s, const QString& page) {
    s.ClickSkin(kMainWindow, QStringLiteral("set"));
    s.WaitForWindow(kSettings);
    s.ClickItem(kSettings, QStringLiteral("tv"), page);
}

// The source dialog opens over the modal settings dialog and must take input all the same.
TEST_F(UserFlow, SourceLevelFromTheSettingsPageSetsTheSourceInUse) {
    // With nothing chosen yet, the program records from the server's default source.
    const QString source = s.Pulse().Pactl({QStringLiteral("get-default-source")}).trimmed();
    OpenSettingsPage(s, kSource);
    s.WaitForWindow(kSource);

    s.ClickWidget(kSource, QStringLiteral("tb_rd"));
    s.WaitForFocus(kSource, QStringLiteral("tb_rd"));
    s.Key(QStringLiteral("Home"));
    EXPECT_TRUE(Eventually([&] { return VolumePercent(s, source) == 0; }))
        << VolumePercent(s, source) << "% on " << source.toStdString();

    // A middle click puts the handle where it lands: a level between the ends.
    s.ClickWidgetAt(kSource, QStringLiteral("tb_rd"), 0.75, 2);
    int value = 0;
    ASSERT_TRUE(Eventually([&] {
        value = s.Text(kSource, QStringLiteral("tb_rd")).toInt();
        return value > kSliderMax / 2;
    })) << value;
    const int percent = qRound(value * 100.0 / kSliderMax);
    EXPECT_TRUE(Eventually([&] { return std::abs(VolumePercent(s, source) - percent) <= 1; }))
        << VolumePercent(s, source) << "% on the server, " << percent << "% on the slider";

    s.ClickWidget(kSource, QStringLiteral("dev_bt_ok"));
    s.WaitForWindow(kSource, false);
    EXPECT_TRUE(s.Shown(kSettings));
}

// The page stores the section; armed on a silent source, the recording waits and leaves no file.
TEST_F(UserFlow, SoundActivationPageArmsTheRecording) {
    OpenSettingsPage(s, QStringLiteral("Sound activation"));
    s.ClickWidget(kSettings, QStringLiteral("cb_act"));
    s.ClickWidget(kSettings, QStringLiteral("set_bt_ok"));
    s.WaitForWindow(kSettings, false);
    const QString ini = s.ConfigHome() + QStringLiteral("/Sonvara/Kelvo.ini");
    EXPECT_EQ(IniValue(ini, QStringLiteral("activation"), QStringLiteral("enabled")), "1");

    s.ClickSkin(kMainWindow, QStringLiteral("recorder"));
    EXPECT_TRUE(Eventually([&] {
        return s.Text(kMainWindow.title, QStringLiteral("s_time")) == "Waiting for sound";
    }));
    s.ClickSkin(kMainWindow, QStringLiteral("stop"));
    EXPECT_TRUE(
        Eventually([&] { return s.Text(kMainWindow.title, QStringLiteral("s_time")) == ""; }));
    EXPECT_TRUE(Mp3Files(s.Home() + QStringLiteral("/My Recorder")).isEmpty());
}

// Escape drops what was edited: the next recording stores nothing and records as stored.
TEST_F(UserFlow, EscapeDropsTheEditsThatTheNextRecordingWouldStore) {
    const QString ini = s.ConfigHome() + QStringLiteral("/Sonvara/Kelvo.ini");
    s.ClickSkin(kMainWindow, QStringLiteral("set"));
    s.WaitForWindow(kSettings);
    s.ClickWidget(kSettings, QStringLiteral("set_bt_ok"));
    s.WaitForWindow(kSettings, false);
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    file.close();

    OpenSettingsPage(s, QStringLiteral("Output Format"));
    s.ClickWidget(kSettings, QStringLiteral("out_name"));
    s.Key(QStringLiteral("ctrl+a"));
    s.Type(QStringLiteral("Dropped"));
    ASSERT_TRUE(
        Eventually([&] { return s.Text(kSettings, QStringLiteral("out_name")) == "Dropped"; }));
    s.Key(QStringLiteral("Escape"));
    s.WaitForWindow(kSettings, false);
    Record(1s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), stored);
    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 1);
    EXPECT_FALSE(files[0].fileName().startsWith("Dropped")) << files[0].fileName().toStdString();
}

class OutputFolderFlow : public UserFlow {
protected:
    void SetUpHome(const QDir& home) override { home.mkpath(kFolder); }
    const QString kFolder = QStringLiteral("Radio Takes");
};

// The folder dialog opens over the modal settings dialog; the folder chosen there is stored
// with the settings and recorded into.
TEST_F(OutputFolderFlow, ChosenFolderIsStoredAndRecordedInto) {
    const QString folder = s.Home() + u'/' + kFolder;
    OpenSettingsPage(s, QStringLiteral("Output Format"));
    s.ClickWidget(kSettings, QStringLiteral("Button2"));
    s.ClickItem(kFolders, QStringLiteral("ShellTreeView1"), QStringLiteral("Home"), 2);
    s.ClickItem(kFolders, QStringLiteral("ShellTreeView1"), kFolder);
    s.ClickWidget(kFolders, QStringLiteral("btn_ok"));
    s.WaitForWindow(kFolders, false);
    EXPECT_TRUE(Eventually([&] { return s.Text(kSettings, QStringLiteral("ed_dir")) == folder; }))
        << s.Text(kSettings, QStringLiteral("ed_dir")).toStdString();

    s.ClickWidget(kSettings, QStringLiteral("set_bt_ok"));
    s.WaitForWindow(kSettings, false);
    const QString ini = s.ConfigHome() + QStringLiteral("/Sonvara/Kelvo.ini");
    EXPECT_EQ(IniValue(ini, QStringLiteral("output"), QStringLiteral("dir")), folder);

    Record(1s);
    EXPECT_EQ(Mp3Files(folder).size(), 1);
    EXPECT_TRUE(Mp3Files(s.Home() + QStringLiteral("/My Recorder")).isEmpty());
}

}  // namespace
