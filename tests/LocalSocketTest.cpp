#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QTemporaryDir>

#include "app/FileHandover.h"
#include "app/TestProbe.h"
#include "support/Wait.h"

// The hand-over and the probe are the user's alone; a flooding, idle or surplus peer is cut off.
TEST(LocalSockets, OnlyTheUserReachesThemAndNoPeerWearsThemOut) {
    QTemporaryDir dir;
    const QString handover = dir.filePath(FileHandover::kSocketName);
    qputenv("SONVARA_TEST_PROBE", QFile::encodeName(dir.filePath("probe")));
    const mode_t umask = ::umask(0);
    FileHandover running(dir.path(), {2, 1000, 1500, 50});
    const auto probe = TestProbe::StartFromEnvironment();
    ::umask(umask);
    const auto closed = [](QLocalSocket& p) { return p.state() == QLocalSocket::UnconnectedState; };
    QLocalSocket flood[2], idle[3];
    for (int i = 0; i < 2; ++i) {
        const QString path = i == 0 ? handover : dir.filePath("probe");
        EXPECT_EQ(QFile::permissions(path) & 0x77, 0) << i;  // umask 0 would give them all
        flood[i].connectToServer(path);
        flood[i].write(QByteArray(200000, 'x'));
        EXPECT_TRUE(WaitFor([&] { return closed(flood[i]); }, 1000)) << i;  // before the idle time
    }
    for (QLocalSocket& peer : idle)
        peer.connectToServer(handover);
    PumpEvents(150);
    EXPECT_EQ(std::count_if(idle, idle + 3, closed), 1);  // the one over the limit
    EXPECT_TRUE(WaitFor([&] { return std::all_of(idle, idle + 3, closed); }, 3000));
}
