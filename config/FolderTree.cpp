#include "config/FolderTree.h"

#include <QDir>
#include <QDirIterator>

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
