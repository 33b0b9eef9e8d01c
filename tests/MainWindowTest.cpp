#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/ProgramWindows.h"
#include "support/Wait.h"

namespace {

// The windows with their skin, offscreen, away from any real sound server or settings.
class MainWindow : public ::testing::Test {
protected:
    static bool Isolate(const QTemporaryDir& dir) {
        qputenv("PULSE_SERVER", QFile::encodeName("unix:" + dir.filePath("no-server")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
        return true;
    }
    void SetUp() override {
        windows_ =
            std::make_unique<ProgramWindows>(core_, program_, QStringLiteral(SONVARA_SKIN_FILE));
        main_ = &windows_->fm_main;
        list_ = &windows_->fm_list;
    }
    void TearDown() override { qunsetenv("PULSE_SERVER"); }

    void Click(QWidget& window, const QString& element) {
        const QRect rect = main_->Skin1().AreaRect(&window, element);
        ASSERT_FALSE(rect.isEmpty()) << element.toStdString();
        QTest::mouseClick(main_->Skin1().Surface(&window), Qt::LeftButton, {}, rect.center());
    }

    void ExpectDocked() {
        const QRect main = main_->frameGeometry();
        EXPECT_EQ(list_->frameGeometry().left(), main.left());
        EXPECT_EQ(list_->frameGeometry().top(), main.top() + main.height());
    }

    QTemporaryDir dir_;
    const bool isolated_ = Isolate(dir_);  // before the core opens the settings and server
    ProgramCore core_;
    Program program_{core_};
    std::unique_ptr<ProgramWindows> windows_;
    Tfm_main* main_ = nullptr;
    Tfm_list* list_ = nullptr;
};

TEST_F(MainWindow, StartUpDressesBothWindowsAndDocksTheList) {
    main_->move(100, 80);
    main_->show();
    EXPECT_EQ(main_->size(), QSize(443, 217));
    EXPECT_EQ(list_->size(), QSize(474, 192));
    EXPECT_TRUE(list_->isVisible());
    EXPECT_TRUE(main_->ListShown());
    ExpectDocked();
    EXPECT_EQ(main_->Displays().BarPosition(), 0);
    EXPECT_TRUE(windows_->Drag().notDragging);
    EXPECT_FALSE(main_->Displays().BarHeld());
    EXPECT_EQ(list_->lv->horizontalHeaderItem(Tfm_list::NameColumn)->text(), "File Name:");
    EXPECT_EQ(list_->lv->columnWidth(Tfm_list::TimeColumn), 91);
}

TEST_F(MainWindow, ListButtonClosesAndShowsTheDockedList) {
    main_->show();
    Click(*main_, "list");
    EXPECT_FALSE(list_->isVisible());
    EXPECT_FALSE(main_->ListShown());

    main_->move(main_->pos() + QPoint(30, 40));
    Click(*main_, "list");
    EXPECT_TRUE(list_->isVisible());
    EXPECT_TRUE(main_->ListShown());
    ExpectDocked();

    // Closed from its own close button, the next click shows it again.
    Click(*list_, "close");
    EXPECT_FALSE(main_->ListShown());
    Click(*main_, "list");
    EXPECT_TRUE(main_->ListShown());
}

TEST_F(MainWindow, PressesOnCommandsAreMarkedAndReleasesClearThem) {
    main_->show();
    QWidget* surface = main_->Skin1().Surface(main_);
    const QRect play = main_->Skin1().AreaRect(main_, "play");
    QTest::mousePress(surface, Qt::LeftButton, {}, play.center());
    EXPECT_TRUE(windows_->Drag().skinPressed);
    EXPECT_TRUE(windows_->Drag().notDragging);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, play.center());
    EXPECT_FALSE(windows_->Drag().skinPressed);

    // A press on the background starts a drag; its release ends it.
    const QRect bar = main_->Skin1().AreaRect(main_, "bar");
    QTest::mousePress(surface, Qt::LeftButton, {}, bar.center());
    EXPECT_FALSE(windows_->Drag().notDragging);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, bar.center());
    EXPECT_TRUE(windows_->Drag().notDragging);
}

TEST(Program, ASecondCopyEndsAtOnceAndLeavesTheFirstRunning) {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("PULSE_SERVER", "unix:" + dir.filePath("no-server"));
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(SONVARA_PROGRAM), {});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(dir.filePath("sonvara.lock")); }, 10000));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(SONVARA_PROGRAM), {});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAll().isEmpty());
    EXPECT_EQ(first.state(), QProcess::Running);

    StopProcess(first, Ending::Crash);
    // A copy that died leaves no lock that keeps the next one out.
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(QStringLiteral(SONVARA_PROGRAM), {});
    EXPECT_FALSE(third.waitForFinished(1500));
    StopProcess(third, Ending::Crash);
}

}  // namespace
