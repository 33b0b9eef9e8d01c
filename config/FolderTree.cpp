#include "config/FolderTree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "components/SonvaraError.h"

namespace {

// Hidden folders are left out because QDir::Hidden is not among the filters.
constexpr QDir::Filters kFolderFilter = QDir::Dirs | QDir::NoDotAndDotDot;

}  // namespace

QString ChildFolderPath(const QString& parent, const QString& name) {
    return parent.endsWith(QLatin1Char('/')) ? parent + name : parent + QLatin1Char('/') + name;
}

QString NewFolderPath(const QString& parent) {
    if (parent.isEmpty())
        return {};
    return ChildFolderPath(parent, QStringLiteral("New Folder"));
}

bool MakeNewFolder(const QString& parent) {
    const QString path = NewFolderPath(parent);
    // QDir::mkdir makes one level and fails on an existing folder, so a missing parent is not
    // created behind the user's back and a second press leaves things as they are.
    return !path.isEmpty() && QDir().mkdir(path);
}

QStringList SubFolderNames(const QString& path) {
    return QDir(path).entryList(kFolderFilter, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
}

bool HasSubFolders(const QString& path) {
    QDirIterator it(path, kFolderFilter);
    return it.hasNext();
}

QString RenameFolder(const QString& path, const QString& name) {
    const QFileInfo folder(path);
    const QString parent = folder.absolutePath();
    const QString typed = name.trimmed();
    if (typed.isEmpty() || typed == QLatin1String(".") || typed == QLatin1String(".."))
        throw SonvaraError(QStringLiteral("The folder \"%1\" keeps its name: type a name for it.")
                               .arg(folder.fileName()));
    if (typed.contains(QLatin1Char('/')))
        throw SonvaraError(QStringLiteral("A folder name cannot hold \"/\": \"%1\".").arg(typed));
    const QString target = ChildFolderPath(parent, typed);
    if (target == path)
        return path;
    // rename() would quietly replace an empty folder of that name.
    if (QFileInfo::exists(target))
        throw SonvaraError(
            QStringLiteral("%1 already holds \"%2\"; choose another name.").arg(parent, typed));
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) !=
        0)
        throw SonvaraError(QStringLiteral("The folder %1 could not be renamed to \"%2\": %3.")
                               .arg(path, typed, QString::fromLocal8Bit(std::strerror(errno))));
    return target;
}
