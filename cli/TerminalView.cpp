#include "cli/TerminalView.h"

#include "cli/FileArguments.h"

void TerminalView::ShowMessage(const QString& text, bool warning) {
    Line() << "sonvara-cli: " << WithNamesShown(text) << "\n";
    err_.flush();
    failed = failed || warning;
}

QTextStream& TerminalView::Line() {
    if (showProgress_)
        err_ << "\r\033[K";
    return err_;
}
