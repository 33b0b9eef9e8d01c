#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

#include "components/FfmpegAudioReader.h"
#include "components/SoundLevel.h"
#include "components/TagLibAudioInformation2.h"
#include "support/PrivatePulseServer.h"
#include "support/TestAudio.h"

namespace {

using testaudio::Format;

struct CliResult {
    int status;
    QString out;
    QString err;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString Path(const QString& name) const { return dir_.filePath(name); }
    // A join's temporary file, whatever its unique name, once it is there.
    QStringList Partials() const { return QDir(dir_.path()).entryList({"*.part"}); }

    // launcher, when given, runs the tool (e.g. prlimit with its options).
    CliResult Run(const QStringList& args, const QStringList& launcher = {}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Path("config"));
        process.setProcessEnvironment(env);
        if (launcher.isEmpty())
            process.start(QStringLiteral(SONVARA_CLI), args);
        else
            process.start(launcher[0], launcher.mid(1) + QStringList{SONVARA_CLI} + args);
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // The tool running on its own, for a test that cuts it off.
    void StartInBackground(QProcess& process, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Path("config"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(SONVARA_CLI), args);
        ASSERT_TRUE(process.waitForStarted());
    }

    void WriteKelvoIni(const QByteArray& text) {
        QDir().mkpath(Path("config/Sonvara"));
        QFile file(Path("config/Sonvara/Kelvo.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    // The number of a line whose name holds `name`, as `devices` lists it; empty when missing.
    QString SineLine() { return LineNamed("Sine"); }
    QString LineNamed(const QString& name) {
        const CliResult devices = Run({"devices"});
        EXPECT_EQ(devices.status, 0) << devices.err.toStdString();
        for (const QString& line : devices.out.split('\n')) {
            if (line.contains(name, Qt::CaseInsensitive))
                return line.mid(2).trimmed().section(' ', 0, 0);
        }
        ADD_FAILURE() << devices.out.toStdString();
        return {};
    }

    QByteArray Bytes(const QString& name) const {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TagLibAudioInformation2 ReadTag(const QString& name) const {
        TagLibAudioInformation2 info;
        info.ReadFromFile(Path(name));
        return info;
    }

    QTemporaryDir dir_;
};

// The cases that record, from a sound server of the test's own.
class CliLive : public Cli {
protected:
    void SetUp() override {
        Cli::SetUp();
        ASSERT_TRUE(server_.IsRunning()) << server_.ErrorText().toStdString();
    }

    PrivatePulseServer server_;
};

TEST_F(Cli, JoinsMixedFormatsToTheSummedLengthWithTheStoredSettings) {
    testaudio::WriteFile(Path("a.wav"), Format::Wav, testaudio::Tone(22050, 1, 22050, 440), 22050,
                         1);
    testaudio::WriteFile(Path("b.flac"), Format::Flac, testaudio::Tone(48000, 2, 24000, 440), 48000,
                         2);
    // Stored: 32000 Hz, mono.
    WriteKelvoIni("[mp3]\r\nfrequency=7\r\nchannel=0\r\nenable vbr=0\r\n");

    const CliResult result = Run({"join", "-o", Path("out.mp3"), Path("a.wav"), Path("b.flac")});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    FfmpegAudioReader out(Path("out.mp3"));
    EXPECT_EQ(out.Frequency(), 32000);
    EXPECT_EQ(out.Channels(), 1);
    EXPECT_EQ(out.Samples(), 32000 + 16000);
    EXPECT_TRUE(Partials().isEmpty()) << Partials().join(' ').toStdString();

    ASSERT_EQ(Run({"join", "-o", Path("over.mp3"), "--frequency", "44100", "--channels", "2",
                   Path("a.wav")})
                  .status,
              0);
    FfmpegAudioReader over(Path("over.mp3"));
    EXPECT_EQ(over.Frequency(), 44100);
    EXPECT_EQ(over.Channels(), 2);
    EXPECT_EQ(over.Samples(), 44100);
}

// A WMA file can announce less than it decodes to: the join takes all of the sound. Longer
// than the join reads at once, so that a join stopping at the announced length shows.
TEST_F(Cli, JoinTakesEverythingAnInputDecodesTo) {
    testaudio::WriteFile(Path("a.wma"), Format::Wma, testaudio::Tone(22050, 1, 10 * 22050, 440),
                         22050, 1);
    testaudio::HalveAsfDuration(Path("a.wma"));
    const testaudio::Decoded input = testaudio::DecodeFile(Path("a.wma"));
    const int64_t decoded = testaudio::FrameCount(input.samples, 1);
    ASSERT_LT(input.announced, decoded * 2 / 3);

    const CliResult result = Run(
        {"join", "-o", Path("out.mp3"), "--frequency", "22050", "--channels", "1", Path("a.wma")});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(FfmpegAudioReader(Path("out.mp3")).Samples(), decoded);
}

// Ctrl-C stops the join at its next block and leaves a whole file, also when the encoders
// run in parallel and segments are stitched.
TEST_F(Cli, AnInterruptedJoinLeavesAFinishedFileOfWhatWasJoined) {
    WriteKelvoIni("[mp3]\nthreads=2\n");
    testaudio::WriteFile(Path("a.wav"), Format::Wav, testaudio::Tone(22050, 1, 20 * 22050, 440),
                         22050, 1);
    QStringList args{"join", "-o", Path("out.mp3"), "--frequency", "22050", "--channels", "1"};
    for (int i = 0; i < 40; ++i)
        args << Path("a.wav");
    QProcess process;
    StartInBackground(process, args);
    ASSERT_TRUE(WaitFor(
        [&] { return !Partials().isEmpty() && QFileInfo(Path(Partials()[0])).size() > 20000; },
        60000));
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(30000));

    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains("Joining 1/40")) << err.toStdString();
    EXPECT_TRUE(err.contains("Stopped")) << err.toStdString();
    EXPECT_TRUE(Partials().isEmpty()) << Partials().join(' ').toStdString();
    const testaudio::Decoded kept = testaudio::DecodeFile(Path("out.mp3"));
    EXPECT_GT(kept.announced, 0);
    EXPECT_LT(kept.announced, 40 * 20 * 22050);
    EXPECT_EQ(testaudio::FrameCount(kept.samples, 1), kept.announced);
}

TEST_F(Cli, BadInputGivesOneLineNamingTheFileAndLeavesTheOutputAlone) {
    QFile existing(Path("out.mp3"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep me");
    existing.close();
    QFile text(Path("notes.mp3"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are not sounds\n");
    text.close();
    testaudio::WriteFile(Path("a.wav"), Format::Wav, testaudio::Tone(44100, 2, 4410, 440), 44100,
                         2);

    for (const QString& bad : {Path("missing.wav"), Path("notes.mp3")}) {
        const CliResult result = Run({"join", "-o", Path("out.mp3"), Path("a.wav"), bad});
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(result.err.contains(bad)) << result.err.toStdString();
        EXPECT_EQ(result.err.count('\n'), 1) << result.err.toStdString();
    }
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), "keep me");
    EXPECT_TRUE(Partials().isEmpty()) << Partials().join(' ').toStdString();

    const CliResult refused = Run({"join", "-o", Path("x.mp3"), "--frequency", "48000", "--bitrate",
                                   "8", "--cbr", Path("a.wav")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains("not supported")) << refused.err.toStdString();
    // Between two steps of the table, where LAME would quietly take the nearest one.
    const CliResult between = Run({"join", "-o", Path("x.mp3"), "--bitrate", "100", Path("a.wav")});
    EXPECT_EQ(between.status, 1);
    EXPECT_TRUE(between.err.contains("100 kbit/s")) << between.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("x.mp3")));
    EXPECT_EQ(Run({"join", "-o", Path("x.mp3"), "--bitrate", "fast", Path("a.wav")}).status, 1);
    WriteKelvoIni("[mp3]\nfrequency=1\nbitrate=16\nchannel=0\nenable vbr=1\nvbr bitrate=7\n");
    EXPECT_EQ(Run({"join", "-o", Path("x.mp3"), Path("a.wav")}).status, 1);  // as record says
    EXPECT_EQ(Run({"frobnicate"}).status, 1);

    const CliResult info = Run({"info", Path("a.wav"), Path("missing.wav")});
    EXPECT_EQ(info.status, 1);
    EXPECT_TRUE(info.out.contains("44100 Hz"));
    EXPECT_TRUE(info.err.contains(Path("missing.wav")));
}

// Links planted at the names a join or a recording writes: nothing goes through them.
TEST_F(CliLive, NoJoinOrRecordingWritesThroughALinkItDidNotMake) {
    testaudio::WriteFile(Path("a.wav"), Format::Wav, testaudio::Tone(8000, 1, 800, 440), 8000, 1);
    const QByteArray wav = Bytes("a.wav");
    ASSERT_TRUE(QFile(Path("j.mp3")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::setPermissions(Path("j.mp3"), QFile::ReadOwner | QFile::WriteOwner));
    for (const auto& [link, args, written] :
         {std::tuple{"j.mp3.part", QStringList{"join", "-o", Path("j.mp3"), Path("a.wav")},
                     "j.mp3"},
          {"r.mp3", QStringList{"record", "-o", Path("r.mp3"), "--seconds", "0.2"}, "r-2.mp3"}}) {
        ASSERT_TRUE(QFile::link(Path("a.wav"), Path(link)));
        EXPECT_EQ(Run(args).status, 0);
        EXPECT_TRUE(Bytes("a.wav") == wav && !QFileInfo(Path(written)).isSymLink()) << written;
    }
    EXPECT_FALSE(QFile::permissions(Path("j.mp3")) & QFile::ReadOther);  // kept when replaced
}

TEST_F(Cli, TagPrintsOrChangesTheGivenFieldsAndKeepsTheOthers) {
    testaudio::WriteFile(Path("a.mp3"), Format::Mp3, testaudio::Tone(22050, 1, 11025, 440), 22050,
                         1);
    testaudio::WriteFile(Path("b.ogg"), Format::OggVorbis, testaudio::Tone(22050, 1, 11025, 440),
                         22050, 1);
    const CliResult both = Run({"tag", Path("a.mp3"), "--title", "Ĉu ŝi", "--year", "2020",
                                "--genre", "hard rock", Path("b.ogg")});
    ASSERT_EQ(both.status, 0) << both.err.toStdString();
    ASSERT_EQ(Run({"tag", "--artist", "Anna", "--track", "4", Path("a.mp3")}).status, 0);

    const CliResult shown = Run({"tag", Path("a.mp3"), Path("b.ogg")});
    ASSERT_EQ(shown.status, 0) << shown.err.toStdString();
    const QStringList blocks = shown.out.split(Path("b.ogg") + "\n");
    ASSERT_EQ(blocks.size(), 2) << shown.out.toStdString();
    for (const char* line :
         {"Title:         Ĉu ŝi", "Year:          2020", "Genre:         Hard Rock"})
        EXPECT_TRUE(blocks[0].contains(QString::fromUtf8(line)) && blocks[1].contains(line))
            << line << "\n"
            << shown.out.toStdString();
    EXPECT_TRUE(
        blocks[0].contains("Artist:        Anna\n  Album:         \n  Year:          2020\n"
                           "  Track:         4\n"))
        << shown.out.toStdString();
    EXPECT_TRUE(blocks[1].contains("Track:         0")) << shown.out.toStdString();

    // Numbers and names of the list, and "" for none.
    ASSERT_EQ(Run({"tag", Path("a.mp3"), "--genre", "17"}).status, 0);
    EXPECT_EQ(ReadTag("a.mp3").infoGenreText(), "Rock");
    ASSERT_EQ(Run({"tag", Path("a.mp3"), "--genre", ""}).status, 0);
    EXPECT_EQ(ReadTag("a.mp3").infoGenreText(), "");
    EXPECT_EQ(ReadTag("a.mp3").infoTitle(), "Ĉu ŝi");
}

TEST_F(Cli, TagRefusesBadValuesAndLeavesEveryFileAlone) {
    testaudio::WriteFile(Path("a.mp3"), Format::Mp3, testaudio::Tone(22050, 1, 11025, 440), 22050,
                         1);
    testaudio::WriteFile(Path("c.raw"), Format::Raw, testaudio::Tone(44100, 2, 4410, 440), 44100,
                         2);
    const QByteArray before = Bytes("a.mp3");
    const QList<QStringList> refused = {{"--year", "20x0"}, {"--track", "-1"},
                                        {"--genre", "148"}, {"--genre", "Polka Punk"},
                                        {"--title"},        {"--colour", "red"}};
    for (const QStringList& options : refused) {
        const CliResult result = Run(QStringList{"tag", Path("a.mp3")} + options);
        EXPECT_EQ(result.status, 1) << options.join(' ').toStdString();
        EXPECT_EQ(result.err.count('\n'), 1) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(options[0])) << result.err.toStdString();
    }
    EXPECT_EQ(Bytes("a.mp3"), before);

    // A file that cannot take a tag is named; the others are still tagged.
    const CliResult raw = Run({"tag", Path("c.raw"), Path("a.mp3"), "--title", "Kept"});
    EXPECT_EQ(raw.status, 1);
    EXPECT_TRUE(raw.err.contains(Path("c.raw")) && raw.err.contains("RAW"))
        << raw.err.toStdString();
    EXPECT_EQ(ReadTag("a.mp3").infoTitle(), "Kept");
}

// A size limit stands in for a disk too full for the copy the tag is written into.
TEST_F(Cli, ATagThatCannotBeWrittenWholeLeavesTheFileAsItWas) {
    testaudio::WriteFile(Path("long.wav"), Format::Wav, testaudio::Tone(44100, 2, 44100, 440),
                         44100, 2);
    const QByteArray before = Bytes("long.wav");
    const CliResult result =
        Run({"tag", Path("long.wav"), "--title", "Too big"}, {"prlimit", "--fsize=60000"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains(Path("long.wav"))) << result.err.toStdString();
    EXPECT_EQ(Bytes("long.wav"), before);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"long.wav"});
}

// TagLib tells no write error. A size limit that lets the copy be made but not grow by the new
// tag stands in for a nearly full disk: a tag is refused, a join keeps its sound without chapters.
TEST_F(Cli, ATagOrChaptersThatFillTheDiskLeaveTheSoundWhole) {
    testaudio::WriteFile(Path("a.mp3"), Format::Mp3, testaudio::Tone(22050, 1, 22050, 440), 22050,
                         1);
    const QByteArray before = Bytes("a.mp3");
    const QString room = QStringLiteral("--fsize=%1").arg(before.size() + 300);
    const CliResult tag =
        Run({"tag", Path("a.mp3"), "--title", QString(400, u'T')}, {"prlimit", room});
    EXPECT_EQ(tag.status, 1);
    EXPECT_TRUE(tag.err.contains(Path("a.mp3")) && tag.err.contains("left as it was"))
        << tag.err.toStdString();
    EXPECT_EQ(Bytes("a.mp3"), before);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.mp3"});

    const QStringList join{"join", "-o", Path("j.mp3"), Path("a.mp3"), Path("a.mp3")};
    ASSERT_EQ(Run(join).status, 0);
    const int64_t frames = FfmpegAudioReader(Path("j.mp3")).Samples();
    const QString full = QStringLiteral("--fsize=%1").arg(Bytes("j.mp3").size() - 1);
    const CliResult joined = Run(join, {"prlimit", full});
    EXPECT_EQ(joined.status, 0) << joined.err.toStdString();
    EXPECT_TRUE(joined.err.contains("warning") && joined.err.contains("without chapters"))
        << joined.err.toStdString();
    EXPECT_EQ(FfmpegAudioReader(Path("j.mp3")).Samples(), frames);
}

TEST_F(CliLive, EveryRecordingGetsTheDefaultTagUnlessItsYearIsNoNumber) {
    WriteKelvoIni(
        "[mp3]\nfrequency=5\nchannel=0\n[info]\ntitle=Night news\narist=Anna\n"
        "genre=17\nyear=2024\nTrack=0\n");
    const CliResult tagged = Run({"record", "-o", Path("take.mp3"), "--seconds", "0.5"});
    ASSERT_EQ(tagged.status, 0) << tagged.err.toStdString();
    const TagLibAudioInformation2 take = ReadTag("take.mp3");
    EXPECT_EQ(take.infoTitle(), "Night news");
    EXPECT_EQ(take.infoArtist(), "Anna");
    EXPECT_EQ(take.infoGenreText(), "Rock");
    EXPECT_EQ(take.infoYearValue(), 2024);

    WriteKelvoIni("[mp3]\nfrequency=5\nchannel=0\n[info]\ntitle=Night news\nyear=\n");
    const CliResult untagged = Run({"record", "-o", Path("bare.mp3"), "--seconds", "0.5"});
    EXPECT_EQ(untagged.status, 0);
    EXPECT_TRUE(untagged.err.contains("sonvara-cli: Invalid Year Value") &&
                untagged.err.contains(Path("bare.mp3") + " is left untagged"))
        << untagged.err.toStdString();
    EXPECT_EQ(ReadTag("bare.mp3").infoTitle(), "");
    EXPECT_EQ(testaudio::DecodeFile(Path("bare.mp3")).announced, 11025);
}

// Tone, silence, tone, silence, tone, played in real time into the null sink and recorded from
// its monitor by two runs at once: silences left out of one file, and a file per passage. A
// click in a silence, shorter than the hold, starts nothing; each file holds the pre-roll
// before its tone's onset and a half-second tail.
TEST_F(CliLive, SoundActivationRecordsThePassagesOfLiveSound) {
    const QString monitor = LineNamed("Monitor");
    ASSERT_FALSE(monitor.isEmpty());
    constexpr int kRate = 22050;
    auto frames = [](double seconds) { return static_cast<int64_t>(seconds * kRate); };
    const SampleArray tone = testaudio::Tone(kRate, 1, frames(1), 440);
    SampleArray pattern;
    for (const SampleArray& part :
         {testaudio::Silence(1, frames(2)), tone, testaudio::Silence(1, frames(5)),
          testaudio::Tone(kRate, 1, frames(0.1), 440, 1.0), testaudio::Silence(1, frames(2.9)),
          tone, testaudio::Silence(1, frames(8)), tone, testaudio::Silence(1, frames(4))})
        pattern.insert(pattern.end(), part.begin(), part.end());
    testaudio::WriteFile(Path("pattern.wav"), Format::Wav, pattern, kRate, 1);
    WriteKelvoIni("[mp3]\nfrequency=5\nchannel=0\n");

    QProcess one, each;
    const QStringList common{"--activate", "-30", "--silence", "3", "--line", monitor};
    StartInBackground(one, QStringList{"record", "-o", Path("one.mp3")} + common);
    StartInBackground(each,
                      QStringList{"record", "-o", Path("p.mp3"), "--split-at-silence"} + common);
    // Armed, nothing is on disk yet: both are listening once the server lists their streams.
    ASSERT_TRUE(WaitFor(
        [&] {
            return server_.Pactl({"list", "short", "source-outputs"}).count("native") >= 2;
        },
        10000));
    EXPECT_FALSE(QFile::exists(Path("one.mp3")) || QFile::exists(Path("p.mp3")));
    ASSERT_EQ(
        QProcess::execute("paplay", {"-d", PrivatePulseServer::NullSink(), Path("pattern.wav")}),
        0);
    for (QProcess* run : {&one, &each}) {
        ::kill(static_cast<pid_t>(run->processId()), SIGINT);
        ASSERT_TRUE(run->waitForFinished(10000));
        EXPECT_EQ(run->exitCode(), 0);
    }
    const QString told = QString::fromUtf8(each.readAllStandardError());
    EXPECT_EQ(told.count("Sound: passage started in "), 3) << told.toStdString();

    const QStringList parts = QDir(dir_.path()).entryList({"p*.mp3"}, QDir::Files, QDir::Name);
    EXPECT_EQ(parts, QStringList({"p-2.mp3", "p-3.mp3", "p.mp3"}));
    for (const QString& part : parts) {
        const testaudio::Decoded passage = testaudio::DecodeFile(Path(part));
        EXPECT_NEAR(passage.announced, frames(2), frames(0.03)) << part.toStdString();
        EXPECT_LT(RmsDbfs(passage.samples.data(), frames(0.45)), -60) << part.toStdString();
        EXPECT_GT(RmsDbfs(passage.samples.data() + frames(0.55), frames(0.9)), -20);
    }
    EXPECT_NEAR(testaudio::DecodeFile(Path("one.mp3")).announced, frames(6), frames(0.2));
    EXPECT_EQ(Run({"record", "--silence", "3"}).status, 1);  // no activation to change
}

TEST_F(CliLive, RecordsExactSecondsFromTheChosenLine) {
    const QString sineLine = SineLine();
    ASSERT_FALSE(sineLine.isEmpty());

    WriteKelvoIni("[mp3]\nfrequency=5\nchannel=0\nenable vbr=0\nbitrate=7\n");
    const CliResult recorded =
        Run({"record", "-o", Path("take.mp3"), "--seconds", "1.5", "--line", sineLine});
    ASSERT_EQ(recorded.status, 0) << recorded.err.toStdString();
    const testaudio::Decoded take = testaudio::DecodeFile(Path("take.mp3"));
    EXPECT_EQ(take.rate, 22050);
    EXPECT_EQ(take.channels, 1);
    EXPECT_EQ(take.announced, 33075);
    EXPECT_NEAR(testaudio::DominantFrequency(take.samples, 1, 0, 22050), 440, 2);

    EXPECT_EQ(Run({"record", "-o", Path("x.mp3"), "--line", "99", "--seconds", "1"}).status, 1);
    EXPECT_FALSE(QFile::exists(Path("x.mp3")));
}

TEST_F(CliLive, RecordingIsNamedPlacedAndSplitAsTheSettingsSay) {
    const QString sineLine = SineLine();
    ASSERT_FALSE(sineLine.isEmpty());
    WriteKelvoIni("[output]\ndir=" + Path("takes").toUtf8() +
                  "\nout_name=Take\n[file]\nenlength=1\nrbtime=1\ntimet=1\nlimit_n=1\n"
                  "[mp3]\nfrequency=5\nchannel=0\n");
    const CliResult recorded = Run({"record", "--seconds", "2.5", "--line", sineLine});
    ASSERT_EQ(recorded.status, 0) << recorded.err.toStdString();
    // The sine source hands its sound over in bursts, so how much each part holds varies; the
    // parts are numbered in order and hold the whole length between them.
    const QStringList parts = QDir(Path("takes")).entryList({"*.mp3"}, QDir::Files, QDir::Time);
    ASSERT_GE(parts.size(), 2) << recorded.err.toStdString();
    int64_t total = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString name = i == 0 ? "Take.mp3" : QStringLiteral("Take-%1.mp3").arg(i + 1);
        const QString file = Path("takes/" + name);
        EXPECT_TRUE(recorded.err.contains("to " + file)) << recorded.err.toStdString();
        total += testaudio::DecodeFile(file).announced;
    }
    EXPECT_EQ(total, 55125);
}

TEST_F(CliLive, ARecordingCutOffByTheServerLeavesAPlayableFile) {
    QProcess process;
    StartInBackground(process, {"record", "-o", Path("cut.mp3")});
    // Wait until sound has reached the file, then take the server away.
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(Path("cut.mp3")).size() > 4000; }, 10000));
    server_.Kill();
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains("sound server")) << err.toStdString();
    const testaudio::Decoded cut = testaudio::DecodeFile(Path("cut.mp3"));
    EXPECT_GT(cut.samples.size(), 0u);
    EXPECT_EQ(static_cast<int64_t>(cut.samples.size()) / cut.channels, cut.announced);
}

// A kill leaves the file as it stood after its last flushed block: a repair keeps all of it but
// a cut frame, and its length header then tells exactly what decodes.
TEST_F(CliLive, ARecordingKilledMidWayIsMarkedAndRepairedWhole) {
    QProcess process;
    StartInBackground(process, {"record", "-o", Path("killed.mp3")});
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(Path("killed.mp3")).size() > 30000; }, 15000));
    process.kill();
    ASSERT_TRUE(process.waitForFinished(5000));
    const qint64 sizeAtKill = QFileInfo(Path("killed.mp3")).size();
    const QStringList markers =
        QDir(Path("config/Sonvara")).entryList({"recording-*.marker"}, QDir::Files);
    ASSERT_EQ(markers.size(), 1);
    QFile marker(QDir(Path("config/Sonvara")).filePath(markers[0]));
    ASSERT_TRUE(marker.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(marker.readLine()).trimmed(), Path("killed.mp3"));

    WriteKelvoIni("[info]\ntitle=Night watch\n");
    const CliResult repaired = Run({"repair", Path("killed.mp3")});
    EXPECT_EQ(repaired.status, 0) << repaired.err.toStdString();
    EXPECT_TRUE(repaired.out.startsWith("Repaired " + Path("killed.mp3")))
        << repaired.out.toStdString();
    EXPECT_GT(QFileInfo(Path("killed.mp3")).size(), sizeAtKill - 1441);  // at most a cut frame
    const testaudio::Decoded whole = testaudio::DecodeFile(Path("killed.mp3"));
    const int64_t decoded = static_cast<int64_t>(whole.samples.size()) / whole.channels;
    EXPECT_GT(decoded, 44100);
    EXPECT_LE(std::abs(decoded - whole.announced), 1152);
    EXPECT_TRUE(Run({"info", Path("killed.mp3")}).out.contains("Night watch"));

    const CliResult notMp3 = Run({"repair", Path("config/Sonvara/" + markers[0])});
    EXPECT_EQ(notMp3.status, 1);
    EXPECT_TRUE(notMp3.err.contains("Cannot repair")) << notMp3.err.toStdString();
}

// What the info frame says the file decodes to: its frames less the encoder delay and padding
// of its LAME tag.
int64_t StatedSamples(const QByteArray& mp3) {
    const qsizetype info = std::max(mp3.indexOf("Info"), mp3.indexOf("Xing"));
    const auto big = [&](int at, int bytes) {
        return mp3.mid(info + at, bytes).toHex().toLongLong(nullptr, 16);
    };
    return big(8, 4) * 1152 - (big(141, 3) >> 12) - (big(141, 3) & 0xFFF);
}

// A whole file stays byte for byte; a cut one keeps its tags in front and at the end, and then
// tells exactly how long it decodes.
TEST_F(Cli, RepairMendsOnlyCutFilesAndKeepsTheirOwnTags) {
    testaudio::WriteFile(Path("whole.mp3"), Format::Mp3, testaudio::Tone(44100, 2, 3 * 44100, 440),
                         44100, 2, {.title = "Front"});
    const QByteArray whole = Bytes("whole.mp3") + QByteArray("TAGMy Song").leftJustified(128, 0);
    for (const auto& [name, bytes] :
         {std::pair{"whole.mp3", whole},
          {"cut.mp3", whole.left(whole.size() / 2) + whole.right(128)}}) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    WriteKelvoIni("[info]\ntitle=Default\n");

    const CliResult result = Run({"repair", Path("whole.mp3"), Path("cut.mp3")});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.startsWith("Nothing to repair in " + Path("whole.mp3")))
        << result.out.toStdString();
    EXPECT_EQ(Bytes("whole.mp3"), whole);
    EXPECT_TRUE(Bytes("cut.mp3").endsWith(whole.right(128)));
    EXPECT_EQ(ReadTag("cut.mp3").infoTitle(), "Front");
    for (const char* name : {"whole.mp3", "cut.mp3"}) {
        const testaudio::Decoded decoded = testaudio::DecodeFile(Path(name));
        EXPECT_EQ(static_cast<int64_t>(decoded.samples.size()) / 2, StatedSamples(Bytes(name)))
            << name;
    }
}

// A size limit stands in for a disk that fills up during the recording.
TEST_F(CliLive, ARecordingThatFillsTheDiskEndsWithOneMessageAndAWholeFile) {
    const QString sineLine = SineLine();
    ASSERT_FALSE(sineLine.isEmpty());
    const CliResult recorded =
        Run({"record", "-o", Path("full.mp3"), "--seconds", "20", "--line", sineLine},
            {"prlimit", "--fsize=30000"});
    EXPECT_EQ(recorded.status, 1);
    EXPECT_EQ(recorded.err.count("sonvara-cli: "), 1) << recorded.err.toStdString();
    EXPECT_TRUE(recorded.err.contains("Cannot write \"" + Path("full.mp3")))
        << recorded.err.toStdString();
    const testaudio::Decoded kept = testaudio::DecodeFile(Path("full.mp3"));
    EXPECT_GT(kept.announced, 44100);
    EXPECT_EQ(static_cast<int64_t>(kept.samples.size()) / kept.channels, kept.announced);
}

TEST_F(Cli, AJoinThatFillsTheDiskEndsWithOneMessageAndAWholeFileAndTheNextOneWorks) {
    testaudio::WriteFile(Path("a.wav"), Format::Wav, testaudio::Tone(22050, 1, 30 * 22050, 440),
                         22050, 1);
    const QStringList join{"join",       "-o", Path("full.mp3"), "--frequency", "22050",
                           "--channels", "1",  Path("a.wav")};
    const CliResult full = Run(join, {"prlimit", "--fsize=100000"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err.count("sonvara-cli: "), 1) << full.err.toStdString();
    EXPECT_TRUE(full.err.contains("Cannot write \"" + Path("full.mp3"))) << full.err.toStdString();
    EXPECT_TRUE(Partials().isEmpty()) << Partials().join(' ').toStdString();
    const testaudio::Decoded kept = testaudio::DecodeFile(Path("full.mp3"));
    EXPECT_GT(kept.announced, 22050);
    EXPECT_LT(kept.announced, 30 * 22050);
    EXPECT_EQ(testaudio::FrameCount(kept.samples, 1), kept.announced);

    const CliResult next = Run(join);
    ASSERT_EQ(next.status, 0) << next.err.toStdString();
    EXPECT_EQ(FfmpegAudioReader(Path("full.mp3")).Samples(), 30 * 22050);
}

TEST_F(Cli, RecordingWithoutASoundServerSaysSo) {
    qputenv("PULSE_SERVER", QFile::encodeName("unix:" + Path("no-such-socket")));
    const CliResult result = Run({"record", "-o", Path("x.mp3"), "--seconds", "1"});
    qunsetenv("PULSE_SERVER");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.contains("No sound server")) << result.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("x.mp3")));
}

}  // namespace
