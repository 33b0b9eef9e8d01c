#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

#include <taglib/chapterframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>

#include "components/CodecAudioFile2.h"
#include "components/SonvaraError.h"
#include "components/TagLibAudioInformation2.h"
#include "config/IniSettings.h"
#include "join/JoinEngine.h"
#include "support/FakeActivity.h"
#include "support/FileSizeLimit.h"
#include "support/TestAudio.h"

using namespace testaudio;

namespace {

// Logs every call as a line: "row 1: Converting", "header: Time", "folder: /x", ...
struct FakeJoinHost : JoinHost {
    QString answer;  // the save dialog's choice
    QStringList log;
    std::function<void()> duringPump;

    void ShowMessage(const QString& text) override { log << "message: " + text; }
    QString AskOutputFile(const QString& folder) override {
        log << "dialog: " + folder;
        return answer;
    }
    void SetTimeHeader(const QString& text) override { log << "header: " + text; }
    void SetRowTime(int row, const QString& text) override {
        log << QStringLiteral("row %1: %2").arg(row).arg(text);
    }
    void ShowProgress(const QString& text) override { log << "progress: " + text; }
    void PumpEvents() override {
        if (duringPump)
            duringPump();
    }
    void OpenFolder(const QString& folder) override { log << "folder: " + folder; }

    bool Converting(int row) const {
        const QStringList times = log.filter(QStringLiteral("row %1: ").arg(row));
        return !times.isEmpty() && times.last().endsWith("Converting");
    }
};

// As a player finds them: the entries of the top-level table, in its order.
std::vector<JoinChapter> ReadChapters(const QString& path) {
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    const TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
    const auto* contents = tag ? TagLib::ID3v2::TableOfContentsFrame::findTopLevel(tag) : nullptr;
    std::vector<JoinChapter> chapters;
    for (const TagLib::ByteVector& id :
         contents ? contents->childElements() : TagLib::ByteVectorList()) {
        const auto* chapter = TagLib::ID3v2::ChapterFrame::findByElementID(tag, id);
        const QString title = QString::fromStdString(
            chapter->embeddedFrameList("TIT2").front()->toString().to8Bit(true));
        chapters.push_back({title, chapter->startTime(), chapter->endTime()});
    }
    return chapters;
}

// Keeps what the finished output decoded to before its chapters were added.
struct DecodingChapterWriter : TagLibChapterWriter {
    SampleArray before;
    void WriteChapters(const QString& file, const std::vector<JoinChapter>& chapters) override {
        before = DecodeFile(file).samples;
        TagLibChapterWriter::WriteChapters(file, chapters);
    }
};

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Output at 22050 Hz mono, quick to encode; rows are real files measured as the list does.
class JoinEngineTest : public ::testing::Test {
protected:
    JoinEngineTest() {
        settings_.WriteString("output", "dir", Path("out"));
        settings_.WriteString("mp3", "frequency", "5");
        settings_.WriteString("mp3", "channel", "0");
        settings_.WriteString("mp3", "threads", "3");  // whatever the cores: as joins run
    }

    QString Path(const QString& name) const { return dir_.filePath(name); }
    QString Out(const QString& name) const { return Path("out/" + name); }

    JoinRow Row(const QString& stem, Format format, int rate, int channels, int seconds,
                const WriteOptions& options = {}) {
        const QString path = Path(stem + Extension(format));
        WriteFile(path, format, Tone(rate, channels, int64_t{seconds} * rate, 440), rate, channels,
                  options);
        CodecAudioFile2 reader;
        return MeasureJoinRow(reader, path);
    }
    // The finished file must decode to exactly what its header announces.
    int64_t FramesOf(const QString& path) {
        const Decoded decoded = DecodeFile(path);
        EXPECT_EQ(FrameCount(decoded.samples, decoded.channels), decoded.announced);
        return decoded.announced;
    }

    QTemporaryDir dir_;
    IniSettings settings_{dir_.filePath("Kelvo.ini")};
    FakeActivity state_;
    CodecAudioFile2 reader_;
    CodecAudioFile2 writer_;
    AudioFile2LameEnc encoder_;
    DecodingChapterWriter chapters_;
    FakeJoinHost host_;
    JoinEngine engine_{{state_, settings_, reader_, writer_, encoder_, chapters_, host_}};
};

// Every row is read to its end: one announces no length, the WMA less than it holds.
TEST_F(JoinEngineTest, MixedFormatsBecomeOneMp3OfAllTheirSoundWithAChapterPerRow) {
    JoinRow unmeasured = Row("a", Format::Wav, 44100, 2, 1);
    unmeasured.frames = 0;
    const QString wma = Row("d", Format::Wma, 22050, 1, 10).path;
    HalveAsfDuration(wma);
    CodecAudioFile2 reader;
    const std::vector<JoinRow> rows = {
        unmeasured, Row("b", Format::Flac, 48000, 2, 2),
        Row("c", Format::Mp3, 22050, 1, 1, {.title = QStringLiteral("Third")}),
        MeasureJoinRow(reader, wma)};
    const int64_t wmaFrames = FrameCount(DecodeFile(wma).samples, 1);
    ASSERT_LT(rows[3].frames, wmaFrames * 2 / 3);
    host_.answer = Out("Joined.MP3");
    engine_.JoinFiles(rows);

    EXPECT_EQ(FramesOf(Out("Joined.mp3")), 4 * 22050 + wmaFrames);
    EXPECT_TRUE(DecodeFile(Out("Joined.mp3")).samples == chapters_.before);
    EXPECT_EQ(QDir(Path("out")).entryList(QDir::Files), QStringList{"Joined.mp3"});
    const int64_t endMs = (4 * 22050 + wmaFrames) * 1000 / 22050;
    EXPECT_EQ(ReadChapters(Out("Joined.mp3")),
              (std::vector<JoinChapter>{
                  {"a", 0, 1000}, {"b", 1000, 3000}, {"Third", 3000, 4000}, {"d", 4000, endMs}}));
    EXPECT_EQ(host_.log.first(), "dialog: " + Path("out"));
    EXPECT_EQ(host_.log.filter("header: ").first(), "header: Status");
    EXPECT_EQ(host_.log.mid(host_.log.size() - 5),
              QStringList({"progress: Joining 4/4 · 100 %", "row 3: " + rows[3].timeText,
                           "folder: " + Path("out"), "header: Time:", "progress: "}));
    EXPECT_EQ(engine_.State(), JoinState::Idle);

    // A conversion is a join of one row; its file has no chapters.
    engine_.JoinFilesTo({rows[1]}, Out("b"));
    EXPECT_EQ(FramesOf(Out("b.mp3")), 2 * 22050);
    EXPECT_TRUE(ReadChapters(Out("b.mp3")).empty());
}

TEST_F(JoinEngineTest, StopDuringTheSecondOfThreeRowsKeepsWhatWasWritten) {
    const std::vector<JoinRow> rows = {Row("a", Format::Wav, 22050, 1, 1),
                                       Row("b", Format::Wav, 22050, 1, 10),
                                       Row("c", Format::Wav, 22050, 1, 1)};
    QDir().mkpath(Path("out"));
    QFile old(Out("s.mp3"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();
    bool oldKept = true;
    int pumpsInB = 0;
    // One block of b (four seconds) is written, then the stop comes.
    host_.duringPump = [&] {
        oldKept = oldKept && Contents(Out("s.mp3")) == "old";
        if (host_.Converting(1) && ++pumpsInB == 2)
            engine_.StopJoin();
    };
    engine_.JoinFilesTo(rows, Out("s.mp3"));

    EXPECT_TRUE(oldKept);
    EXPECT_EQ(FramesOf(Out("s.mp3")), 5 * 22050);
    EXPECT_EQ(ReadChapters(Out("s.mp3")),
              (std::vector<JoinChapter>{{"a", 0, 1000}, {"b", 1000, 5000}}));
    EXPECT_EQ(host_.log.filter("row 1: ").last(), "row 1: " + rows[1].timeText);
    EXPECT_TRUE(host_.log.filter("row 2: ").isEmpty());
    EXPECT_EQ(host_.log.mid(host_.log.size() - 3),
              QStringList({"folder: " + Path("out"), "header: Time:", "progress: "}));
    EXPECT_EQ(engine_.State(), JoinState::Idle);
    EXPECT_TRUE(QDir(Path("out")).entryList({"*.part"}).isEmpty());
}

TEST_F(JoinEngineTest, ARowThatFailsEndsTheJobOnceWithTheOutputFinished) {
    const std::vector<JoinRow> rows = {Row("a", Format::Wav, 22050, 1, 1),
                                       Row("b", Format::Wav, 22050, 1, 1)};
    QDir().mkpath(Path("out"));
    host_.duringPump = [&] {
        if (host_.Converting(0))
            QFile::remove(rows[1].path);
    };
    int thrown = 0;
    try {
        engine_.JoinFilesTo(rows, Out("e.mp3"));
    } catch (const SonvaraError& e) {
        ++thrown;
        EXPECT_TRUE(e.message().contains(rows[1].path) && e.message().contains(Out("e.mp3")))
            << e.message().toStdString();
    }
    EXPECT_EQ(thrown, 1);
    EXPECT_EQ(engine_.State(), JoinState::Idle);
    EXPECT_EQ(FramesOf(Out("e.mp3")), 22050);
    EXPECT_TRUE(QDir(Path("out")).entryList({"*.part"}).isEmpty());
    EXPECT_EQ(host_.log.mid(host_.log.size() - 4),
              QStringList({"row 1: " + rows[1].timeText, "folder: " + Path("out"),
                           "header: Time:", "progress: "}));

    host_.duringPump = nullptr;
    engine_.JoinFilesTo({rows[0]}, Out("again.mp3"));
    EXPECT_EQ(FramesOf(Out("again.mp3")), 22050);
}

// A file-size limit stands in for a disk that fills up while the second row is written.
TEST_F(JoinEngineTest, ADiskThatFillsEndsTheJoinOnceWithWhatReachedIt) {
    const std::vector<JoinRow> rows = {Row("a", Format::Wav, 22050, 1, 4),
                                       Row("b", Format::Wav, 22050, 1, 30),
                                       Row("c", Format::Wav, 22050, 1, 4)};
    // One stream, whose every block reaches the disk at once: encoders in parallel hold
    // segments of sound, and the full disk would show rows later.
    settings_.WriteString("mp3", "threads", "1");
    QDir().mkpath(Path("out"));
    int thrown = 0;
    {
        const FileSizeLimit limit(150000);
        try {
            engine_.JoinFilesTo(rows, Out("full.mp3"));
        } catch (const SonvaraError& e) {
            ++thrown;
            EXPECT_TRUE(e.message().contains(Out("full.mp3"))) << e.message().toStdString();
        }
    }
    EXPECT_EQ(thrown, 1);
    EXPECT_TRUE(host_.log.filter("message: ").isEmpty()) << host_.log.join('\n').toStdString();
    EXPECT_EQ(engine_.State(), JoinState::Idle);
    EXPECT_TRUE(QDir(Path("out")).entryList({"*.part"}).isEmpty());
    EXPECT_LE(QFileInfo(Out("full.mp3")).size(), 150000);
    const int64_t kept = FramesOf(Out("full.mp3"));
    EXPECT_GT(kept, 4 * 22050);
    EXPECT_LT(kept, 34 * 22050);
    EXPECT_TRUE(host_.log.filter("row 2: ").isEmpty());

    engine_.JoinFilesTo({rows[0], rows[2]}, Out("next.mp3"));
    EXPECT_EQ(FramesOf(Out("next.mp3")), 8 * 22050);
    EXPECT_EQ(engine_.State(), JoinState::Idle);
}

// Inputs that open but hold no sound make no file: an MP3 of no frames opens nowhere.
TEST_F(JoinEngineTest, AJoinOfNoSoundWritesNothing) {
    JoinRow empty = Row("e", Format::Wav, 22050, 1, 0);
    QDir().mkpath(Path("out"));
    QFile old(Out("s.mp3"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();
    try {
        engine_.JoinFilesTo({empty, empty}, Out("s.mp3"));
        ADD_FAILURE() << "no failure";
    } catch (const SonvaraError& e) {
        EXPECT_EQ(e.message(), "There is no sound in the files to join; \"" + Out("s.mp3") +
                                   "\" was not written.");
    }
    EXPECT_EQ(Contents(Out("s.mp3")), "old");
    EXPECT_EQ(QDir(Path("out")).entryList(QDir::Files), QStringList{"s.mp3"});
    EXPECT_EQ(engine_.State(), JoinState::Idle);
}

TEST_F(JoinEngineTest, RefusalsWriteNothing) {
    const std::vector<JoinRow> rows = {Row("a", Format::Wav, 22050, 1, 1),
                                       Row("c", Format::Mp3, 22050, 1, 1)};
    const QByteArray listedMp3 = Contents(rows[1].path);
    host_.answer = Out("x.mp3");
    engine_.JoinFiles({});
    for (bool* busy : {&state_.playing, &state_.recording}) {
        *busy = true;
        engine_.JoinFiles(rows);
        *busy = false;
    }
    host_.answer.clear();  // cancelled
    engine_.JoinFiles(rows);
    host_.answer = Path("c.wav");  // written as c.mp3, the listed file
    engine_.JoinFiles(rows);
    settings_.WriteString("mp3", "frequency", "0");  // 6000 Hz
    host_.answer = Out("x.mp3");
    engine_.JoinFiles(rows);

    const QString dialog = "dialog: " + Path("out");
    ASSERT_EQ(host_.log.size(), 8) << host_.log.join('\n').toStdString();
    EXPECT_EQ(host_.log.mid(0, 5),
              QStringList({"message: Please add file!", "message: Please stop playing first.",
                           "message: Please stop recording first.", dialog, dialog}));
    EXPECT_TRUE(host_.log[5].contains(rows[1].path)) << host_.log[5].toStdString();
    EXPECT_EQ(host_.log.mid(6),
              QStringList({dialog, "message: This MP3 format is not supported."}));
    EXPECT_EQ(Contents(rows[1].path), listedMp3);
    EXPECT_TRUE(QDir(Path("out")).exists());
    EXPECT_TRUE(QDir(Path("out")).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(engine_.State(), JoinState::Idle);
}

}  // namespace
