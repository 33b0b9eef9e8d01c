#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "components/TagLibAudioInformation2.h"
#include "config/IniSettings.h"
#include "support/TestAudio.h"
#include "tags/id3.h"

namespace {

class TagWindowTest : public ::testing::Test {
protected:
    TagWindowTest() {
        id3_.SetMessageFunction([this](const QString& text) { messages_ << text; });
        id3_.SetSelection([this] { return selected_; });
    }

    QString Mp3(const QString& name) {
        const QString path = dir_.filePath(name);
        testaudio::WriteFile(path, testaudio::Format::Mp3, testaudio::Tone(22050, 1, 11025, 440),
                             22050, 1);
        return path;
    }

    QTemporaryDir dir_;
    IniSettings ini_{dir_.filePath("Kelvo.ini")};
    TagLibAudioInformation2 tags_;
    Tfm_id3 id3_{tags_, ini_};
    std::optional<TaggedFile> selected_;
    QStringList messages_;
};

// A typed non-digit acts as Backspace; Backspace and the digits work as usual.
TEST_F(TagWindowTest, YearAndTrackTakeDigitsOnly) {
    for (QLineEdit* edit : {id3_.infoYear, id3_.infoTrack}) {
        edit->clear();
        QTest::keyClicks(edit, "2A0");
        EXPECT_EQ(edit->text(), "0");
        QTest::keyClicks(edit, "19");
        QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_EQ(edit->text(), "01");
    }
}

TEST_F(TagWindowTest, OkWithAnEmptyTrackKeepsTheWindowOpenWithTheFocusThere) {
    const QString path = Mp3("take.mp3");
    selected_ = TaggedFile{"take.mp3", path};
    ASSERT_TRUE(id3_.FormShow());
    EXPECT_EQ(id3_.infoFileName->text(), "take.mp3");
    EXPECT_EQ(id3_.infoFrequency->text(), "22050 Hz");
    id3_.show();
    id3_.infoTitle->setText("Changed");
    id3_.infoTrack->clear();
    id3_.btnApply->click();
    EXPECT_EQ(messages_, QStringList{"Invalid Track Value"});
    EXPECT_TRUE(id3_.isVisible());
    EXPECT_EQ(id3_.focusWidget(), id3_.infoTrack);
    TagLibAudioInformation2 read;
    read.ReadFromFile(path);
    EXPECT_EQ(read.infoTitle(), "");

    id3_.infoTrack->setText("2");
    id3_.btnApply->click();
    EXPECT_FALSE(id3_.isVisible());
    read.ReadFromFile(path);
    EXPECT_EQ(read.infoTitle(), "Changed");
    EXPECT_EQ(read.infoTrackNumber(), 2);
}

// Clear empties the tag fields and shows the facts again; Cancel then closes the window, and
// neither writes anything.
TEST_F(TagWindowTest, ClearThenCancelChangesNothing) {
    const QString path = Mp3("take.mp3");
    TagLibAudioInformation2 writer;
    writer.setInfoTitle("Kept");
    writer.WriteToFile(path);
    const auto contents = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = contents();
    selected_ = TaggedFile{"take.mp3", path};
    ASSERT_TRUE(id3_.FormShow());
    const auto facts = [&] {
        QStringList texts;  // of the read-only fields: the file's facts
        for (const QLineEdit* edit : id3_.findChildren<QLineEdit*>())
            texts << (edit->isReadOnly() ? edit->text() : QString());
        return texts;
    };
    const QStringList factsShown = facts();
    id3_.show();

    id3_.btnReset->click();
    for (QLineEdit* field : {id3_.infoTitle, id3_.infoArtist, id3_.infoAlbum, id3_.infoComment})
        EXPECT_EQ(field->text(), "") << field->objectName().toStdString();
    EXPECT_EQ(facts(), factsShown);
    id3_.Button2->click();
    EXPECT_FALSE(id3_.isVisible());
    EXPECT_EQ(contents(), before);
    EXPECT_FALSE(QFile::exists(ini_.Path()));
}

// The default tag shows no file and none of the last file's facts.
TEST_F(TagWindowTest, DefaultModeAfterAFileAndClear) {
    selected_ = TaggedFile{"take.mp3", Mp3("take.mp3")};
    ASSERT_TRUE(id3_.FormShow());
    selected_.reset();
    ini_.WriteString("info", "title", "Morning");
    ini_.WriteInteger("info", "genre", -1);
    ASSERT_TRUE(id3_.FormShow());
    EXPECT_TRUE(id3_.DefaultTagMode());
    EXPECT_EQ(id3_.infoFileName->text(), "");
    EXPECT_EQ(id3_.infoTitle->text(), "Morning");
    EXPECT_EQ(id3_.infoGenre->currentIndex(), -1);
    EXPECT_EQ(id3_.infoFrequency->text(), "");

    id3_.infoYear->setText("1999");
    id3_.btnReset->click();
    EXPECT_EQ(id3_.infoTitle->text(), "");
    EXPECT_EQ(id3_.infoYear->text(), "0");
    id3_.Button2->click();
    EXPECT_EQ(ini_.ReadString("info", "title", ""), "Morning");
}

}  // namespace
