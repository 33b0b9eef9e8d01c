#include "config/OutputFolder.h"

#include <QDir>
#include <QRegularExpression>

#include "config/Settings.h"

namespace {

const QString kOutput = QStringLiteral("output");

QString UnderHome(const QString& relative) {
    return QDir::cleanPath(QDir::homePath() + u'/' + relative);
}

}  // namespace

QString DefaultOutputDirectory() {
    return QDir::homePath() + QStringLiteral("/My Recorder");
}

QString LocalFolder(const QString& stored) {
    static const QRegularExpression windowsDefault(QStringLiteral(R"(^C:\\My Recorder\\?$)"),
                                                   QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    if (stored.isEmpty() || windowsDefault.match(stored).hasMatch())
        return DefaultOutputDirectory();
    if (drive.match(stored).hasMatch() || stored.contains(u'\\')) {
        QString path = stored;
        path.remove(drive);
        path.replace(u'\\', u'/');
        return UnderHome(path);
    }
    return QDir::isRelativePath(stored) ? UnderHome(stored) : stored;
}

QString ReadOutputDirectory(const Settings& settings) {
    return LocalFolder(settings.ReadString(kOutput, QStringLiteral("dir"), QString()));
}

QString ReadChosenDirectory(const Settings& settings) {
    return LocalFolder(settings.ReadString(kOutput, QStringLiteral("path"), QString()));
}

QString OutputDirectoryPath(const Settings& settings) {
    const QString dir = ReadOutputDirectory(settings);
    return dir.endsWith(u'/') ? dir : dir + u'/';
}
