#include <QMap>
#include <QProcess>

#include "e2e/UserFlow.h"

namespace {

const QString kEditor = QStringLiteral("ID3 info");

// The file's tag as another program reads it (ffprobe), by lower-case key; empty when unread.
QMap<QString, QString> TagOf(const QString& file) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format_tags", "-of",
                                              "default=noprint_wrappers=1", file});
    QMap<QString, QString> tag;
    if (!ffprobe.waitForFinished(20000) || ffprobe.exitCode() != 0)
        return tag;
    for (const QString& line : QString::fromUtf8(ffprobe.readAllStandardOutput()).split(u'\n')) {
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(QStringLiteral("TAG:")) && equals > 4)
            tag.insert(line.mid(4, equals - 4).toLower(), line.mid(equals + 1).trimmed());
    }
    return tag;
}

class TagFlow : public UserFlow {
protected:
    void OpenEditor() {
        s.ClickSkin(kMainWindow, QStringLiteral("tag"));
        s.WaitForWindow(kEditor);
    }
    // Replaces what the field holds with text, typed.
    void TypeInto(const QString& field, const QString& text) {
        s.ClickWidget(kEditor, field);
        s.WaitForFocus(kEditor, field);
        s.Key(QStringLiteral("ctrl+a"));
        s.Type(text);
    }
    void Press(const QString& button) {
        s.ClickWidget(kEditor, button);
        s.WaitForWindow(kEditor, false);
    }
};

TEST_F(TagFlow, TheDefaultTagSetInTheEditorIsInTheNextRecording) {
    // With the list empty, the editor edits the default tag.
    OpenEditor();
    EXPECT_EQ(s.Text(kEditor, QStringLiteral("infoFileName")), "");
    TypeInto(QStringLiteral("infoTitle"), QStringLiteral("Morning show"));
    TypeInto(QStringLiteral("infoArtist"), QStringLiteral("Anna"));
    TypeInto(QStringLiteral("infoYear"), QStringLiteral("2024"));
    // The genre list comes before the year; typing a name picks it.
    s.Key(QStringLiteral("shift+Tab"));
    s.WaitForFocus(kEditor, QStringLiteral("infoGenre"));
    s.Type(QStringLiteral("Speech"));
    ASSERT_TRUE(Eventually([&] {
        return s.Text(kEditor, QStringLiteral("infoGenre")) == "Speech";
    })) << s.Text(kEditor, QStringLiteral("infoGenre")).toStdString();
    Press(QStringLiteral("btnApply"));
    const QString ini = s.ConfigHome() + QStringLiteral("/Sonvara/Kelvo.ini");
    EXPECT_EQ(IniValue(ini, QStringLiteral("info"), QStringLiteral("arist")), "Anna");
    EXPECT_EQ(IniValue(ini, QStringLiteral("info"), QStringLiteral("genre")), "101");

    Record(2s);
    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 1);
    const QMap<QString, QString> tag = TagOf(files[0].absoluteFilePath());
    EXPECT_EQ(tag.value("title"), "Morning show");
    EXPECT_EQ(tag.value("artist"), "Anna");
    EXPECT_EQ(tag.value("genre"), "Speech");
    EXPECT_EQ(tag.value("date"), "2024");
}

TEST_F(TagFlow, ATitleChangedForTheSelectedFileIsReadBack) {
    Record(1s);  // the recording is listed as the selected row
    const QFileInfoList files = Mp3Files(s.Home() + QStringLiteral("/My Recorder"));
    ASSERT_EQ(files.size(), 1);
    const QString file = files[0].absoluteFilePath();

    OpenEditor();
    EXPECT_EQ(s.Text(kEditor, QStringLiteral("infoFileName")), files[0].fileName());
    EXPECT_EQ(s.Text(kEditor, QStringLiteral("infoFormatTag")), "85");
    TypeInto(QStringLiteral("infoTitle"), QStringLiteral("Interview, part one"));
    Press(QStringLiteral("btnApply"));
    EXPECT_EQ(TagOf(file).value("title"), "Interview, part one");

    OpenEditor();
    EXPECT_EQ(s.Text(kEditor, QStringLiteral("infoTitle")), "Interview, part one");
    Press(QStringLiteral("Button2"));
}

}  // namespace
