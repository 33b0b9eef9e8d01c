#include "app/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QFile>

QString SingleInstance::DefaultFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    // The temporary folder is shared by all users; the uid keeps their locks apart.
    return QDir::tempPath() + QStringLiteral("/sonvara-") + QString::number(getuid());
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
