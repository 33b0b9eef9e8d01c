#include "app/SingleInstance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

#include "components/SonvaraError.h"

QString SingleInstance::DefaultFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    // The temporary folder is shared by all users; the uid keeps their locks apart.
    const QString folder =
        QDir::tempPath() + QStringLiteral("/sonvara-") + QString::number(getuid());
    MakePrivateFolder(folder);
    return folder;
}

void SingleInstance::MakePrivateFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    const auto refuse = [&folder](const QString& why) {
        throw SonvaraError(
            QStringLiteral("Sonvara cannot use the folder \"%1\" for its lock: %2. Remove it, "
                           "or set XDG_RUNTIME_DIR to a folder of your own.")
                .arg(folder, why));
    };
    // Made here, it is ours; the umask may have taken bits that the owner needs.
    if (::mkdir(path.constData(), 0700) == 0)
        ::chmod(path.constData(), 0700);
    else if (errno != EEXIST)
        refuse(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        refuse(QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISLNK(info.st_mode))
        refuse(QStringLiteral("it is a symbolic link"));
    if (!S_ISDIR(info.st_mode))
        refuse(QStringLiteral("it is not a folder"));
    if (info.st_uid != ::geteuid())
        refuse(QStringLiteral("it belongs to another user"));
    if ((info.st_mode & 07777) != 0700) {
        refuse(QStringLiteral("its mode is %1, so other users may use it (it must be 0700)")
                   .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0')));
    }
}

SingleInstance::SingleInstance(const QString& folder)
    : folder_(folder), lock_(QDir(folder).filePath(QString::fromLatin1(kLockFileName))) {
    // The lock lives as long as the program; age says nothing about staleness, only a dead
    // owner does (QLockFile checks the PID, its process name and the boot).
    lock_.setStaleLockTime(0);
}

bool SingleInstance::TryAcquire() {
    if (lock_.isLocked())
        return true;
    if (!QDir(folder_).exists()) {
        QDir().mkpath(folder_);
        QFile::setPermissions(
            folder_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    if (lock_.tryLock(0))
        return true;
    return lock_.error() != QLockFile::LockFailedError;
}
