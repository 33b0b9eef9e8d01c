#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "support/TestAudio.h"
#include "support/Wait.h"

// The folder scripts/hostile-files makes, through sonvara-cli info, tag and join.
namespace {

namespace fs = std::filesystem;

struct Outcome {
    bool finished = false;  // within the limit: no hang
    bool crashed = false;
    int status = -1;
    QString out;
    QString err;
};

// A command under a limit, through bash so that file names go as bytes, not as UTF-8: script
// gets args as $1, $2, ... and the tool as $CLI.
Outcome RunCli(const QString& folder, const QString& script, const QStringList& args = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", folder + "/../config");
    env.insert("CLI", QStringLiteral(SONVARA_CLI));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder);
    process.start("bash", QStringList{"-c", script, "bash"} + args);
    Outcome outcome;
    outcome.finished = process.waitForFinished(60000);
    if (!outcome.finished)
        StopProcess(process, Ending::Crash);
    outcome.crashed = process.exitStatus() == QProcess::CrashExit;
    outcome.status = process.exitCode();
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

// Every entry's bytes (regular files) and change time, by raw name: what a read must not
// touch. Links and pipes are not followed.
std::map<fs::path, std::string> Snapshot(const QString& folder) {
    std::map<fs::path, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(QFile::encodeName(folder).data())) {
        const fs::file_status status = entry.symlink_status();
        std::string facts;
        if (fs::is_symlink(status)) {
            facts = fs::read_symlink(entry.path()).string();
        } else {
            facts = std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count());
        }
        if (fs::is_regular_file(status)) {
            std::ifstream in(entry.path(), std::ios::binary);
            facts.append(std::istreambuf_iterator<char>(in), {});
        }
        entries[entry.path()] = facts;
    }
    return entries;
}

class HostileInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        QProcess script;
        script.start(QStringLiteral(SONVARA_HOSTILE_FILES), {dir_->path()});
        ASSERT_TRUE(script.waitForFinished(60000) && script.exitCode() == 0)
            << script.readAllStandardError().toStdString();
        QDir(dir_->path()).mkdir("out");
    }
    static void TearDownTestSuite() {
        // By bytes: a name that is not UTF-8 is beyond QDir.
        fs::remove_all(QFile::encodeName(dir_->path()).data());
        delete dir_;
    }

    static QString Folder(const QString& name) { return dir_->filePath(name); }
    static QStringList Entries(const QString& name) {
        return QDir(Folder(name)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    }

    static QTemporaryDir* dir_;
};
QTemporaryDir* HostileInput::dir_ = nullptr;

TEST_F(HostileInput, EveryCommandRefusesEachFalseFileByNameAndChangesNothing) {
    const QString folder = Folder("refused");
    const auto before = Snapshot(folder);
    ASSERT_GE(Entries("refused").size(), 20u);
    for (const QString& name : Entries("refused")) {
        for (const QString& command : {QString("info"), QString("tag"), QString("tag --title T"),
                                       QString("join -o ../out/x.mp3")}) {
            const QString path = folder + "/" + name;
            const Outcome result = RunCli(folder, "exec \"$CLI\" " + command + " \"$1\"", {path});
            const std::string what = (command + " " + name).toStdString();
            EXPECT_TRUE(result.finished) << what << " hangs";
            EXPECT_FALSE(result.crashed) << what;
            EXPECT_EQ(result.status, 1) << what;
            EXPECT_EQ(result.err.count("sonvara-cli: "), 1)
                << what << ": " << result.err.toStdString();
            EXPECT_TRUE(result.err.contains('"' + path + '"'))
                << what << ": " << result.err.toStdString();
        }
    }
    EXPECT_TRUE(Snapshot(folder) == before);
    EXPECT_FALSE(QFileInfo::exists(dir_->filePath("out/x.mp3")));
}

// The number after "Samples:" in info's listing of one file.
int64_t SamplesShown(const QString& listing) {
    const auto match = QRegularExpression("Samples: +(\\d+)").match(listing);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

// Cut or lying headers: the sound that is there is read, all of it and no more.
TEST_F(HostileInput, DamagedFilesGiveTheSoundTheyHoldAndNoMore) {
    const QString folder = Folder("damaged");
    const auto before = Snapshot(folder);
    const std::map<QString, int64_t> held = {{"wav-cut.wav", (20000 - 44) / 2},
                                             {"wav-4-gb-data-chunk.wav", 500}};
    for (const QString& name : Entries("damaged")) {
        const std::string what = name.toStdString();
        const Outcome info = RunCli(folder, "exec \"$CLI\" info \"$1\"", {name});
        ASSERT_EQ(info.status, 0) << what << ": " << info.err.toStdString();
        const int64_t samples = SamplesShown(info.out);
        EXPECT_GT(samples, 0) << what;
        EXPECT_LE(samples, 2 * 22050 + 1152) << what;  // the tone lasts two seconds
        if (held.count(name)) {
            EXPECT_EQ(samples, held.at(name)) << what;
        }

        const Outcome join = RunCli(
            folder, "exec \"$CLI\" join --frequency 22050 --channels 1 -o ../out/d.mp3 \"$1\"",
            {name});
        ASSERT_EQ(join.status, 0) << what << ": " << join.err.toStdString();
        const testaudio::Decoded joined = testaudio::DecodeFile(dir_->filePath("out/d.mp3"));
        EXPECT_EQ(joined.announced, samples) << what;
        EXPECT_EQ(testaudio::FrameCount(joined.samples, 1), samples) << what;
    }
    EXPECT_TRUE(Snapshot(folder) == before);

    // A tag written into a file whose chunks run past its end could cost it the rest.
    const Outcome tag = RunCli(folder, "exec \"$CLI\" tag --title T wav-cut.wav");
    EXPECT_EQ(tag.status, 1);
    EXPECT_TRUE(tag.err.contains("\"wav-cut.wav\": its layout is damaged"))
        << tag.err.toStdString();
    EXPECT_TRUE(Snapshot(folder) == before);
}

TEST_F(HostileInput, FilesWithOddNamesWorkLikeAnyOther) {
    const QString folder = Folder("odd-names");
    const auto before = Snapshot(folder);
    const QString latin1 = QString("caf") + QChar(0xFFFD) + ".mp3";  // as a terminal shows it
    const QStringList shown = {"line\nbreak.wav", latin1, "it's \"quoted\" & spaced.mp3",
                               QString::fromUtf8("Ĉu ŝi.wav")};

    const Outcome info = RunCli(folder, "exec \"$CLI\" info *");
    ASSERT_EQ(info.status, 0) << info.err.toStdString();
    for (const QString& name : shown)
        EXPECT_TRUE(info.out.contains(name + "\n  Frequency:     22050 Hz")) << name.toStdString();

    const Outcome join = RunCli(folder, "exec \"$CLI\" join --frequency 22050 -o ../out/odd.mp3 *");
    ASSERT_EQ(join.status, 0) << join.err.toStdString();
    const testaudio::Decoded joined = testaudio::DecodeFile(dir_->filePath("out/odd.mp3"));
    EXPECT_NEAR(double(joined.announced), 4 * 2 * 22050, 2 * 1152);
    EXPECT_TRUE(Snapshot(folder) == before);

    const Outcome tag = RunCli(folder, "exec \"$CLI\" tag --title Same *");
    ASSERT_EQ(tag.status, 0) << tag.err.toStdString();
    const Outcome tags = RunCli(folder, "exec \"$CLI\" tag *");
    EXPECT_EQ(tags.out.count("Title:         Same\n"), 4) << tags.out.toStdString();
    EXPECT_TRUE(tags.out.contains(latin1 + "\n  Title:         Same\n")) << tags.out.toStdString();
    // Each file took its own new tag: no copy was left, and none went in under another name.
    EXPECT_EQ(Snapshot(folder).size(), 4u);
}

}  // namespace
