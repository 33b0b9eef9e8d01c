#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "components/SonvaraError.h"
#include "config/IniSettings.h"

namespace {

class IniSettingsTest : public ::testing::Test {
protected:
    void WriteFile(const QByteArray& bytes) const {
        QFile file(path_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray FileBytes() const {
        QFile file(path_);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList FilesInFolder() const {
        return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden);
    }

    QTemporaryDir dir_;
    QString path_ = dir_.filePath("Kelvo.ini");
    IniSettings ini_{path_};
};

class LocaleGuard {
public:
    explicit LocaleGuard(QLocale::Language language, QLocale::Territory territory) {
        QLocale::setDefault(QLocale(language, territory));
    }
    ~LocaleGuard() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

TEST_F(IniSettingsTest, ReadsTheFileTheWindowsVersionWrote) {
    WriteFile(
        "[mp3]\r\nfrequency=8\r\nenable vbr=1\r\n"
        "[autorec]\r\nbegintime1=8:00:00 AM\r\nendtime1=8:30:00 PM\r\ndate=19/05/2006\r\n"
        "[info]\r\ntitle=Caf\xe9 \x80 \x93x\x94\r\n");
    LocaleGuard us(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(ini_.ReadInteger("MP3", "Frequency", 0), 8);
    EXPECT_TRUE(ini_.ReadBool("mp3", "enable vbr", false));
    EXPECT_EQ(ini_.ReadTime("autorec", "begintime1", {}), QTime(8, 0));
    EXPECT_EQ(ini_.ReadTime("autorec", "endtime1", {}), QTime(20, 30));
    EXPECT_EQ(ini_.ReadDate("autorec", "date", {}), QDate(2006, 5, 19));
    // Not UTF-8, so Windows-1252.
    EXPECT_EQ(ini_.ReadString("info", "title", ""),
              QStringLiteral(u"Caf\u00e9 \u20ac \u201cx\u201d"));
}

// Read twice with the file at rest, so that what is kept between reads is used; then an editor
// rewrites it in place, same size, well within the second.
TEST_F(IniSettingsTest, SeesAnOutsideEditOfTheSameSizeAtTheNextRead) {
    WriteFile("[file]\nenlength=0\n");
    QThread::msleep(100);
    EXPECT_FALSE(ini_.ReadBool("file", "enlength", true));
    EXPECT_FALSE(ini_.ReadBool("file", "enlength", true));
    WriteFile("[file]\nenlength=1\n");
    EXPECT_TRUE(ini_.ReadBool("file", "enlength", false));
}

TEST_F(IniSettingsTest, MissingOrMalformedValuesGiveTheReadersDefault) {
    EXPECT_TRUE(ini_.ReadBool("mp3", "enable vbr", true));
    EXPECT_FALSE(ini_.ReadBool("mp3", "enable vbr", false));
    EXPECT_EQ(ini_.ReadString("output", "out_name", "EUT"), "EUT");
    EXPECT_FALSE(QFile::exists(path_)) << "reading must not create the file";

    WriteFile(
        "orphan=1\n  [ Mp3 ]  \n  Enable VBR  =  0  \n# bitrate=5\nnum=12abc\nbig=99999999999\n"
        "flag=yes\nb2=2\nbneg=-1\n[info]\ntitle= a = b \nt1=25:00:00\nd1=31/02/2006\n"
        "d2=2006-13-01\n");
    EXPECT_FALSE(ini_.ReadBool("mp3", "enable vbr", true));  // blanks around names and value
    EXPECT_EQ(ini_.ReadString("info", "title", ""), "a = b");
    EXPECT_EQ(ini_.ReadInteger("", "orphan", 7), 7) << "a key before any section is in none";
    EXPECT_EQ(ini_.ReadInteger("mp3", "bitrate", 7), 7) << "comment";
    EXPECT_EQ(ini_.ReadInteger("info", "num", 7), 7) << "wrong section";
    EXPECT_EQ(ini_.ReadInteger("mp3", "num", 7), 7);
    EXPECT_EQ(ini_.ReadInteger("mp3", "big", 7), 7);
    EXPECT_TRUE(ini_.ReadBool("mp3", "flag", true));
    EXPECT_FALSE(ini_.ReadBool("mp3", "flag", false));
    EXPECT_TRUE(ini_.ReadBool("mp3", "b2", false));
    EXPECT_TRUE(ini_.ReadBool("mp3", "bneg", false));
    EXPECT_EQ(ini_.ReadTime("info", "t1", QTime(1, 2)), QTime(1, 2));
    EXPECT_EQ(ini_.ReadDate("info", "d1", QDate(2001, 2, 3)), QDate(2001, 2, 3));
    EXPECT_EQ(ini_.ReadDate("info", "d2", QDate(2001, 2, 3)), QDate(2001, 2, 3));
}

TEST_F(IniSettingsTest, TimeAndDateForms) {
    WriteFile(
        "[t]\na=8:05\nb=12:00:00 AM\nc=12:30:00 pm\nfi=20.15.00\n"
        "iso=2006-05-19\nambiguous=5/6/2006\nmonthFirst=5/19/2006\nde=19.05.06\nold=1.2.95\n"
        "long=Friday, May 19, 2006\n");
    EXPECT_EQ(ini_.ReadTime("t", "a", {}), QTime(8, 5));
    EXPECT_EQ(ini_.ReadTime("t", "b", {}), QTime(0, 0));
    EXPECT_EQ(ini_.ReadTime("t", "c", {}), QTime(12, 30));
    EXPECT_EQ(ini_.ReadDate("t", "iso", {}), QDate(2006, 5, 19));
    {
        LocaleGuard us(QLocale::English, QLocale::UnitedStates);
        EXPECT_EQ(ini_.ReadDate("t", "ambiguous", {}), QDate(2006, 5, 6));
        EXPECT_EQ(ini_.ReadDate("t", "long", {}), QDate(2006, 5, 19));
    }
    {
        LocaleGuard gb(QLocale::English, QLocale::UnitedKingdom);
        EXPECT_EQ(ini_.ReadDate("t", "ambiguous", {}), QDate(2006, 6, 5));
        EXPECT_EQ(ini_.ReadDate("t", "monthFirst", {}), QDate(2006, 5, 19));
    }
    {
        LocaleGuard swedish(QLocale::Swedish, QLocale::Sweden);  // year first: day-first
        EXPECT_EQ(ini_.ReadDate("t", "ambiguous", {}), QDate(2006, 6, 5));
    }
    {
        LocaleGuard german(QLocale::German, QLocale::Germany);
        EXPECT_EQ(ini_.ReadDate("t", "de", {}), QDate(2006, 5, 19));
        EXPECT_EQ(ini_.ReadDate("t", "old", {}), QDate(1995, 2, 1));
    }
    {
        LocaleGuard finnish(QLocale::Finnish, QLocale::Finland);
        EXPECT_EQ(ini_.ReadTime("t", "fi", {}), QTime(20, 15));
    }

    WriteFile("");
    ini_.WriteTime("t", "time", QTime(7, 3, 1));
    ini_.WriteDate("t", "date", QDate(2006, 5, 6));
    ini_.WriteBool("t", "on", true);
    EXPECT_EQ(FileBytes(), "[t]\ntime=07:03:01\ndate=2006-05-06\non=1\n");
}

TEST_F(IniSettingsTest, WritesKeepEveryOtherLineAndTheLineEndings) {
    WriteFile(
        "; Kelvo settings\r\n[Output]\r\nDIR = C:\\My Recorder\r\nunknown=keep me\r\n\r\n"
        "; about mp3\r\n[mp3]\r\nfrequency=8\r\nFrequency=3\r\n");
    ini_.WriteString("output", "dir", "/home/u/rec");  // in place, spelling kept
    ini_.WriteString("OUTPUT", "out_name", "Show");    // end of its section
    ini_.WriteInteger("mp3", "frequency", 9);          // the first of two only
    ini_.WriteBool("info", "enable vbr", true);        // new section at the end
    EXPECT_EQ(FileBytes(),
              "; Kelvo settings\r\n[Output]\r\nDIR = /home/u/rec\r\nunknown=keep me\r\n"
              "out_name=Show\r\n\r\n; about mp3\r\n[mp3]\r\nfrequency=9\r\nFrequency=3\r\n"
              "[info]\r\nenable vbr=1\r\n");

    // ANSI text survives a rewrite (in UTF-8), and a byte-order mark stays.
    WriteFile("\xEF\xBB\xBF[info]\ntitle=Caf\xe9\n");
    ini_.WriteString("info", "year", "2006");
    EXPECT_EQ(FileBytes(), "\xEF\xBB\xBF[info]\ntitle=Caf\xc3\xa9\nyear=2006\n");

    IniSettings nested(dir_.filePath("a/b/Kelvo.ini"));
    nested.WriteInteger("mp3", "bitrate", 12);
    EXPECT_EQ(nested.ReadInteger("mp3", "bitrate", 0), 12) << "folder made on first write";
}

TEST_F(IniSettingsTest, WritesReplaceTheFileAtomically) {
    const QByteArray original = "[mp3]\nbitrate=3\n";
    WriteFile(original);
    ini_.WriteInteger("mp3", "bitrate", 4);
    EXPECT_EQ(FilesInFolder(), QStringList{"Kelvo.ini"});

    // A write cut short (here by the file size limit, which binds root too) leaves the old
    // file and no temporary one.
    WriteFile(original);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit small = oldLimit;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    QString message;
    try {
        ini_.WriteString("info", "comment", QString(200, u'x'));
    } catch (const SonvaraError& error) {
        message = error.message();
    }
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(message.contains(path_)) << message.toStdString();
    EXPECT_EQ(FileBytes(), original);
    EXPECT_EQ(FilesInFolder(), QStringList{"Kelvo.ini"});
}

TEST_F(IniSettingsTest, WritesThatCannotBeDoneThrowNamingTheFile) {
    WriteFile("[a]\nb=1\n");
    IniSettings underAFile(dir_.filePath("Kelvo.ini/inner.ini"));
    try {
        underAFile.WriteInteger("a", "b", 2);
        ADD_FAILURE() << "no exception";
    } catch (const SonvaraError& error) {
        EXPECT_TRUE(error.message().contains("inner.ini")) << error.message().toStdString();
    }
    // A line break would turn the rest of the value into a line of its own.
    EXPECT_THROW(ini_.WriteString("a", "b", "one\ntwo"), SonvaraError);

    if (geteuid() != 0) {
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_THROW(ini_.WriteInteger("a", "b", 2), SonvaraError);
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    EXPECT_EQ(FileBytes(), "[a]\nb=1\n");
}

// Kelvo.ini replaced by a folder: what was read before and what was written since stay in
// force, and the first write that reaches a file again stores what could not be stored.
TEST_F(IniSettingsTest, AFileThatCannotBeReadOrWrittenLeavesItsValuesInForce) {
    WriteFile("[a]\nb=1\n");
    EXPECT_EQ(ini_.ReadInteger("a", "b", 0), 1);
    QFile::remove(path_);
    ASSERT_TRUE(QDir().mkdir(path_));
    EXPECT_EQ(ini_.ReadInteger("a", "b", 0), 1);
    EXPECT_TRUE(ini_.Trouble().contains(path_)) << ini_.Trouble().toStdString();
    EXPECT_THROW(ini_.WriteInteger("a", "c", 2), SonvaraError);
    EXPECT_EQ(ini_.ReadInteger("a", "c", 0), 2);

    ASSERT_TRUE(QDir().rmdir(path_));
    ini_.WriteInteger("a", "d", 3);
    EXPECT_EQ(FileBytes(), "[a]\nc=2\nd=3\n");
    EXPECT_TRUE(ini_.Trouble().isEmpty());
}

}  // namespace
