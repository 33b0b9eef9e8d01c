#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/RecordingRecovery.h"
#include "components/CodecAudioFile2.h"
#include "components/LameAudioWriter.h"
#include "record/RecordingMarker.h"
#include "support/TestAudio.h"

namespace {

class Host : public RecoveryHost {
public:
    void RecordingRecovered(const QString& file) override { recovered << file; }
    void ShowMessage(const QString& text) override { messages << text; }
    QStringList recovered, messages;
};

class RecordingRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path(const QString& name) const { return dir_.filePath(name); }

    // What a kill leaves: the bytes of a recording whose writer never got to Close.
    void WriteCutOffRecording(const QString& path, bool vbr) {
        AudioFile2LameEnc settings;
        settings.SetSampleRate(44100);
        settings.SetChannels(2);
        settings.SetBitrate(128);
        settings.SetVbr(vbr);
        settings.SetVbrBitrate(192);
        LameAudioWriter writer(Path("open.mp3"), settings);
        for (int i = 0; i < 12; ++i)
            writer.Write(testaudio::Tone(44100, 2, 4410, 440.0));
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(Path("open.mp3"), path));
    }

    // A marker as a process that has since gone leaves it: its id is ours, its start is not.
    QString WriteMarkerOfAGoneProcess(const QString& file) {
        const QString marker = Path("settings/recording-1.marker");
        QDir().mkpath(Path("settings"));
        QFile out(marker);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(file.toUtf8() + "\n" + QByteArray::number(QCoreApplication::applicationPid()) +
                  "\n1\n");
        return marker;
    }

    QTemporaryDir dir_;
};

TEST_F(RecordingRecoveryTest, AMarkerNamesTheOpenFileOnlyWhileItsProcessRecords) {
    {
        RecordingMarker marker(Path("settings"));
        marker.Begin(Path("a.mp3"));
        marker.Begin(Path("a-2.mp3"));  // the next part of a split
        const QStringList names = QDir(Path("settings")).entryList({"*.marker"}, QDir::Files);
        ASSERT_EQ(names.size(), 1);
        QFile file(QDir(Path("settings")).filePath(names[0]));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readLine().trimmed(), Path("a-2.mp3").toUtf8());
        EXPECT_TRUE(RecordingMarker::FindLeftBehind(Path("settings")).empty());  // alive
    }
    EXPECT_TRUE(QDir(Path("settings")).entryList({"*.marker"}, QDir::Files).isEmpty());

    // An id that a new process took over does not keep a dead recording's marker alive.
    WriteMarkerOfAGoneProcess(Path("b.mp3"));
    const auto left = RecordingMarker::FindLeftBehind(Path("settings"));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].file, Path("b.mp3"));
}

TEST_F(RecordingRecoveryTest, ACutOffRecordingIsRepairedListedAndToldOnce) {
    for (const bool vbr : {false, true}) {
        WriteCutOffRecording(Path("cut.mp3"), vbr);
        const QString marker = WriteMarkerOfAGoneProcess(Path("cut.mp3"));
        CodecAudioFile2 reader;
        Host host;
        RecoverRecordings(Path("settings"), reader, host);

        EXPECT_EQ(host.recovered, QStringList{Path("cut.mp3")});
        ASSERT_EQ(host.messages.size(), 1);
        EXPECT_TRUE(host.messages[0].contains(Path("cut.mp3") + " (00:00:01)"))
            << host.messages[0].toStdString();
        EXPECT_FALSE(QFile::exists(marker));
        const testaudio::Decoded decoded = testaudio::DecodeFile(Path("cut.mp3"));
        const int64_t frames = static_cast<int64_t>(decoded.samples.size()) / 2;
        EXPECT_GT(frames, 44100) << vbr;
        EXPECT_EQ(frames, decoded.announced) << vbr;

        RecoverRecordings(Path("settings"), reader, host);
        EXPECT_EQ(host.messages.size(), 1);
    }
}

TEST_F(RecordingRecoveryTest, AMarkedFileThatIsGoneIsToldAndForgotten) {
    const QString marker = WriteMarkerOfAGoneProcess(Path("gone.mp3"));
    CodecAudioFile2 reader;
    Host host;
    RecoverRecordings(Path("settings"), reader, host);
    EXPECT_TRUE(host.recovered.isEmpty());
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_TRUE(host.messages[0].contains("Cannot repair \"" + Path("gone.mp3")));
    EXPECT_FALSE(QFile::exists(marker));
}

}  // namespace
