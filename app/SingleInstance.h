#pragma once

#include <QLockFile>
#include <QString>

// Keeps the program to one copy per user session by a lock file in the user's runtime folder.
// A lock left behind by a copy that crashed (its process is gone) does not block.
class SingleInstance {
public:
    static constexpr const char* kLockFileName = "sonvara.lock";

    // $XDG_RUNTIME_DIR, else a folder of this user's own under the temporary folder, made
    // private (see MakePrivateFolder). Throws SonvaraError when that folder cannot be trusted.
    static QString DefaultFolder();

    // Makes folder with mode 0700, or takes it as it is only when it is a real folder (not a
    // link) that this user owns with mode 0700: in a folder all users share, anyone may have
    // made it first to receive the names of the files handed over, or to block the lock.
    // Throws SonvaraError saying why the folder cannot be used.
    static void MakePrivateFolder(const QString& folder);

    explicit SingleInstance(const QString& folder = DefaultFolder());

    // True when this is the only live copy; the lock is then held until this object goes.
    // False only when another live copy holds it. A folder that cannot take the lock file
    // does not stop the program: it runs unguarded.
    bool TryAcquire();

    QString LockFilePath() const { return lock_.fileName(); }

private:
    QString folder_;
    QLockFile lock_;
};
