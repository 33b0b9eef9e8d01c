#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "app/FileHandover.h"
#include "app/PendingFiles.h"
#include "support/PrivatePulseServer.h"

namespace {

// Handed-over files wait while the list refuses them (a recording, playback or join runs) and
// arrive whole and in order once it takes them.
TEST(PendingFiles, FilesRefusedWhileBusyArriveInOrderOnceIdle) {
    bool busy = true;
    QStringList listed;
    int tries = 0;
    PendingFiles pending(
        [&](const QStringList& files) {
            ++tries;
            if (busy)
                return false;
            listed += files;
            return true;
        },
        10);
    pending.Offer({"a.mp3", "b.mp3"});
    pending.Offer({"c.mp3"});
    PumpEvents(50);
    EXPECT_TRUE(listed.isEmpty());
    EXPECT_EQ(pending.Waiting(), 3);
    EXPECT_GT(tries, 2);

    busy = false;
    ASSERT_TRUE(WaitFor([&] { return pending.Waiting() == 0; }, 2000));
    EXPECT_EQ(listed, (QStringList{"a.mp3", "b.mp3", "c.mp3"}));
    const int triesWhenTaken = tries;
    PumpEvents(50);
    EXPECT_EQ(tries, triesWhenTaken);  // nothing waits, nothing is tried
}

TEST(FileHandover, ASecondCopysFilesReachTheRunningCopyWhateverTheirNames) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    FileHandover running(folder.path());
    QStringList received;
    QObject::connect(&running, &FileHandover::FilesReceived,
                     [&](const QStringList& files) { received = files; });
    const QStringList names = {"/music/plain.mp3", "/music/two\\nlines.wav",
                               QString::fromUtf8("/music/\\u00e9t\\u00e9 \\u266b.ogg")};
    bool sent = false;
    // The sender blocks; the running copy answers from this thread's event loop.
    std::thread sender([&] { sent = FileHandover::Send(folder.path(), names, 5000); });
    WaitFor([&] { return !received.isEmpty(); }, 5000);
    PumpEvents(100);
    sender.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(received, names);

    EXPECT_FALSE(FileHandover::Send(QDir(folder.path()).filePath("none"), {"/x.mp3"}, 300));
    EXPECT_EQ(FileHandover::FilesFromArguments(
                  {"-platform", "xcb", "a.mp3", "--verbose", "--", "-b.mp3", "c.mp3"}),
              (QStringList{"a.mp3", "-b.mp3", "c.mp3"}));
}

// Idle, surplus and flooding peers are cut off, and a listening socket that Qt closed when it
// ran out of descriptors opens again: a second copy's files still arrive.
TEST(FileHandover, HostilePeersAreCutOffAndFilesStillArrive) {
    QTemporaryDir folder;
    FileHandover running(folder.path(), {2, 1000, 300, 50});
    const QString path = QDir(folder.path()).filePath(FileHandover::kSocketName);
    QLocalSocket idle[3], flood;
    const auto open = [&idle] {
        return std::count_if(std::begin(idle), std::end(idle), [](const QLocalSocket& peer) {
            return peer.state() == QLocalSocket::ConnectedState;
        });
    };
    for (QLocalSocket& peer : idle)
        peer.connectToServer(path);
    PumpEvents(150);
    EXPECT_EQ(open(), 2);
    EXPECT_TRUE(WaitFor([&] { return open() == 0; }, 1000));
    flood.connectToServer(path);
    flood.write(QByteArray(2000, 'x'));
    PumpEvents(150);  // less than the idle time
    EXPECT_EQ(flood.state(), QLocalSocket::UnconnectedState);

    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit low = saved;
    low.rlim_cur = ::dup(0) + 8;
    ::setrlimit(RLIMIT_NOFILE, &low);
    std::vector<int> spare;
    for (int fd; (fd = ::dup(0)) >= 0;)
        spare.push_back(fd);
    ::close(spare.back());  // for the peer; the server's accept then fails
    QLocalSocket last;
    last.connectToServer(path);
    PumpEvents(50);
    for (int fd : spare)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);

    QStringList received;
    QObject::connect(&running, &FileHandover::FilesReceived,
                     [&](const QStringList& files) { received = files; });
    std::atomic<bool> sent = false, done = false;
    std::thread sender([&] {
        sent = FileHandover::Send(folder.path(), {"/a.mp3"}, 3000);
        done = true;
    });
    WaitFor([&] { return done && !received.isEmpty(); }, 4000);
    sender.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(received, QStringList{"/a.mp3"});
}

}  // namespace
