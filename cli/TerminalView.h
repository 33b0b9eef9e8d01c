#pragma once

#include <QTextStream>

#include "app/Program.h"
#include "components/AudioVisualizationEx2.h"
#include "components/MainDisplays.h"

// The terminal in the place of the main window: what the program tells goes to standard error,
// over the progress line when one is shown. A failure told makes the command fail.
class TerminalView : public ProgramView {
public:
    TerminalView(QTextStream& err, bool showProgress) : err_(err), showProgress_(showProgress) {}

    bool failed = false;

    MainDisplays& Displays() override { return displays_; }
    AudioVisualizationEx2& Levels() override { return levels_; }
    void ShowMessage(const QString& text, bool warning) override;
    void Notify(const QString&, const QString& body) override { ShowMessage(body, false); }
    void NotifyFailure(const QString& text) override { ShowMessage(text, true); }
    void ShowOutputPath(const QString&) override {}

protected:
    // The stream, with the progress line cleared first.
    QTextStream& Line();

    QTextStream& err_;
    const bool showProgress_;

private:
    struct NoLevels : AudioVisualizationEx2 {
        void ShowArray(const SampleArray&, int) override {}
        void SetVisible(bool) override {}
    };
    NoDisplays displays_;
    NoLevels levels_;
};
