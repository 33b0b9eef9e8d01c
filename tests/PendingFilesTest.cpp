#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <thread>

#include "app/FileHandover.h"
#include "app/PendingFiles.h"
#include "support/Wait.h"

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
    const QStringList names = {"/music/plain.mp3", "/music/two\nlines.wav",
                               QStringLiteral("/music/\u00e9t\u00e9 \u266b.ogg")};
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

}  // namespace
