#include <gtest/gtest.h>

#include "app/Docking.h"

namespace {

class FakeFrame : public WindowFrame {
public:
    explicit FakeFrame(QRect r) : rect(r) {}
    QRect rect;
    int moves = 0;
    QRect Geometry() const override { return rect; }
    void Move(QPoint topLeft) override {
        rect.moveTopLeft(topLeft);
        ++moves;
    }
};

class FakeButtons : public MouseButtons {
public:
    bool left = true;
    bool LeftDown() const override { return left; }
};

constexpr int kMainHeight = 217;

// Main window at (100, 100), 443 x 217: its bottom edge is at 317.
class DockingFixture : public ::testing::Test {
protected:
    // The list's top this many pixels below the main window's bottom edge (negative: overlap).
    void PutListBelow(int gap, int left = 100) { list_.rect.moveTopLeft(QPoint(left, 317 + gap)); }
    int Gap() const { return list_.rect.top() - (main_.rect.top() + main_.rect.height()); }

    DragState state_;
    FakeButtons buttons_;
    FakeFrame main_{QRect(100, 100, 443, kMainHeight)};
    FakeFrame list_{QRect(100, 317, 474, 192)};
};

class MainWindowDragTest : public DockingFixture {
protected:
    MainWindowDrag drag_{state_, main_, list_, buttons_};
};

TEST_F(MainWindowDragTest, DockedPairMovesTogether) {
    PutListBelow(0, 130);  // the list sits 30 px right of the main window
    drag_.FormMouseDown(50, 10);
    drag_.FormMouseMove(60, 25);
    EXPECT_EQ(main_.rect, QRect(110, 115, 443, kMainHeight));
    EXPECT_EQ(list_.rect, QRect(140, 332, 474, 192));
    // The window followed the mouse, so the next event reports the press point again.
    drag_.FormMouseMove(47, 7);
    EXPECT_EQ(main_.rect.topLeft(), QPoint(107, 112));
    EXPECT_EQ(list_.rect.topLeft(), QPoint(137, 329));
}

TEST_F(MainWindowDragTest, SnapsOntoTheListWithinFivePixelsEitherWay) {
    for (const int gap : {5, -5, 1, -1}) {
        main_.rect.moveTopLeft(QPoint(100, 100));
        PutListBelow(gap, 400);  // any horizontal offset
        drag_.FormMouseDown(50, 10);
        drag_.FormMouseMove(80, 40);
        // Snaps without following the mouse on this move.
        EXPECT_EQ(main_.rect.topLeft(), QPoint(100, 100 + gap)) << gap;
        EXPECT_EQ(Gap(), 0) << gap;
        EXPECT_EQ(list_.rect.topLeft(), QPoint(400, 317 + gap)) << gap;
        drag_.FormMouseUp();
    }
}

TEST_F(MainWindowDragTest, SixPixelsApartItFollowsTheMouse) {
    for (const int gap : {6, -6}) {
        main_.rect.moveTopLeft(QPoint(100, 100));
        PutListBelow(gap);
        drag_.FormMouseDown(50, 10);
        drag_.FormMouseMove(60, 10);
        EXPECT_EQ(main_.rect.topLeft(), QPoint(110, 100)) << gap;
        EXPECT_EQ(list_.moves, 0);
        drag_.FormMouseUp();
    }
}

TEST_F(MainWindowDragTest, DraggedIntoRangeSnapsOnTheSameMove) {
    PutListBelow(20);
    drag_.FormMouseDown(50, 10);
    drag_.FormMouseMove(50, 27);  // bottom edge now 3 px above the list
    EXPECT_EQ(Gap(), 0);
    EXPECT_EQ(main_.rect.left(), 100);
}

TEST_F(MainWindowDragTest, AnyMoveSnapsEvenWithoutADrag) {
    PutListBelow(5);
    drag_.FormMouseMove(3, 4);  // no press: NotDragging starts true
    EXPECT_EQ(Gap(), 0);

    PutListBelow(6);
    main_.rect.moveTopLeft(QPoint(100, 100));
    drag_.FormMouseMove(3, 4);
    EXPECT_EQ(Gap(), 6);
}

TEST_F(MainWindowDragTest, NoDragBeforeAPressNorWithoutTheButtonDownNow) {
    PutListBelow(100);
    drag_.FormMouseMove(90, 90);
    drag_.FormMouseDown(50, 10);
    buttons_.left = false;  // released outside both windows
    drag_.FormMouseMove(90, 90);
    EXPECT_EQ(main_.moves, 0);
}

TEST_F(MainWindowDragTest, PressOnACommandElementDoesNotDrag) {
    PutListBelow(100);
    state_.skinPressed = true;  // the skin reports the element press before the window sees it
    drag_.FormMouseDown(50, 10);
    drag_.FormMouseMove(90, 90);
    EXPECT_EQ(main_.moves, 0);
    EXPECT_TRUE(state_.notDragging);

    drag_.FormMouseUp();
    EXPECT_FALSE(state_.skinPressed);
    drag_.FormMouseDown(50, 10);  // the background this time
    EXPECT_FALSE(state_.notDragging);
    drag_.FormMouseMove(60, 20);
    EXPECT_EQ(main_.rect.topLeft(), QPoint(110, 110));
    drag_.FormMouseUp();
    EXPECT_TRUE(state_.notDragging);
}

TEST_F(DockingFixture, ListIsPlacedUnderTheMainWindow) {
    main_.rect.moveTopLeft(QPoint(-40, 600));
    list_.rect.moveTopLeft(QPoint(900, 3));
    PlaceListUnderMain(main_, list_);
    EXPECT_EQ(list_.rect, QRect(-40, 817, 474, 192));
}

class ListWindowDragTest : public DockingFixture {
protected:
    ListWindowDrag drag_{state_, main_, list_, buttons_};
};

TEST_F(ListWindowDragTest, FarFromTheMainWindowItFollowsTheMouse) {
    PutListBelow(50);
    drag_.FormMouseDown(20, 20);
    drag_.FormMouseMove(30, 60);
    EXPECT_EQ(list_.rect.topLeft(), QPoint(110, 407));
    EXPECT_FALSE(state_.skinPressed);
}

TEST_F(ListWindowDragTest, SnapsWithinFivePixelsButNotFromExactlyDocked) {
    for (const int gap : {5, -5}) {
        PutListBelow(gap);
        state_.skinPressed = false;
        drag_.FormMouseDown(20, 20);
        drag_.FormMouseMove(20, 20);
        EXPECT_EQ(Gap(), 0) << gap;
        EXPECT_TRUE(state_.skinPressed) << gap;
        drag_.FormMouseUp();
    }
    for (const int gap : {6, 0}) {
        PutListBelow(gap);
        drag_.FormMouseDown(20, 20);
        drag_.FormMouseMove(20, 22);
        EXPECT_EQ(Gap(), gap + 2) << gap;
        EXPECT_FALSE(state_.skinPressed) << gap;
        drag_.FormMouseUp();
    }
}

TEST_F(ListWindowDragTest, SnappedItSlidesSideways) {
    PutListBelow(3);
    drag_.FormMouseDown(20, 20);
    drag_.FormMouseMove(25, 23);  // jumps up, then slides by dx only
    EXPECT_EQ(list_.rect.topLeft(), QPoint(105, 317));
    drag_.FormMouseMove(12, 15);  // dy -5
    EXPECT_EQ(list_.rect.topLeft(), QPoint(97, 317));
    drag_.FormMouseMove(20, 24);  // no sideways offset: stays
    EXPECT_EQ(list_.rect.topLeft(), QPoint(97, 317));
    drag_.FormMouseMove(40, 26);  // dy 6: neither slides nor leaves
    EXPECT_EQ(list_.rect.topLeft(), QPoint(97, 317));
    EXPECT_TRUE(state_.skinPressed);
}

TEST_F(ListWindowDragTest, PulledMoreThanSixPixelsItLeaves) {
    for (const int dy : {7, -7}) {
        PutListBelow(1);
        drag_.FormMouseDown(20, 20);
        drag_.FormMouseMove(20, 20);
        ASSERT_TRUE(state_.skinPressed);
        drag_.FormMouseMove(23, 20 + dy);
        EXPECT_EQ(list_.rect.topLeft(), QPoint(103, 317 + dy)) << dy;
        EXPECT_FALSE(state_.skinPressed) << dy;
        drag_.FormMouseUp();
    }
}

TEST_F(ListWindowDragTest, ReleaseEndsEveryDrag) {
    PutListBelow(2);
    state_.notDragging = false;
    drag_.FormMouseDown(20, 20);
    drag_.FormMouseMove(20, 20);
    drag_.FormMouseUp();
    EXPECT_FALSE(state_.skinPressed);
    EXPECT_TRUE(state_.notDragging);
    const int moves = list_.moves;
    drag_.FormMouseMove(80, 80);
    EXPECT_EQ(list_.moves, moves);
}

TEST_F(ListWindowDragTest, NoDragBeforeAPressNorWithoutTheButtonNorFromAnElement) {
    PutListBelow(50);
    drag_.FormMouseMove(80, 80);
    drag_.FormMouseDown(20, 20);
    buttons_.left = false;
    drag_.FormMouseMove(80, 80);
    buttons_.left = true;
    state_.skinPressed = true;  // a press on "del", reported by the skin first
    drag_.FormMouseDown(20, 20);
    drag_.FormMouseMove(80, 80);
    EXPECT_EQ(list_.moves, 0);
}

}  // namespace
