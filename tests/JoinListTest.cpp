#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "components/CodecAudioFile2.h"
#include "components/MainDisplays.h"
#include "join/JoinList.h"
#include "support/FakeActivity.h"
#include "support/FakeListHost.h"
#include "support/TestAudio.h"

namespace {

class JoinListTest : public ::testing::Test {
protected:
    // A second of sound per file, a real WAV the reader measures.
    QString File(const QString& name) {
        const QString path = dir_.filePath(name);
        testaudio::WriteFile(path, testaudio::Format::Wav, testaudio::Tone(8000, 1, 8000, 440),
                             8000, 1);
        return path;
    }
    void Add(const QStringList& names) {
        host_.chosen.clear();
        for (const QString& name : names)
            host_.chosen << (name.startsWith("missing") ? dir_.filePath(name) : File(name));
        list_.AddFiles();
    }
    QStringList Captions() const {
        QStringList captions;
        for (const JoinRow& row : list_.Rows())
            captions << row.caption;
        return captions;
    }

    QTemporaryDir dir_;
    FakeActivity state_;
    CodecAudioFile2 reader_;
    FakeListHost host_;
    JoinList list_{state_, reader_, host_};
};

TEST_F(JoinListTest, AddingMeasuresEachFileSelectsTheFirstNewRowAndSkipsWhatFails) {
    Add({"a.wav", "b.wav"});
    Add({"c.wav", "missing.wav", "d.wav", "e.wav"});
    EXPECT_EQ(Captions(), QStringList({"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"}));
    EXPECT_EQ(list_.Selected(), std::set<int>{2});
    EXPECT_EQ(host_.messages, QStringList{"Read " + dir_.filePath("missing.wav") + " error!!"});
    EXPECT_EQ(list_.Rows()[0].timeText, "00:00:01");
    EXPECT_EQ(list_.Rows()[0].frames, 8000);
    EXPECT_EQ(list_.Rows()[0].path, dir_.filePath("a.wav"));

    // Every file failing adds nothing and keeps the selection.
    Add({"missing1.wav", "missing2.wav"});
    EXPECT_EQ(host_.messages.size(), 3);
    EXPECT_EQ(list_.Rows().size(), 5u);
    EXPECT_EQ(list_.Selected(), std::set<int>{2});

    // Refused while recording, playing or joining; the list must not change under a job.
    for (bool FakeActivity::*flag :
         {&FakeActivity::recording, &FakeActivity::playing, &FakeActivity::joining}) {
        state_.*flag = true;
        Add({"f.wav"});
        list_.SetSelected({0});
        list_.RemoveSelected();
        state_.*flag = false;
    }
    EXPECT_EQ(list_.Rows().size(), 5u);

    EXPECT_EQ(TimeText(3725), "01:02:05");
    EXPECT_EQ(TimeText(400000), "111:06:40");
}

TEST_F(JoinListTest, AStoppedRecordingIsTheLastAndOnlySelectedRow) {
    Add({"a.wav", "b.wav"});
    list_.SetSelected({0, 1});
    state_.recording = true;  // the stop is under way
    list_.AddRecording(File("take.mp3.wav"));
    EXPECT_EQ(Captions().last(), "take.mp3.wav");
    EXPECT_EQ(list_.Selected(), std::set<int>{2});
    EXPECT_EQ(host_.focus, 1);
}

TEST_F(JoinListTest, MovesTradeTheFirstSelectedRowWithItsNeighbour) {
    Add({"a.wav", "b.wav", "c.wav", "d.wav"});
    list_.SetSelected({1, 3});
    list_.SetPlayRow(1);
    list_.MoveUp();
    EXPECT_EQ(Captions(), QStringList({"b.wav", "a.wav", "c.wav", "d.wav"}));
    EXPECT_EQ(list_.Selected(), (std::set<int>{0, 3}));
    EXPECT_EQ(list_.PlayRow(), 0);
    list_.MoveUp();  // already at the top
    list_.SetSelected({3});
    list_.MoveDown();  // already at the bottom
    EXPECT_EQ(Captions(), QStringList({"b.wav", "a.wav", "c.wav", "d.wav"}));
    list_.SetSelected({});
    list_.MoveDown();
    list_.RemoveSelected();  // nothing selected: nothing goes
    EXPECT_EQ(Captions().size(), 4);
}

TEST_F(JoinListTest, AClickOnNoRowSelectsTheLastSelectedOrTheLastRow) {
    Add({"a.wav", "b.wav", "c.wav", "d.wav"});
    list_.SetSelected({3});
    list_.lvClick();
    list_.SetSelected({2, 3});
    list_.RemoveSelected();
    list_.lvClick();  // row 3 is gone: the last row
    EXPECT_EQ(list_.Selected(), std::set<int>{1});

    state_.playing = true;
    list_.SetPlayRow(0);
    list_.lvClick();
    EXPECT_EQ(list_.Selected(), std::set<int>{1});
}

}  // namespace
