#include "components/ProgramFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ProgramFolders {

QString DataFolder(const QString& programFolder) {
    const QDir beside(programFolder);
    if (QFileInfo::exists(beside.filePath(QString::fromLatin1(kSkinFileName))))
        return beside.absolutePath();
    return QDir::cleanPath(beside.absoluteFilePath(QStringLiteral("../share/sonvara")));
}

QString DataFolder() {
    return DataFolder(QCoreApplication::applicationDirPath());
}

}  // namespace ProgramFolders
