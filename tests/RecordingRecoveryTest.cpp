#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <tuple>

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

    // What a kill leaves: the bytes of a recording whose writer never got to Close; or with
    // `closed`, a finished one.
    void WriteCutOffRecording(const QString& path, bool vbr, bool closed = false) {
        AudioFile2LameEnc settings;
        settings.SetSampleRate(44100);
        settings.SetChannels(2);
        settings.SetBitrate(128);
        settings.SetVbr(vbr);
        settings.SetVbrBitrate(192);
        LameAudioWriter writer(Path("open.mp3"), settings);
        for (int i = 0; i < 12; ++i)
            writer.Write(testaudio::Tone(44100, 2, 4410, 440.0));
        if (closed)
            writer.Close();
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(Path("open.mp3"), path));
    }

    // A marker as a process that has since gone leaves it: written by this one, with another
    // start time; then `line` holds `value`, or with no value ends it, as earlier versions did.
    QString WriteMarkerOfAGoneProcess(const QString& file, int line = 2, const char* value = "1") {
        QList<QByteArray> lines;
        {
            RecordingMarker marker(Path("writing"));
            marker.Begin(file);
            QFile written(QDir(Path("writing")).entryInfoList(QDir::Files).value(0).filePath());
            EXPECT_TRUE(written.open(QIODevice::ReadOnly));
            lines = written.readAll().split('\n');
        }
        lines[2] = "1";
        if (!value)
            lines.resize(line + 1);
        lines[line] = value;
        const QString marker = Path("settings/recording-1.marker");
        QDir().mkpath(Path("settings"));
        QFile out(marker);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(lines.join('\n'));
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

// Anything but a cut-off recording of a gone process on this computer, in this boot and PID
// namespace, with the file still the one recorded into, is told and left byte for byte.
TEST_F(RecordingRecoveryTest, NothingElseIsRepaired) {
    const QString cut = Path("cut.mp3"), target = Path("target.mp3");
    const auto bytes = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // Markers that cannot be checked stay: they may belong to a recording under way.
    enum Then { MarkerKept, Replaced, Linked, Shortened, Finished };
    const std::tuple<const char*, int, const char*, Then> cases[] = {
        {"foreign boot id", 3, "2b1c64b3-0000-4000-8000-000000000000", MarkerKept},
        {"other PID namespace", 4, "pid:[4026532999]", MarkerKept},
        {"other host", 5, "elsewhere", MarkerKept},
        {"old-format marker", 3, nullptr, MarkerKept},
        {"changed inode", 2, "1", Replaced},
        {"symlink", 2, "1", Linked},
        {"shorter than marked", 2, "1", Shortened},
        {"complete info frame", 2, "1", Finished},
    };
    for (const auto& [name, line, value, then] : cases) {
        QFile::remove(target);
        WriteCutOffRecording(cut, false, then == Finished);
        const QString marker = WriteMarkerOfAGoneProcess(cut, line, value);
        if (then == Replaced || then == Linked) {
            QFile::rename(cut, target);
            then == Linked ? QFile::link(target, cut) : QFile::copy(target, cut);
        }
        if (then == Shortened)
            QFile::resize(cut, QFile(cut).size() - 100);
        const QString kept = then == Linked ? target : cut;
        const QByteArray before = bytes(kept);
        CodecAudioFile2 reader;
        Host host;
        RecoverRecordings(Path("settings"), reader, host);
        EXPECT_TRUE(host.recovered.isEmpty()) << name;
        ASSERT_EQ(host.messages.size(), 1) << name;
        EXPECT_TRUE(host.messages[0].contains(cut)) << name;
        EXPECT_EQ(bytes(kept), before) << name;
        EXPECT_EQ(QFile::exists(marker), then == MarkerKept) << name;
        QFile::remove(marker);
    }
}

}  // namespace
