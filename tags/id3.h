#pragma once

#include <QDialog>
#include <QPoint>
#include <functional>
#include <optional>

#include "tags/TagEditor.h"

class AudioInformation2;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class Settings;

// The tag editor window ("ID3 info"): the tag of the list's selected file with its facts, or
// the default tag when no row is selected. Long-lived; each showing loads afresh, OK writes and
// closes, Clear and Cancel write nothing.
class Tfm_id3 : public QDialog, private TagEditorHost {
    Q_OBJECT

public:
    // The genre list is filled here, once, from the tag component.
    Tfm_id3(AudioInformation2& tags, Settings& settings, QWidget* parent = nullptr);

    // The list's first selected row; without this hook the default tag is edited.
    void SetSelection(std::function<std::optional<TaggedFile>()> selected) {
        selected_ = std::move(selected);
    }
    // Where messages go; a plain modal box unless set.
    void SetMessageFunction(std::function<void(const QString&)> message) {
        message_ = std::move(message);
    }

    // Loads for the list's selection and shows the window modally at topLeft; it does not open
    // when the selected file cannot be read.
    void ShowModalAt(QPoint topLeft, QWidget* owner = nullptr);
    // Loads the controls for the list's selection; false when the selected file cannot be read.
    bool FormShow();
    void btnApplyClick();
    void btnResetClick();
    void Button2Click();
    bool DefaultTagMode() const { return editor_.DefaultTagMode(); }

    QLineEdit* infoFileName;
    QLineEdit* infoTitle;
    QLineEdit* infoArtist;
    QLineEdit* infoAlbum;
    QComboBox* infoGenre;
    QLineEdit* infoYear;
    QLineEdit* infoTrack;
    QLineEdit* infoComment;

    QLineEdit* infoFrequency;
    QLineEdit* infoBitrate;
    QLineEdit* infoDuration;
    QLineEdit* infoChannels;
    QLineEdit* infoSamples;
    QLineEdit* infoSize;
    QLineEdit* infoBitsPerSample;
    QLineEdit* infoFormatTag;

    QPushButton* btnApply;
    QPushButton* btnReset;
    QPushButton* Button2;

private:
    std::optional<TaggedFile> SelectedFile() const override;
    void ShowMessage(const QString& text) override;

    TagFields Fields() const;
    void ShowFields(const TagFields& fields);
    void ShowFacts(const std::optional<FileFacts>& shown);
    void FormCreate();

    TagEditor editor_;
    std::function<std::optional<TaggedFile>()> selected_;
    std::function<void(const QString&)> message_;
    QWidget* owner_ = nullptr;
    QGroupBox* information_;
};
