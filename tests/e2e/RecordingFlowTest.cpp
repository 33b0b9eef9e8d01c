#include <QDateTime>
#include <QRegularExpression>

#include "e2e/UserFlow.h"

namespace {

TEST_F(UserFlow, RecordAndStopLeaveOneTimeStampedMp3InMyRecorder) {
    // The name holds whole seconds of the moment recording starts.
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    Record(3s);
    const QDateTime after = QDateTime::currentDateTime();

    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 1);
    const auto name =
        QRegularExpression(
            QStringLiteral("^EUT-(\\d\\d-\\d\\d-\\d{4}--\\d\\d;\\d\\d;\\d\\d)\\.mp3$"))
            .match(files[0].fileName());
    ASSERT_TRUE(name.hasMatch()) << files[0].fileName().toStdString();
    const QDateTime stamp =
        QDateTime::fromString(name.captured(1), QStringLiteral("dd-MM-yyyy--HH;mm;ss"));
    EXPECT_TRUE(stamp >= before && stamp <= after) << name.captured(1).toStdString();
    EXPECT_NEAR(DurationSeconds(files[0].absoluteFilePath()), 3.0, 0.7);
}

}  // namespace
