#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include "app/SingleInstance.h"
#include "support/Wait.h"

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    // A lock file as another copy would have left it.
    void WriteLock(qint64 pid, const QString& processName) const {
        QFile file(dir_.filePath("sonvara.lock"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(pid) + '\n' + processName.toUtf8() + '\n' +
                   QSysInfo::machineHostName().toUtf8() + '\n');
    }

    QTemporaryDir dir_;
};

TEST_F(SingleInstanceTest, SecondCopyIsRefusedUntilTheFirstEnds) {
    auto first = std::make_unique<SingleInstance>(dir_.path());
    ASSERT_TRUE(first->TryAcquire());
    EXPECT_TRUE(first->TryAcquire());  // asking again is harmless
    // The program holds the lock for hours; age alone must not make it look left behind.
    QFile lock(first->LockFilePath());
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3 * 3600),
                                 QFileDevice::FileModificationTime));
    lock.close();
    EXPECT_FALSE(SingleInstance(dir_.path()).TryAcquire());
    first.reset();
    EXPECT_TRUE(SingleInstance(dir_.path()).TryAcquire());
}

TEST_F(SingleInstanceTest, LockOfAnotherLiveProcessBlocks) {
    QProcess other;
    other.start("sleep", {"30"});
    ASSERT_TRUE(other.waitForStarted());
    WriteLock(other.processId(), "sleep");
    EXPECT_FALSE(SingleInstance(dir_.path()).TryAcquire());

    // It crashes: its lock no longer counts.
    StopProcess(other, Ending::Crash);
    SingleInstance next(dir_.path());
    EXPECT_TRUE(next.TryAcquire());
}

TEST_F(SingleInstanceTest, LockOfACrashedCopyDoesNotBlock) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    WriteLock(child, "sonvara");

    SingleInstance instance(dir_.path());
    ASSERT_TRUE(instance.TryAcquire());
    QFile file(instance.LockFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readLine().trimmed().toLongLong(), getpid());  // the lock is ours now
}

TEST_F(SingleInstanceTest, CreatesItsFolderForOnlyThisUser) {
    const QString folder = dir_.filePath("sonvara-1000");
    ASSERT_TRUE(SingleInstance(folder).TryAcquire());
    EXPECT_EQ(QFile::permissions(folder) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteGroup | QFileDevice::WriteOther),
              QFileDevice::Permissions());
}

TEST_F(SingleInstanceTest, AnUnusableFolderDoesNotStopTheProgram) {
    QFile blocker(dir_.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(SingleInstance(dir_.filePath("file/below")).TryAcquire());
}

// Without XDG_RUNTIME_DIR the folder lies where any user may make it first.
TEST_F(SingleInstanceTest, TheLockFolderIsUsedOnlyWhenItIsTheUsersAlone) {
    const QDir dir(dir_.path());
    for (const auto& [name, mode] : {std::pair{"own", 0700}, {"open", 0755}, {"foreign", 0700}})
        ASSERT_TRUE(dir.mkdir(name) && ::chmod(qPrintable(dir.filePath(name)), mode) == 0);
    ASSERT_TRUE(QFile::link(dir.filePath("own"), dir.filePath("link")));
    const bool root = ::chown(qPrintable(dir.filePath("foreign")), 65534, 65534) == 0;
    for (const auto& [name, refusal] : std::initializer_list<std::pair<QString, const char*>>{
             {"new", nullptr},
             {"own", nullptr},
             {"link", "symbolic link"},
             {"open", "mode is 0755"},
             {root ? "foreign" : "/", "another user"}}) {
        try {
            SingleInstance::MakePrivateFolder(dir.filePath(name));
            EXPECT_TRUE(!refusal && (QFile::permissions(dir.filePath(name)) & 0x77) == 0);
        } catch (const std::exception& error) {
            EXPECT_TRUE(refusal && QString(error.what()).contains(refusal)) << error.what();
        }
    }
}

}  // namespace
