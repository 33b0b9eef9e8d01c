#include "config/OutputFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "config/SettingsKeys.h"

namespace {

// ".." cannot climb above the home folder: it is resolved as if the home folder were the root.
QString UnderHome(const QString& relative) {
    QStringList kept;
    for (const QString& part : relative.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..") {
            if (!kept.isEmpty())
                kept.removeLast();
        } else if (part != u".") {
            kept << part;
        }
    }
    return QDir::cleanPath(QDir::homePath() + u'/' + kept.join(u'/'));
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
    return LocalFolder(Read(settings, keys::kDirectory, Reader::Used));
}

QString ReadChosenDirectory(const Settings& settings) {
    return LocalFolder(Read(settings, keys::kChosenDirectory, Reader::Used));
}

QString OutputDirectoryPath(const Settings& settings) {
    const QString dir = ReadOutputDirectory(settings);
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

bool NameTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}
