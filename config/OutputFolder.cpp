#include "config/OutputFolder.h"

#include <QDir>

#include "config/Settings.h"

QString DefaultOutputDirectory() {
    return QDir::homePath() + QStringLiteral("/My Recorder");
}

QString OutputDirectoryPath(const Settings& settings) {
    const QString dir = settings.ReadString(QStringLiteral("output"), QStringLiteral("dir"),
                                            DefaultOutputDirectory());
    return dir.endsWith(u'/') ? dir : dir + u'/';
}
