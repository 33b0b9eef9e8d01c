#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <functional>

#include "components/SonvaraError.h"
#include "components/widgets/WidgetSkin.h"

namespace {

// The names the program looks up or dispatches on.
const QStringList kMainButtons{"recorder", "pause", "stop", "play", "add", "list", "schedule",
                               "scource",  "set",   "tag",  "help", "min", "close"};
const QStringList kMainTexts{"s_time", "s_filename", "s_mono", "s_sizeson",
                             "s_left", "s_right",    "showp",  "s_size"};
const QStringList kListButtons{"list_add", "del", "up", "down", "join", "stopj", "min", "close"};

QString ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SonvaraError& error) {
        return error.message();
    }
    return {};
}

// Every signal of the engine as one line, in the order it came.
class SkinEvents {
public:
    explicit SkinEvents(WidgetSkin& skin) {
        QObject::connect(&skin, &Skin::OnClick,
                         [this](SkinObject* source) { log << "click " + source->Name(); });
        QObject::connect(
            &skin, &Skin::OnMouseDown, [this](SkinObject* source, Qt::MouseButton, int x, int y) {
                log << QStringLiteral("down %1 %2,%3").arg(source->Name()).arg(x).arg(y);
            });
        QObject::connect(&skin, &Skin::OnMouseUp,
                         [this](SkinObject* source, Qt::MouseButton, int, int) {
                             log << "up " + source->Name();
                         });
        QObject::connect(&skin, &Skin::OnFormMouseDown,
                         [this](QObject*, Qt::MouseButton, int x, int y) {
                             log << QStringLiteral("form-down %1,%2").arg(x).arg(y);
                         });
        QObject::connect(&skin, &Skin::OnFormMouseMove,
                         [this](QObject*, int, int) { log << "form-move"; });
        QObject::connect(&skin, &Skin::OnFormMouseUp,
                         [this](QObject*, Qt::MouseButton, int, int) { log << "form-up"; });
    }

    QStringList log;
};

// A skin folder written at test time, for skins that are broken on purpose.
class SkinFolder {
public:
    SkinFolder() {
        Write("images/face.svg",
              R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">)"
              R"(<rect width="10" height="10" fill="#ff0000"/></svg>)");
    }

    void Write(const QString& name, const QByteArray& content) {
        QDir(dir_.path()).mkpath(QFileInfo(name).path());
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    // A skin with one form "main" of 100 x 50 holding the given elements.
    void WriteForm(const QByteArray& elements) {
        Write("skin.json", R"({ "forms": { "main": { "width": 100, "height": 50,
                                 "background": "#102030", "elements": [ )" +
                               elements + "] } } }");
    }
    QString Path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

class SkinWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        skin_.LoadSkin(SONVARA_SKIN_FILE);
        skin_.ApplySkin(&window_);
        skin_.ApplyForm(&window_, "kelvox");
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
        surface_ = skin_.Surface(&window_);
        ASSERT_NE(surface_, nullptr);
    }

    SkinObject* Find(const QString& name) { return skin_.GetSkinForm(&window_)->FindObject(name); }
    QPoint Centre(const QString& name) const { return skin_.AreaRect(&window_, name).center(); }
    QImage Look(const QString& name) {
        return surface_->grab(skin_.AreaRect(&window_, name)).toImage();
    }
    // Moves the mouse with no button held; QTest would only move the cursor.
    void Hover(QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, surface_->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(surface_, &move);
    }

    WidgetSkin skin_;
    QWidget window_;
    QWidget* surface_ = nullptr;
    SkinEvents events_{skin_};
};

}  // namespace

TEST(SkinDefault, HoldsBothFormsWithEveryElementTheProgramUses) {
    WidgetSkin skin;
    skin.LoadSkin(SONVARA_SKIN_FILE);
    EXPECT_TRUE(skin.FormNames().contains("kelvox"));
    EXPECT_TRUE(skin.FormNames().contains("listwin"));

    QWidget main;
    skin.ApplyForm(&main, "kelvox");
    EXPECT_EQ(main.size(), QSize(443, 217));
    SkinForm* form = skin.GetSkinForm(&main);
    ASSERT_NE(form, nullptr);
    for (const QString& name : kMainButtons) {
        SkinObject* object = form->FindObject(name);
        ASSERT_NE(object, nullptr) << name.toStdString();
        EXPECT_EQ(object->Name(), name);
        EXPECT_NE(object->Element(), nullptr);
    }
    for (const QString& name : kMainTexts) {
        SkinObject* object = form->FindObject(name);
        ASSERT_NE(object, nullptr) << name.toStdString();
        EXPECT_NE(object->Text(), nullptr) << name.toStdString();
        EXPECT_NE(object->Element(), nullptr);
    }
    SkinObject* bar = form->FindObject("play_bar");
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(bar->ScrollBar(), nullptr);
    EXPECT_EQ(bar->Text(), nullptr);
    ASSERT_NE(form->FindObject("bar"), nullptr);
    const QRect level = skin.AreaRect(&main, "level");
    EXPECT_GE(level.width(), 120);
    EXPECT_GE(level.height(), 16);
    EXPECT_TRUE(main.rect().contains(level));

    QWidget list;
    skin.ApplyForm(&list, "listwin");
    EXPECT_EQ(list.size(), QSize(474, 192));
    for (const QString& name : kListButtons)
        EXPECT_NE(skin.GetSkinForm(&list)->FindObject(name), nullptr) << name.toStdString();
    EXPECT_NE(skin.GetSkinForm(&list)->FindObject("bar"), nullptr);
    // The list view takes most of the window.
    const QRect lv = skin.AreaRect(&list, "lv");
    EXPECT_GT(lv.width() * lv.height(), list.width() * list.height() / 2);
}

TEST_F(SkinWindowTest, DressesAFramelessWindowAndReappliesWithoutDuplicates) {
    EXPECT_TRUE(window_.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window_.isWindow());
    EXPECT_EQ(window_.minimumSize(), window_.maximumSize());

    SkinObject* play = Find("play");
    play->Element()->SetEnabled(false);
    skin_.ApplySkin(&window_);
    skin_.ApplyForm(&window_, "kelvox");
    EXPECT_TRUE(window_.isVisible());
    EXPECT_EQ(window_.findChildren<QWidget*>("skinSurface").size(), 1);
    // The same form keeps its elements, so the program's bound pointers stay good.
    EXPECT_EQ(Find("play"), play);

    skin_.ApplyForm(&window_, "listwin");
    EXPECT_EQ(window_.size(), QSize(474, 192));
    EXPECT_EQ(window_.findChildren<QWidget*>("skinSurface").size(), 1);
    EXPECT_EQ(Find("play"), nullptr);
    EXPECT_NE(Find("join"), nullptr);

    // The program's own widgets stay above the face however often it is applied.
    QWidget view(&window_);
    view.setGeometry(skin_.AreaRect(&window_, "lv"));
    view.show();
    skin_.ApplyForm(&window_, "listwin");
    EXPECT_EQ(window_.childAt(skin_.AreaRect(&window_, "lv").center()), &view);
}

TEST_F(SkinWindowTest, ClickReportsElementDownBeforeFormDownThenUpAndClick) {
    const QRect play = skin_.AreaRect(&window_, "play");
    const QPoint at = play.topLeft() + QPoint(5, 7);
    QTest::mousePress(surface_, Qt::LeftButton, {}, at);
    QTest::mouseRelease(surface_, Qt::LeftButton, {}, at);
    EXPECT_EQ(events_.log, QStringList({"down play 5,7",
                                        QStringLiteral("form-down %1,%2").arg(at.x()).arg(at.y()),
                                        "up play", "click play", "form-up"}));

    // Another button pressed and released outside itself is no click; releasing over a
    // different button clicks neither.
    events_.log.clear();
    QTest::mousePress(surface_, Qt::LeftButton, {}, Centre("stop"));
    QTest::mouseMove(surface_, Centre("play"));
    QTest::mouseRelease(surface_, Qt::LeftButton, {}, Centre("play"));
    EXPECT_FALSE(events_.log.filter("click").size());
    EXPECT_TRUE(events_.log.contains("up stop"));
    EXPECT_EQ(events_.log.last(), "form-up");
}

TEST_F(SkinWindowTest, ShowsThePressedLookOnlyWhileHeldInside) {
    const QImage normal = Look("recorder");
    const QImage pause = Look("pause");
    QTest::mousePress(surface_, Qt::LeftButton, {}, Centre("recorder"));
    const QImage held = Look("recorder");
    EXPECT_NE(held, normal);
    QTest::mouseMove(surface_, Centre("stop"));
    EXPECT_EQ(Look("recorder"), normal);
    QTest::mouseMove(surface_, Centre("recorder"));
    EXPECT_EQ(Look("recorder"), held);
    QTest::mouseRelease(surface_, Qt::LeftButton, {}, Centre("stop"));
    EXPECT_EQ(Look("recorder"), normal);

    Hover(Centre("pause"));
    EXPECT_NE(Look("pause"), pause);
    Hover(QPoint(5, 60));
    EXPECT_EQ(Look("pause"), pause);
}

TEST_F(SkinWindowTest, DisabledButtonLooksGreyedAndReportsNothing) {
    const QImage enabled = Look("play");
    Find("play")->Element()->SetEnabled(false);
    EXPECT_NE(Look("play"), enabled);
    QTest::mouseClick(surface_, Qt::LeftButton, {}, Centre("play"));
    EXPECT_EQ(events_.log.filter("play").size(), 0);
    EXPECT_EQ(events_.log.filter("form-").size(), 2);

    Find("play")->Element()->SetEnabled(true);
    EXPECT_EQ(Look("play"), enabled);
    QTest::mouseClick(surface_, Qt::LeftButton, {}, Centre("play"));
    EXPECT_TRUE(events_.log.contains("click play"));

    // Disabled during the press: the release still pairs with the press, but it is no click.
    events_.log.clear();
    QTest::mousePress(surface_, Qt::LeftButton, {}, Centre("play"));
    Find("play")->Element()->SetEnabled(false);
    QTest::mouseRelease(surface_, Qt::LeftButton, {}, Centre("play"));
    EXPECT_TRUE(events_.log.contains("up play"));
    EXPECT_FALSE(events_.log.contains("click play"));
}

TEST_F(SkinWindowTest, BarPressesReachOnlyTheFormEvents) {
    QTest::mousePress(surface_, Qt::LeftButton, {}, QPoint(40, 10));
    QTest::mouseMove(surface_, QPoint(60, 14));
    QTest::mouseRelease(surface_, Qt::LeftButton, {}, QPoint(60, 14));
    EXPECT_EQ(events_.log, QStringList({"form-down 40,10", "form-move", "form-up"}));
    EXPECT_TRUE(skin_.AreaRect(&window_, "bar").contains(QPoint(40, 10)));
}

TEST_F(SkinWindowTest, SeekBarJumpsToAPressFollowsTheMouseAndReportsDownAndUp) {
    SkinScrollBar* bar = Find("play_bar")->ScrollBar();
    const QRect rect = skin_.AreaRect(&window_, "play_bar");
    EXPECT_EQ(bar->Position(), 0);
    bar->SetPosition(2000);
    EXPECT_EQ(bar->Position(), 980);
    bar->SetPosition(-5);
    EXPECT_EQ(bar->Position(), 0);

    QTest::mousePress(surface_, Qt::LeftButton, {}, QPoint(rect.right() - 2, rect.center().y()));
    EXPECT_GT(bar->Position(), 950);
    QTest::mouseMove(surface_, QPoint(rect.center().x(), rect.center().y() + 30));
    EXPECT_NEAR(bar->Position(), 490, 10);
    QTest::mouseMove(surface_, QPoint(rect.left() - 50, rect.center().y()));
    EXPECT_EQ(bar->Position(), 0);
    QTest::mouseRelease(surface_, Qt::LeftButton, {}, QPoint(rect.left() - 50, rect.center().y()));
    EXPECT_EQ(events_.log.first().section(' ', 0, 1), "down play_bar");
    EXPECT_TRUE(events_.log.contains("up play_bar"));
    EXPECT_FALSE(events_.log.filter("click").size());

    // Taking the thumb off centre does not make it jump.
    bar->SetPosition(490);
    const QPoint thumbEdge(rect.center().x() - 5, rect.center().y());
    QTest::mousePress(surface_, Qt::LeftButton, {}, thumbEdge);
    EXPECT_EQ(bar->Position(), 490);
    QTest::mouseRelease(surface_, Qt::LeftButton, {}, thumbEdge);

    events_.log.clear();
    Find("play_bar")->Element()->SetEnabled(false);
    QTest::mouseClick(surface_, Qt::LeftButton, {}, QPoint(rect.left() + 3, rect.center().y()));
    EXPECT_EQ(bar->Position(), 490);
    EXPECT_EQ(events_.log.filter("play_bar").size(), 0);
}

TEST_F(SkinWindowTest, TextsShowWhatIsSetWithinTheirRect) {
    SkinObject* name = Find("s_filename");
    const QRect rect = skin_.AreaRect(&window_, "s_filename");
    const QImage before = surface_->grab().toImage();
    name->Text()->SetText("File Name: take.mp3");
    name->Element()->Redraw();
    const QImage after = surface_->grab().toImage();
    EXPECT_NE(after.copy(rect), before.copy(rect));

    // A text far too long is cut inside its rect: nothing around it changes.
    name->Text()->SetText("File Name: " + QString(400, 'W'));
    QImage longText = surface_->grab().toImage();
    QImage outside = before;
    for (QImage* image : {&longText, &outside}) {
        QPainter painter(image);
        painter.fillRect(rect, Qt::black);
    }
    EXPECT_EQ(longText, outside);

    name->Text()->SetText("");
    EXPECT_EQ(surface_->grab().toImage().copy(rect), before.copy(rect));
}

TEST_F(SkinWindowTest, TooltipsComeFromTheSkin) {
    QHelpEvent help(QEvent::ToolTip, Centre("scource"), surface_->mapToGlobal(Centre("scource")));
    QApplication::sendEvent(surface_, &help);
    EXPECT_EQ(QToolTip::text(), "Recording source");
    QToolTip::hideText();
}

TEST_F(SkinWindowTest, MinMinimisesAndCloseClosesTheWindow) {
    QTest::mouseClick(surface_, Qt::LeftButton, {}, Centre("min"));
    EXPECT_TRUE(window_.windowState().testFlag(Qt::WindowMinimized));
    window_.showNormal();

    QTest::mouseClick(surface_, Qt::LeftButton, {}, Centre("close"));
    EXPECT_FALSE(window_.isVisible());
    EXPECT_TRUE(events_.log.contains("click close"));
}

TEST(SkinLoad, RefusesMissingAndForeignFilesByName) {
    WidgetSkin skin;
    const QString missing = QDir::temp().filePath("no-such-skin/mp3enc.dll");
    QString error = ErrorOf([&] { skin.LoadSkin(missing); });
    EXPECT_TRUE(error.contains(missing)) << error.toStdString();

    QTemporaryDir dir;
    const QString foreign = dir.filePath("mp3enc.dll");
    QFile file(foreign);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("MZ this is no resource bundle");
    file.close();
    error = ErrorOf([&] { skin.LoadSkin(foreign); });
    EXPECT_TRUE(error.contains(foreign) && error.contains("not a skin bundle"))
        << error.toStdString();

    error = ErrorOf([&] { skin.LoadSkin(dir.path()); });
    EXPECT_TRUE(error.contains("skin.json")) << error.toStdString();
    EXPECT_TRUE(skin.FormNames().isEmpty());
}

TEST(SkinLoad, MalformedJsonNamesLineAndColumn) {
    SkinFolder folder;
    folder.Write("skin.json", "{\n  \"forms\": {\n    \"main\": { \"width\": 10,, }\n  }\n}\n");
    WidgetSkin skin;
    const QString error = ErrorOf([&] { skin.LoadSkin(folder.Path()); });
    EXPECT_TRUE(error.contains(folder.Path())) << error.toStdString();
    EXPECT_TRUE(error.contains("line 3, column")) << error.toStdString();
}

TEST(SkinLoad, DescriptionFaultsNameTheFormAndElement) {
    const auto errorFor = [](const QByteArray& elements) {
        SkinFolder folder;
        folder.WriteForm(elements);
        WidgetSkin skin;
        return ErrorOf([&] { skin.LoadSkin(folder.Path()); });
    };
    const struct {
        QByteArray elements;
        QString fault;
    } cases[] = {
        {R"({ "name": "knob", "kind": "dial", "rect": [0, 0, 5, 5] })", "unknown kind \"dial\""},
        {R"({ "name": "play", "kind": "button" })", "no \"rect\""},
        {R"({ "name": "play", "kind": "button", "rect": [90, 0, 20, 5] })", "outside the form"},
        {R"({ "name": "play", "kind": "button", "rect": [0, 0, 5, 5],
              "images": { "normal": "images/gone.svg" } })",
         "\"images/gone.svg\" not found"},
        {R"({ "name": "play", "kind": "button", "rect": [0, 0, 5, 5], "tooltp": "Play" })",
         "unknown key \"tooltp\""},
        {R"({ "name": "s_time", "kind": "text", "rect": [0, 0, 5, 5], "color": "teal-ish" })",
         "not a colour"},
    };
    for (const auto& c : cases) {
        const QString error = errorFor(c.elements);
        EXPECT_TRUE(error.contains("form \"main\", element \"")) << error.toStdString();
        EXPECT_TRUE(error.contains(c.fault)) << error.toStdString();
    }
    EXPECT_TRUE(errorFor(R"({ "name": "a", "kind": "area", "rect": [0, 0, 5, 5] },
                            { "name": "a", "kind": "area", "rect": [5, 0, 5, 5] })")
                    .contains("used twice"));
}

TEST(SkinLoad, FolderSkinWorksAndAFailedLoadKeepsIt) {
    SkinFolder folder;
    folder.WriteForm(R"({ "name": "play", "kind": "button", "rect": [10, 10, 20, 20],
                          "images": { "normal": "images/face.svg" } })");
    WidgetSkin skin;
    skin.LoadSkin(folder.Path());
    EXPECT_EQ(skin.FormNames(), QStringList{"main"});

    EXPECT_FALSE(ErrorOf([&] { skin.LoadSkin(folder.Path() + "/missing"); }).isEmpty());
    QWidget window;
    skin.ApplyForm(&window, "main");
    EXPECT_EQ(window.size(), QSize(100, 50));
    const QImage face = skin.Surface(&window)->grab(QRect(10, 10, 20, 20)).toImage();
    EXPECT_EQ(face.pixelColor(10, 10), QColor("#ff0000"));
    EXPECT_EQ(skin.Surface(&window)->grab().toImage().pixelColor(5, 5), QColor("#102030"));
}

TEST(SkinLoad, WindowsWithoutTheFormOrElementAreToldApart) {
    WidgetSkin skin;
    QWidget window;
    EXPECT_FALSE(ErrorOf([&] { skin.ApplyForm(&window, "kelvox"); }).isEmpty());
    skin.LoadSkin(SONVARA_SKIN_FILE);
    EXPECT_EQ(skin.GetSkinForm(&window), nullptr);
    EXPECT_TRUE(skin.AreaRect(&window, "lv").isEmpty());

    const QString error = ErrorOf([&] { skin.ApplyForm(&window, "Kelvox"); });
    EXPECT_TRUE(error.contains("\"Kelvox\"") && error.contains(SONVARA_SKIN_FILE))
        << error.toStdString();
    EXPECT_EQ(skin.GetSkinForm(&window), nullptr);

    skin.ApplyForm(&window, "kelvox");
    EXPECT_EQ(skin.GetSkinForm(&window)->FindObject("Play"), nullptr);
    EXPECT_EQ(skin.GetSkinForm(&window)->FindObject("s_missing"), nullptr);
    QObject notAWidget;
    EXPECT_FALSE(ErrorOf([&] { skin.ApplySkin(&notAWidget); }).isEmpty());
}
