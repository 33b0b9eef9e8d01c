#include "e2e/UserFlow.h"

namespace {

TEST_F(UserFlow, SecondCopyEndsAtOnceAndTheFirstGoesOn) {
    QProcess second;
    second.setProcessEnvironment(s.ProgramEnvironment());
    second.start(QStringLiteral(SONVARA_PROGRAM), {});
    ASSERT_TRUE(second.waitForFinished(10000)) << "the second copy is still running";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    EXPECT_EQ(s.Program().state(), QProcess::Running);
    // Its probe still answers, so its event loop runs.
    EXPECT_TRUE(s.Shown(kMainWindow.title));
}

}  // namespace
