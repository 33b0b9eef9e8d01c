#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLocalSocket>
#include <QTemporaryDir>

#include "app/TestProbe.h"
#include "support/PrivatePulseServer.h"

// What the probe tells is this user's alone, whatever the umask, and a request that never ends
// is cut off instead of filling the memory.
TEST(TestProbe, AnswersOnlyTheUserAndCutsOffAnEndlessRequest) {
    QTemporaryDir dir;
    const QString path = dir.filePath("probe");
    qputenv("SONVARA_TEST_PROBE", QFile::encodeName(path));
    const mode_t umask = ::umask(0);
    const auto probe = TestProbe::StartFromEnvironment();
    ::umask(umask);
    qunsetenv("SONVARA_TEST_PROBE");
    ASSERT_TRUE(probe);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);

    QLocalSocket peer;
    peer.connectToServer(path);
    peer.write(QByteArray(200000, 'x'));
    EXPECT_TRUE(WaitFor([&] { return peer.state() == QLocalSocket::UnconnectedState; }, 3000));
}
