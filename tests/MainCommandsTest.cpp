#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "app/DisplayElements.h"
#include "app/MainCommands.h"
#include "components/ErrorBoundary.h"
#include "components/SonvaraError.h"
#include "support/FakeSkin.h"

namespace {

using Calls = std::vector<std::string>;

class RecordingOperations : public MainOperations {
public:
    Calls calls;
    std::map<std::string, std::exception_ptr> failures;  // by recorded call, thrown after it
    bool recording = false, playing = false, joining = false, listShown = false;

    bool Recording() const override { return recording; }
    bool Playing() const override { return playing; }
    bool Joining() const override { return joining; }
    bool ListShown() const override { return listShown; }
    void StopJoin() override { Record("StopJoin"); }
    void HoldSeekBar(bool held) override { Record("HoldSeekBar " + std::to_string(held)); }
    void StartRecording() override { Record("StartRecording"); }
    void StopRecording() override { Record("StopRecording"); }
    void ToggleRecordPause() override { Record("ToggleRecordPause"); }
    void StartPlayback() override { Record("StartPlayback"); }
    void StopPlayback() override { Record("StopPlayback"); }
    void TogglePlayPause() override { Record("TogglePlayPause"); }
    void SeekTo(int barPosition) override { Record("SeekTo " + std::to_string(barPosition)); }
    void AddFiles() override { Record("AddFiles"); }
    void RemoveSelected() override { Record("RemoveSelected"); }
    void MoveUp() override { Record("MoveUp"); }
    void MoveDown() override { Record("MoveDown"); }
    void JoinFiles() override { Record("JoinFiles"); }
    void ShowList() override {
        Record("ShowList");
        listShown = true;
    }
    void CloseList() override {
        Record("CloseList");
        listShown = false;
    }
    void FocusList() override { Record("FocusList"); }
    void ShowScheduleDialog(QPoint at) override { Record("Schedule" + Place(at)); }
    void ShowSourceDialog(QPoint at) override { Record("Source" + Place(at)); }
    void ShowSettingsDialog(QPoint at) override { Record("Settings" + Place(at)); }
    void ShowTagDialog(QPoint at) override { Record("Tag" + Place(at)); }
    QString helpFile = QCoreApplication::applicationFilePath();  // a file that exists
    bool viewerFound = true;
    QString HelpFile() const override { return helpFile; }
    bool OpenInViewer(const QString&) override {
        Record("OpenHelp");
        return viewerFound;
    }
    void ShowMessage(const QString& text) override { Record("Message " + text.toStdString()); }

private:
    static std::string Place(QPoint p) {
        return " " + std::to_string(p.x()) + "," + std::to_string(p.y());
    }
    void Record(const std::string& call) {
        calls.push_back(call);
        if (const auto failure = failures.find(call); failure != failures.end())
            std::rethrow_exception(failure->second);
    }
};

class FixedFrame : public WindowFrame {
public:
    QRect rect{100, 50, 443, 217};
    QRect Geometry() const override { return rect; }
    void Move(QPoint topLeft) override { rect.moveTopLeft(topLeft); }
};

// Every combination of what the commands ask: each command must look only at its own
// condition.
RecordingOperations StateOf(int bits) {
    RecordingOperations state;
    state.recording = bits & 1;
    state.playing = bits & 2;
    state.joining = bits & 4;
    state.listShown = bits & 8;
    return state;
}
constexpr int kStates = 16;

class MainCommandsTest : public ::testing::Test {
protected:
    // One click in the given state: what it called.
    Calls Click(const QString& name, int bits) {
        RecordingOperations operations = StateOf(bits);
        DragState drag;
        MainCommands(operations, drag, main_).Dispatch(name);
        return operations.calls;
    }

    FixedFrame main_;
    DragState drag_;
    RecordingOperations operations_;
    MainCommands commands_{operations_, drag_, main_};
};

TEST_F(MainCommandsTest, EachNameRunsItsOperationUnderItsCondition) {
    for (int bits = 0; bits < kStates; ++bits) {
        const RecordingOperations s = StateOf(bits);
        const auto when = [](bool condition, const char* call) {
            return condition ? Calls{call} : Calls{};
        };
        const auto both = [](Calls a, const Calls& b) {
            a.insert(a.end(), b.begin(), b.end());
            return a;
        };
        const bool idle = !s.playing && !s.recording;  // paused counts as under way
        const std::vector<std::pair<QString, Calls>> table{
            {"recorder", {"StartRecording"}},
            {"pause",
             both(when(s.recording, "ToggleRecordPause"), when(s.playing, "TogglePlayPause"))},
            {"stop", both(both(when(s.recording, "StopRecording"), when(s.playing, "StopPlayback")),
                          when(s.listShown, "FocusList"))},
            {"add", when(!s.playing && !s.joining, "AddFiles")},
            {"play", {"StartPlayback"}},
            {"schedule", {"Schedule 127,50"}},
            {"scource", {"Source 214,50"}},
            {"set", when(idle, "Settings 127,50")},
            {"tag", when(!s.playing && !s.joining, "Tag 127,50")},  // recording or not
            {"list_add", {"AddFiles"}},
            {"del", {"RemoveSelected"}},
            {"up", {"MoveUp"}},
            {"down", {"MoveDown"}},
            {"join", {"JoinFiles"}},
            {"help", {"OpenHelp"}},
            {"stopj", {"StopJoin"}},
            // Elements without a command, and near misses of the names.
            {"", {}},
            {"Recorder", {}},
            {"recorder ", {}},
            {"source", {}},
            {"stopJ", {}},
            {"min", {}},
            {"close", {}},
            {"bar", {}},
            {"play_bar", {}},
            {"s_time", {}},
        };
        for (const auto& [name, expected] : table)
            EXPECT_EQ(Click(name, bits), expected) << name.toStdString() << " in state " << bits;
    }
}

TEST_F(MainCommandsTest, ListAlternatesBetweenClosingAndShowing) {
    commands_.Dispatch("list");
    commands_.Dispatch("list");
    commands_.Dispatch("list");
    operations_.listShown = false;  // closed by other means: the next click shows it again
    commands_.Dispatch("list");
    EXPECT_EQ(operations_.calls, (Calls{"ShowList", "CloseList", "ShowList", "ShowList"}));
}

TEST_F(MainCommandsTest, DialogsOpenWhereTheMainWindowIsNow) {
    main_.rect.moveTopLeft(QPoint(-20, 300));
    commands_.Dispatch("set");
    commands_.Dispatch("scource");
    EXPECT_EQ(operations_.calls, (Calls{"Settings 7,300", "Source 94,300"}));
}

// Without a viewer, or without the file, the user learns where the help should be.
TEST_F(MainCommandsTest, HelpThatCannotBeShownNamesItsFile) {
    operations_.viewerFound = false;
    const std::string file = operations_.helpFile.toStdString();
    commands_.Dispatch("help");
    operations_.helpFile = QStringLiteral("/nowhere/index.html");
    commands_.Dispatch("help");
    ASSERT_EQ(operations_.calls.size(), 3u);
    EXPECT_NE(operations_.calls[1].find(file), std::string::npos);
    EXPECT_NE(operations_.calls[2].find("/nowhere/index.html does not exist"), std::string::npos);
}

TEST_F(MainCommandsTest, PressesOnCommandElementsAreMarked) {
    for (const char* name :
         {"recorder", "pause", "stop", "add", "play", "list", "schedule", "scource", "set", "tag",
          "play_bar", "help", "min", "close", "del", "up", "down", "bar", "join"}) {
        drag_.skinPressed = false;
        commands_.MouseDown(name);
        EXPECT_TRUE(drag_.skinPressed) << name;
    }
    // Presses on these may begin a drag of the list window.
    for (const char* name : {"list_add", "stopj", "s_time", "Play", ""}) {
        drag_.skinPressed = false;
        commands_.MouseDown(name);
        EXPECT_FALSE(drag_.skinPressed) << name;
    }
    EXPECT_EQ(operations_.calls, Calls{"HoldSeekBar 1"});
}

TEST_F(MainCommandsTest, SeekBarReleaseSeeksOnlyWithAFileOpen) {
    for (const bool playing : {true, false}) {
        operations_.calls.clear();
        operations_.playing = playing;  // paused or not
        commands_.MouseDown("play_bar");
        commands_.MouseUp("play", 100);  // releases elsewhere do nothing
        commands_.MouseUp("play_bar", 490);
        Calls expected{"HoldSeekBar 1", "HoldSeekBar 0"};
        if (playing)
            expected.push_back("SeekTo 490");
        EXPECT_EQ(operations_.calls, expected);
        EXPECT_TRUE(drag_.skinPressed);  // only a release over a window's surface clears it
    }
}

TEST(ErrorHandlerTest, MessageOfEachKindOfFailure) {
    const QString text = QStringLiteral(u"Datei \u00e4 fehlt");
    EXPECT_EQ(ErrorMessage(std::make_exception_ptr(SonvaraError(text))), text);
    EXPECT_EQ(ErrorMessage(std::make_exception_ptr(std::runtime_error("disk full"))), "disk full");
    EXPECT_EQ(ErrorMessage(nullptr), "An unexpected error occurred.");
}

TEST(MainDisplayElementsTest, WritesGoThroughTheSkinWithARedraw) {
    FakeSkinForm form;
    for (const char* name : {"s_time", "s_left", "s_right", "showp", "s_size", "s_sizeson",
                             "s_filename", "s_mono", "recorder"})
        form.Add(name);
    FakeSkinObject& bar = form.AddScrollBar("play_bar");
    DisplayElements displays(&form);
    EXPECT_EQ(form.lookups, QStringList({"s_time", "play_bar", "s_left", "s_right", "showp",
                                         "s_size", "s_sizeson", "s_filename", "s_mono"}));

    displays.SetText("s_time", "Time: 00:00:01");
    displays.Clear("s_filename");
    displays.SetText("recorder", "x");  // not a display
    displays.SetText("play_bar", "x");  // a bar has no text
    displays.SetBarPosition(0);
    displays.SetBarEnabled(false);
    bar.position = 733;  // the user moved it
    EXPECT_EQ(displays.BarPosition(), 733);
    EXPECT_EQ(form.Get("s_time")->log, QStringList({"SetText:Time: 00:00:01", "Redraw"}));
    EXPECT_EQ(form.Get("s_filename")->log, QStringList({"SetText:", "Redraw"}));
    EXPECT_TRUE(form.Get("recorder")->log.isEmpty());
    EXPECT_EQ(bar.log, QStringList({"SetPosition:0", "Redraw", "SetEnabled:0"}));

    // What comes while the user holds the window or the bar: the latest text once let go, and
    // the bar where the user has it.
    displays.HoldTexts(true);
    displays.HoldBar(true);
    displays.SetText("s_time", "Time: 00:00:02");
    displays.SetText("s_time", "Time: 00:00:03");
    displays.SetBarPosition(12);
    EXPECT_EQ(form.Get("s_time")->log.size(), 2);
    displays.HoldTexts(false);
    EXPECT_EQ(form.Get("s_time")->text, "Time: 00:00:03");
    EXPECT_EQ(bar.position, 733);
    displays.HoldBar(false);

    // Bound again, say to a new skin: the old elements are forgotten.
    FakeSkinForm other;
    other.Add("s_time");
    displays.Bind(&other);
    displays.SetText("s_time", "new");
    displays.SetText("s_mono", "gone");
    EXPECT_EQ(other.Get("s_time")->text, "new");
    EXPECT_EQ(form.Get("s_time")->log.size(), 4);
    EXPECT_TRUE(form.Get("s_mono")->log.isEmpty());
}

TEST(MainDisplayElementsTest, WhatTheSkinLacksIsSkipped) {
    FakeSkinForm sparse;
    FakeSkinObject& noElement = sparse.Add("s_time", {.element = false, .text = true});
    FakeSkinObject& noText = sparse.Add("s_mono", {.element = true, .text = false});
    DisplayElements displays(&sparse);
    displays.SetText("s_time", "a");
    displays.SetText("s_mono", "b");
    displays.SetText("s_filename", "c");
    displays.SetBarPosition(5);
    displays.SetBarEnabled(true);
    EXPECT_EQ(displays.BarPosition(), 0);
    EXPECT_TRUE(noElement.log.isEmpty());
    EXPECT_TRUE(noText.log.isEmpty());

    DisplayElements unbound;  // before the skin is applied
    unbound.SetText("s_time", "a");
    unbound.Bind(nullptr);
    unbound.SetBarPosition(1);
    EXPECT_EQ(unbound.BarPosition(), 0);
}

}  // namespace

TEST_F(MainCommandsTest, AFailingSkinCommandReachesTheHandlerOnce) {
    operations_.failures["StartRecording"] = std::make_exception_ptr(SonvaraError("Disk full."));
    FakeSkin skin;
    ConnectSkinCommands(
        skin, commands_, [] { return 0; }, skin);
    QStringList reported;
    const FailureHandler before =
        SetFailureHandler([&](std::exception_ptr failure) { reported << ErrorMessage(failure); });
    FakeSkinObject recorder("recorder");
    skin.Click(&recorder);
    SetFailureHandler(before);
    EXPECT_EQ(reported, QStringList{"Disk full."});
}
