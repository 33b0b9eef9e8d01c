#include "e2e/UserFlow.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <thread>

namespace {

// The main window shows the level display only while it records.
const QString kLevel = QStringLiteral("AudioVisualization21");

}  // namespace

void UserFlow::JoinAs(const QString& name) {
    s.ClickSkin(kListWindow, QStringLiteral("join"));
    const QString save = QStringLiteral("Save As");
    s.WaitForWindow(save);
    s.WaitForFocus(save, QStringLiteral("fileNameEdit"));
    s.Type(name);
    s.Key(QStringLiteral("Return"));
    s.WaitForWindow(save, false);
}

void UserFlow::Record(std::chrono::milliseconds length) {
    const auto start = std::chrono::steady_clock::now();
    s.ClickSkin(kMainWindow, QStringLiteral("recorder"));
    s.WaitForWidget(kMainWindow.title, kLevel);
    // The recording's length, not a pause for the program to settle. Both clicks take as long
    // to reach it, so the stop click leaves length after the record click did.
    std::this_thread::sleep_until(start + length);
    s.ClickSkin(kMainWindow, QStringLiteral("stop"));
    s.WaitForWidget(kMainWindow.title, kLevel, false);
}

QFileInfoList Mp3Files(const QString& folder) {
    return QDir(folder).entryInfoList({QStringLiteral("*.mp3")}, QDir::Files);
}

double DurationSeconds(const QString& file) {
    QProcess sox;
    sox.start(QStringLiteral("sox"), {QStringLiteral("--i"), QStringLiteral("-D"), file});
    if (!sox.waitForFinished(20000) || sox.exitCode() != 0)
        return -1;
    bool ok = false;
    const double seconds = sox.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? seconds : -1;
}

QString IniValue(const QString& file, const QString& section, const QString& key) {
    QFile ini(file);
    if (!ini.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QRegularExpression pair(QStringLiteral("^\\s*([^=]+?)\\s*=(.*)$"));
    bool inSection = false;
    for (const QString& line : QString::fromUtf8(ini.readAll()).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            inSection = trimmed.compare(u'[' + section + u']', Qt::CaseInsensitive) == 0;
            continue;
        }
        const auto match = pair.match(line);
        if (inSection && match.hasMatch() &&
            match.captured(1).compare(key, Qt::CaseInsensitive) == 0)
            return match.captured(2).trimmed();
    }
    return {};
}
