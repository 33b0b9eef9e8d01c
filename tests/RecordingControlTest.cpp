#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/DisplayElements.h"
#include "app/MainCommands.h"
#include "components/AudioFile2LameEnc.h"
#include "components/CodecAudioFile2.h"
#include "components/SonvaraError.h"
#include "config/IniSettings.h"
#include "record/RecordingControl.h"
#include "record/RecordingMarker.h"
#include "support/FakeActivity.h"
#include "support/FakeAudio.h"
#include "support/FakeClock.h"
#include "support/FakeRecording.h"
#include "support/FakeSkin.h"
#include "support/TestAudio.h"

namespace {

constexpr int64_t kRate = 44100;

// A file that takes a few arrays and then refuses, as a disk that fills up does.
struct FailingWriter : CodecAudioFile2 {
    int failFromWrite = 0;  // 0: never
    int writes = 0;
    void WriteArray(const SampleArray& array) override {
        if (failFromWrite > 0 && ++writes >= failFromWrite)
            throw SonvaraError("Cannot write \"E.mp3\": No space left on device.");
        CodecAudioFile2::WriteArray(array);
    }
};

// The main window's operations as far as recording goes; the rest do nothing.
struct RecordingOperations : MainOperations {
    explicit RecordingOperations(RecordingControl& recording) : control(recording) {}
    RecordingControl& control;
    bool Recording() const override { return control.Active(); }
    bool Playing() const override { return false; }
    bool Joining() const override { return false; }
    void StopJoin() override {}
    bool ListShown() const override { return false; }
    void StartRecording() override { control.StartRecording(); }
    void StopRecording() override { control.StopRecording(); }
    void ToggleRecordPause() override { control.ToggleRecordPause(); }
    void StartPlayback() override {}
    void StopPlayback() override {}
    void TogglePlayPause() override {}
    void SeekTo(int) override {}
    void AddFiles() override {}
    void RemoveSelected() override {}
    void MoveUp() override {}
    void MoveDown() override {}
    void JoinFiles() override {}
    void ShowList() override {}
    void CloseList() override {}
    void FocusList() override {}
    void ShowScheduleDialog(QPoint) override {}
    void ShowSourceDialog(QPoint) override {}
    void ShowSettingsDialog(QPoint) override {}
    void ShowTagDialog(QPoint) override {}
    QString HelpFile() const override { return {}; }
    bool OpenInViewer(const QString&) override { return true; }
    void ShowMessage(const QString&) override {}
};

struct FixedFrame : WindowFrame {
    QRect Geometry() const override { return {0, 0, 443, 217}; }
    void Move(QPoint) override {}
};

class RecordingControlTest : public ::testing::Test {
protected:
    RecordingControlTest() {
        for (const char* name : {"s_filename", "s_mono", "s_sizeson", "s_time"})
            form_.Add(name);
        form_.AddScrollBar("play_bar");
        displays_.Bind(&form_);
        Configure("output", "dir", dir_.filePath("out"));
    }

    void Configure(const QString& section, const QString& key, const QString& value) {
        settings_.WriteString(section, key, value);
    }
    // The length limit on, as a duration, with the given stop and new-file choices.
    void Limit(const QString& seconds, bool stop, bool newFile) {
        Configure("file", "enlength", "1");
        Configure("file", "rbtime", "1");
        Configure("file", "timet", seconds);
        Configure("file", "limit_s", stop ? "1" : "0");
        Configure("file", "limit_n", newFile ? "1" : "0");
    }
    QString Out(const QString& name) const { return dir_.filePath("out/" + name); }
    QString Text(const char* name) { return form_.Get(name)->text; }
    void Blocks(int count) {
        for (int i = 0; i < count; ++i)
            recorder_.DeliverBlock();
    }
    bool Idle() const { return control_.State() == RecordingState::Idle; }
    QStringList Markers() const {
        return QDir(dir_.filePath("markers")).entryList({"*.marker"}, QDir::Files);
    }

    QTemporaryDir dir_;
    IniSettings settings_{dir_.filePath("Kelvo.ini")};
    FakeActivity activity_;
    FakeClock clock_{QDateTime(QDate(2006, 5, 19), QTime(0, 8, 4))};
    FakeAudioRecord2 recorder_;
    FailingWriter writer_;
    AudioFile2LameEnc encoder_;
    FakeLevelDisplay levels_;
    FakeSkinForm form_;
    DisplayElements displays_;
    FakeSleepInhibitor sleep_;
    FakeRecordingHost host_;
    RecordingMarker marker_{dir_.filePath("markers")};
    RecordingControl control_{{activity_, settings_, clock_, recorder_, writer_, encoder_, levels_,
                               displays_, sleep_, host_, &marker_}};
};

TEST_F(RecordingControlTest, StartPauseResumeAndStopThroughTheCommands) {
    RecordingOperations operations(control_);
    FixedFrame frame;
    DragState drag;
    MainCommands commands(operations, drag, frame);
    Configure("mp3", "threads", "4");  // for joins: a recording reaches the disk block by block

    commands.Dispatch("recorder");
    ASSERT_EQ(control_.State(), RecordingState::Recording);
    EXPECT_EQ(encoder_.Threads(), 1);
    EXPECT_EQ(host_.pathBoxes, QStringList{Out("EUT.mp3")});
    EXPECT_EQ(Text("s_filename"), "File Name: EUT.mp3");
    EXPECT_EQ(Text("s_mono"), "File Info: Stereo 128K 44100HZ");
    EXPECT_EQ(recorder_.sampleRate, kRate);
    EXPECT_EQ(recorder_.blockFrames, 8820);
    EXPECT_TRUE(recorder_.capturing);
    EXPECT_TRUE(levels_.visible);
    EXPECT_EQ(sleep_.reasons, QStringList{"Sonvara is recording"});

    Blocks(15);
    recorder_.Tick(3 * kRate + 10);
    EXPECT_EQ(Text("s_time"), "Time: 00:00:03");
    EXPECT_EQ(Text("s_sizeson"),
              QStringLiteral("File Size: %1 KB").arg(QFileInfo(Out("EUT.mp3")).size() / 1024));
    EXPECT_EQ(levels_.arraysShown, 15);

    // A second start while running changes nothing.
    commands.Dispatch("recorder");
    EXPECT_EQ(recorder_.starts, 1);

    commands.Dispatch("pause");
    EXPECT_EQ(control_.State(), RecordingState::Paused);
    EXPECT_FALSE(recorder_.capturing);
    // The recorder counts from 0 again after the resume; the time goes on.
    commands.Dispatch("pause");
    recorder_.Tick(kRate);
    EXPECT_EQ(Text("s_time"), "Time: 00:00:04");
    // Pausing and then resuming by the recorder button continues the same file.
    commands.Dispatch("pause");
    commands.Dispatch("recorder");
    EXPECT_TRUE(recorder_.capturing);
    EXPECT_EQ(host_.pathBoxes.size(), 1);
    Blocks(5);
    recorder_.partial = SampleArray(4410 * 2);  // handed over by the stop

    commands.Dispatch("stop");
    EXPECT_TRUE(Idle());
    EXPECT_EQ(host_.finished, QStringList{Out("EUT.mp3")});
    EXPECT_FALSE(sleep_.held);
    EXPECT_FALSE(levels_.visible);
    for (const char* name : {"s_filename", "s_mono", "s_sizeson", "s_time"})
        EXPECT_EQ(Text(name), "") << name;
    EXPECT_FALSE(form_.Get("play_bar")->enabled);
    const testaudio::Decoded file = testaudio::DecodeFile(Out("EUT.mp3"));
    EXPECT_EQ(file.announced, 20 * 8820 + 4410);

    // A stop while idle still stops the recorder but hands nothing on.
    control_.StopRecording();
    EXPECT_EQ(host_.finished.size(), 1);
}

TEST_F(RecordingControlTest, EachCombinationOfTheLengthLimit) {
    struct Case {
        const char* timet;
        bool stop, newFile;
        int finished;         // parts handed on at the limit
        bool stillRecording;  // a part follows, or the limit does nothing
    };
    const Case cases[] = {
        {"2", false, false, 0, true},      {"2", true, false, 1, false},
        {"2", false, true, 1, true},       {"2", true, true, 1, true},
        {"0", true, false, 1, false},      {"", true, true, 0, true},
        {"1 minute", true, true, 0, true}, {"-3", true, false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("timet=") + c.timet + " stop=" + std::to_string(c.stop) +
                     " new=" + std::to_string(c.newFile));
        Limit(c.timet, c.stop, c.newFile);
        host_.finished.clear();
        control_.StartRecording();
        recorder_.Tick(2 * kRate - 1);
        // Under the limit, unless the limit is 0.
        if (std::string(c.timet) != "0") {
            EXPECT_TRUE(host_.finished.isEmpty());
        }
        recorder_.Tick(2 * kRate);
        EXPECT_EQ(host_.finished.size(), c.finished);
        EXPECT_EQ(control_.Active(), c.stillRecording);
        control_.StopRecording();
    }

    // Off as a whole, or counted in something other than time: nothing happens.
    Limit("1", true, true);
    for (const char* key : {"enlength", "rbtime"}) {
        Configure("file", key, "0");
        host_.finished.clear();
        control_.StartRecording();
        recorder_.Tick(10 * kRate);
        EXPECT_TRUE(control_.Active()) << key;
        control_.StopRecording();
        Configure("file", key, "1");
    }
}

TEST_F(RecordingControlTest, SplitPartsAreNumberedAndNeverWaitForTheUser) {
    Limit("2", false, true);
    control_.StartRecording();
    Blocks(10);
    recorder_.Tick(2 * kRate);
    // Capture runs on through a split, so the parts join without a gap.
    EXPECT_EQ(recorder_.starts, 1);
    EXPECT_TRUE(recorder_.capturing);
    EXPECT_EQ(Text("s_time"), "");
    Blocks(10);
    recorder_.Tick(2 * kRate + 10);
    EXPECT_EQ(Text("s_time"), "Time: 00:00:00");  // counted from the split
    recorder_.Tick(4 * kRate);
    // Changed MP3 settings take effect at the next part, with capture in the new format.
    Configure("mp3", "channel", "0");
    Blocks(10);
    recorder_.Tick(6 * kRate);
    EXPECT_EQ(recorder_.channels, 1);
    EXPECT_EQ(recorder_.starts, 2);
    Blocks(3);
    control_.StopRecording();
    EXPECT_EQ(host_.finished,
              QStringList({Out("EUT.mp3"), Out("EUT-2.mp3"), Out("EUT-3.mp3"), Out("EUT-4.mp3")}));
    EXPECT_EQ(host_.pathBoxes.size(), 1);
    EXPECT_EQ(testaudio::DecodeFile(Out("EUT-2.mp3")).announced, 10 * 8820);
    const testaudio::Decoded mono = testaudio::DecodeFile(Out("EUT-4.mp3"));
    EXPECT_EQ(mono.channels, 1);
    EXPECT_EQ(mono.announced, 3 * 8820);

    // A new recording, and a scheduled one (with no box), replaces none: the next free number.
    control_.StartRecording();
    EXPECT_EQ(host_.pathBoxes.last(), Out("EUT-5.mp3"));
    control_.StopRecording();

    control_.StartRecording(Caller::Schedule);
    EXPECT_EQ(control_.OutputFile(), Out("EUT-6.mp3"));
    EXPECT_EQ(host_.pathBoxes.size(), 2);
    control_.StopRecording();

    // Time-stamped parts carry their own time; parts within one second are numbered too.
    Configure("output", "rb_cust", "0");
    host_.finished.clear();
    control_.StartRecording();
    recorder_.Tick(2 * kRate);
    clock_.now = clock_.now.addSecs(2);
    recorder_.Tick(2 * kRate);
    control_.StopRecording();
    EXPECT_EQ(host_.finished, QStringList({Out("EUT-19-05-2006--00;08;04.mp3"),
                                           Out("EUT-19-05-2006--00;08;04-2.mp3"),
                                           Out("EUT-19-05-2006--00;08;06.mp3")}));
    EXPECT_EQ(host_.pathBoxes.size(), 2);
}

// A part is handed on once it has coded the start of the next part's sound as post-roll, and
// the parts played in a row are the uncut sound, the joint no worse than the rest.
TEST_F(RecordingControlTest, SplitPartsPlayInARowAsTheUncutSound) {
    Limit("1", false, true);
    const SampleArray tone = testaudio::Tone(kRate, 2, 12 * 8820, 437.0);
    const auto block = [&](int i) { return testaudio::Slice(tone, 2, i * 8820, 8820); };
    control_.StartRecording(Caller::Schedule);
    for (int i = 0; i < 6; ++i)
        recorder_.DeliverBlock(block(i));
    recorder_.Tick(kRate);
    EXPECT_TRUE(host_.finished.isEmpty());
    recorder_.DeliverBlock(block(6));
    EXPECT_EQ(host_.finished, QStringList{Out("EUT.mp3")});
    for (int i = 7; i < 12; ++i)
        recorder_.DeliverBlock(block(i));
    control_.StopRecording();
    const testaudio::Decoded first = testaudio::DecodeFile(Out("EUT.mp3"));
    const testaudio::Decoded second = testaudio::DecodeFile(Out("EUT-2.mp3"));
    ASSERT_EQ(first.announced, 6 * 8820);
    ASSERT_EQ(second.announced, 6 * 8820);
    const SampleArray joined = testaudio::Concat(first.samples, second.samples);
    EXPECT_LE(testaudio::LargestStray(joined, tone, 2, 6 * 8820 - 1152, 2304),
              1.25 * testaudio::LargestStray(joined, tone, 2, 3 * 8820, 2304));

    // Handing the part on may wait in a box: a tick then does not split, and a stop waits.
    host_.finished.clear();
    host_.duringFinish = [&] {
        recorder_.Tick(5 * kRate);
        control_.StopRecording();
    };
    control_.StartRecording(Caller::Schedule);
    recorder_.DeliverBlock(block(0));
    recorder_.Tick(kRate);
    recorder_.DeliverBlock(block(1));
    EXPECT_TRUE(Idle());
    EXPECT_EQ(host_.finished, QStringList({Out("EUT-3.mp3"), Out("EUT-4.mp3")}));
}

TEST_F(RecordingControlTest, AWriteFailureEndsTheRecordingOnceWithTheFileFinished) {
    writer_.failFromWrite = 3;
    control_.StartRecording(Caller::Schedule);
    QStringList errors;
    for (int i = 0; i < 6; ++i) {
        try {
            if (i < 3)
                recorder_.DeliverBlock();
            else
                emit recorder_.OnEndArrayRecord(i);  // events queued before capture stopped
        } catch (const SonvaraError& error) {
            errors << error.message();
        }
    }
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("Cannot write \"E.mp3\": No space left on device."));
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(recorder_.capturing);
    EXPECT_FALSE(sleep_.held);
    EXPECT_EQ(host_.finished, QStringList{Out("EUT.mp3")});
    EXPECT_EQ(host_.untagged, QStringList{Out("EUT.mp3")});
    EXPECT_EQ(testaudio::DecodeFile(Out("EUT.mp3")).announced, 2 * 8820);

    // Nothing of the failed recording leaks into the next one.
    writer_.failFromWrite = 0;
    host_.finished.clear();
    control_.StartRecording(Caller::Schedule);
    Blocks(1);
    control_.StopRecording();
    EXPECT_EQ(host_.untagged.size(), 1);
    EXPECT_EQ(testaudio::DecodeFile(Out("EUT-2.mp3")).announced, 8820);
}

// Handing a part on may run the event loop, which delivers ticks, blocks and the user's clicks
// before the next part is under way.
TEST_F(RecordingControlTest, ASplitWaitingForItsHandOnLosesNothingAndDoesNotSplitAgain) {
    Limit("1", false, true);
    host_.duringFinish = [&] {
        Blocks(3);
        recorder_.Tick(5 * kRate);  // far past the limit
        control_.StopRecording();   // the user clicks stop meanwhile
    };
    control_.StartRecording(Caller::Schedule);
    Blocks(4);
    recorder_.Tick(kRate);
    Blocks(1);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(host_.finished, QStringList({Out("EUT.mp3"), Out("EUT-2.mp3")}));
    EXPECT_EQ(testaudio::DecodeFile(Out("EUT.mp3")).announced, 4 * 8820);
    EXPECT_EQ(testaudio::DecodeFile(Out("EUT-2.mp3")).announced, 4 * 8820);
}

TEST_F(RecordingControlTest, RefusalsLeaveEverythingAsItWas) {
    // 48000 Hz cannot carry 8 kbit/s.
    Configure("mp3", "frequency", "9");
    Configure("mp3", "bitrate", "0");
    control_.StartRecording();
    EXPECT_EQ(host_.messages, QStringList{"This MP3 format is not supported."});
    // Nobody may be there to close a box for a scheduled start.
    control_.StartRecording(Caller::Schedule);
    EXPECT_EQ(host_.notified, QStringList{"This MP3 format is not supported."});
    EXPECT_EQ(Text("s_mono"), "File Info: Stereo 8K 48000HZ");
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(QFile::exists(Out("EUT.mp3")));
    EXPECT_EQ(recorder_.starts, 0);

    Configure("mp3", "frequency", "8");
    Configure("mp3", "bitrate", "11");
    host_.messages.clear();
    activity_.playing = true;
    control_.StartRecording();
    EXPECT_EQ(host_.messages, QStringList{"Please stop playing first."});
    EXPECT_TRUE(Idle());
    activity_.playing = false;

    activity_.joining = true;
    control_.StartRecording();
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(QFile::exists(Out("EUT.mp3")));
}

// The path box's event loop lets the schedule start a recording: the user's start gives way
// instead of closing the file under it.
TEST_F(RecordingControlTest, AStartOvertakenWhileItsPathBoxIsOpenGivesWay) {
    host_.duringPathBox = [&] { control_.StartRecording(Caller::Schedule); };
    control_.StartRecording();
    Blocks(2);
    control_.StopRecording();
    EXPECT_EQ(host_.finished, QStringList{Out("EUT.mp3")});
    EXPECT_EQ(testaudio::DecodeFile(Out("EUT.mp3")).announced, 2 * 8820);
}

TEST_F(RecordingControlTest, ARecorderThatCannotStartEndsTheRecordingAndSaysWhy) {
    recorder_.failStart = true;
    try {
        control_.StartRecording();
        FAIL() << "no error";
    } catch (const SonvaraError& error) {
        EXPECT_EQ(error.message(), recorder_.failStartText);
    }
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(sleep_.held);
    EXPECT_EQ(host_.finished, QStringList{Out("EUT.mp3")});
    EXPECT_TRUE(QFile::exists(Out("EUT.mp3")));
}

TEST_F(RecordingControlTest, LongRecordingsKeepTheirTimeAndLimit) {
    Limit("54000", false, true);  // 15 hours
    control_.StartRecording();
    recorder_.Tick(14 * 3600 * kRate);
    EXPECT_EQ(Text("s_time"), "Time: 14:00:00");
    control_.ToggleRecordPause();
    control_.ToggleRecordPause();
    // While the window is dragged the time is not refreshed, but the limit still applies.
    displays_.HoldTexts(true);
    recorder_.Tick(1800 * kRate);
    EXPECT_EQ(Text("s_time"), "Time: 14:00:00");
    EXPECT_TRUE(host_.finished.isEmpty());
    recorder_.Tick(3600 * kRate);
    EXPECT_EQ(host_.finished.size(), 1);
    EXPECT_EQ(TimeText(100 * 3600 + 61), "100:01:01");
}

// A crash while a part still takes the next part's first sound must find both marked.
TEST_F(RecordingControlTest, BothPartsOfASplitStayMarkedUntilTheFirstIsComplete) {
    Limit("1", false, true);
    control_.StartRecording(Caller::Schedule);
    Blocks(6);
    recorder_.Tick(kRate);
    EXPECT_EQ(Markers().size(), 2);
    Blocks(1);
    EXPECT_EQ(Markers().size(), 1);
    control_.StopRecording();
    EXPECT_TRUE(Markers().isEmpty());
}

// Armed, nothing is on disk until sound comes, and the file is named by when it came.
TEST_F(RecordingControlTest, AnArmedRecordingMakesItsFileWhenSoundComes) {
    Configure("output", "rb_cust", "0");
    ActivationSettings armed;
    armed.enabled = true;
    control_.SetActivation(armed);
    control_.StartRecording();
    Blocks(5);
    control_.ToggleRecordPause();
    EXPECT_EQ(Text("s_time"), "Time: 00:00:00");  // a pause, not a wait
    control_.ToggleRecordPause();
    EXPECT_TRUE(QDir(Out("")).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(Markers().isEmpty());
    clock_.now = clock_.now.addSecs(20);
    const SampleArray tone = testaudio::Tone(kRate, 2, 8820, 437.0);
    for (int i = 0; i < 3; ++i)
        recorder_.DeliverBlock(tone);
    control_.StopRecording();
    EXPECT_EQ(host_.finished, QStringList{Out("EUT-19-05-2006--00;08;24.mp3")});
}

// A recording of nothing is told once, and goes on.
TEST_F(RecordingControlTest, TenSecondsOfDigitalSilenceAtTheStartAreToldOnce) {
    control_.StartRecording(Caller::Schedule);
    Blocks(49);
    EXPECT_TRUE(host_.notified.isEmpty());
    Blocks(20);
    EXPECT_EQ(host_.notified,
              QStringList{"Sonvara is recording silence from the recording source."});
    EXPECT_TRUE(control_.Active());
}

TEST_F(RecordingControlTest, AFrameBudgetCutsTheLastBlockAndStops) {
    control_.StopAfterFrames(2 * 8820 + 100);
    control_.StartRecording();
    Blocks(3);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(testaudio::DecodeFile(Out("EUT.mp3")).announced, 2 * 8820 + 100);
}

}  // namespace
