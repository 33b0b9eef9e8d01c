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

class CustomNameFlow : public UserFlow {
    void SetUpHome(const QDir&) override {
        QDir().mkpath(s.ConfigHome() + "/Sonvara");
        QFile ini(s.ConfigHome() + "/Sonvara/Kelvo.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly) && ini.write("[output]\nrb_cust=1\n"));
    }
};
// A second recording under the custom name keeps the first: it is numbered, in the path box too.
TEST_F(CustomNameFlow, ASecondRecordingUnderTheSameNameKeepsTheFirst) {
    for (const QString name : {"EUT.mp3", "EUT-2.mp3"}) {
        s.ClickSkin(kMainWindow, "recorder");
        s.WaitForWidget(kMainWindow.title, "qt_msgbox_label");
        EXPECT_EQ(s.Text(kMainWindow.title, "qt_msgbox_label"), s.Home() + "/My Recorder/" + name);
        s.Key("Return");
        Eventually([&] { return QFileInfo(s.Home() + "/My Recorder/" + name).size() > 4000; });
        s.ClickSkin(kMainWindow, "stop");
        EXPECT_TRUE(Eventually([&] { return s.Item("List", "lv", name).has_value(); }));
    }
}

class SplitFlow : public UserFlow {
    void SetUpHome(const QDir&) override {
        QDir().mkpath(s.ConfigHome() + "/Sonvara");
        QFile ini(s.ConfigHome() + "/Sonvara/Kelvo.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly) &&
                    ini.write("[file]\nenlength=1\nrbtime=1\ntimet=2\nlimit_n=1\n"));
    }
};
// Each part is listed once the next has begun, and the parts hold the whole recording.
TEST_F(SplitFlow, ARecordingCutEveryTwoSecondsListsEachPart) {
    Record(5s);
    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 3);
    double total = 0;
    for (const QFileInfo& file : files) {
        EXPECT_TRUE(Eventually([&] { return s.Item("List", "lv", file.fileName()).has_value(); }))
            << file.fileName().toStdString();
        total += DurationSeconds(file.absoluteFilePath());
    }
    EXPECT_NEAR(total, 5.0, 0.7);
}

}  // namespace
