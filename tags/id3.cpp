#include "tags/id3.h"

#include "components/ErrorBoundary.h"
#include "components/widgets/DialogPlacement.h"
#include "components/widgets/DigitKeys.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QSize kSize(434, 274);
constexpr int kRowHeight = 21;
constexpr int kTagGroupWidth = 220;

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLineEdit* Edit(const char* name) {
    auto* edit = Named(new QLineEdit, name);
    edit->setFixedHeight(kRowHeight);
    return edit;
}

// Shown for information; the file's facts are not the user's to change.
QLineEdit* Fact(const char* name) {
    QLineEdit* edit = Edit(name);
    edit->setReadOnly(true);
    edit->setEnabled(false);
    return edit;
}

QGridLayout* Rows(QGroupBox* group) {
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setVerticalSpacing(3);
    grid->setHorizontalSpacing(6);
    return grid;
}

void AddRow(QGridLayout* grid, const QString& label, QWidget* field) {
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(field, row, 1);
}

}  // namespace

Tfm_id3::Tfm_id3(AudioInformation2& tags, Settings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      editor_(tags, settings, *this) {
    setWindowTitle(QStringLiteral("ID3 info"));
    setFixedSize(kSize);

    auto* tag = new QGroupBox;
    QGridLayout* tagRows = Rows(tag);
    infoFileName = Edit("infoFileName");
    // Shown for information only: typing a new name there would rename nothing.
    infoFileName->setReadOnly(true);
    infoFileName->setFocusPolicy(Qt::NoFocus);
    QPalette red = infoFileName->palette();
    red.setColor(QPalette::Text, Qt::red);
    infoFileName->setPalette(red);
    infoTitle = Edit("infoTitle");
    infoArtist = Edit("infoArtist");
    infoAlbum = Edit("infoAlbum");
    infoGenre = Named(new QComboBox, "infoGenre");
    infoGenre->setEditable(false);
    infoGenre->setFixedHeight(kRowHeight);
    infoGenre->setMaxVisibleItems(16);
    infoYear = Edit("infoYear");
    infoTrack = Edit("infoTrack");
    infoComment = Edit("infoComment");
    TypeDigitsOnly(*infoYear);
    TypeDigitsOnly(*infoTrack);
    AddRow(tagRows, QStringLiteral("File Name:"), infoFileName);
    AddRow(tagRows, QStringLiteral("Title:"), infoTitle);
    AddRow(tagRows, QStringLiteral("Artist:"), infoArtist);
    AddRow(tagRows, QStringLiteral("Album:"), infoAlbum);
    AddRow(tagRows, QStringLiteral("Genre:"), infoGenre);
    AddRow(tagRows, QStringLiteral("Year:"), infoYear);
    AddRow(tagRows, QStringLiteral("Track:"), infoTrack);
    AddRow(tagRows, QStringLiteral("Comment:"), infoComment);

    information_ = new QGroupBox;
    QGridLayout* factRows = Rows(information_);
    infoFrequency = Fact("infoFrequency");
    infoBitrate = Fact("infoBitrate");
    infoDuration = Fact("infoDuration");
    infoChannels = Fact("infoChannels");
    infoSamples = Fact("infoSamples");
    infoSize = Fact("infoSize");
    infoBitsPerSample = Fact("infoBitsPerSample");
    infoFormatTag = Fact("infoFormatTag");
    AddRow(factRows, QStringLiteral("Frequency:"), infoFrequency);
    AddRow(factRows, QStringLiteral("Bitrate:"), infoBitrate);
    AddRow(factRows, QStringLiteral("Duration:"), infoDuration);
    AddRow(factRows, QStringLiteral("Channels:"), infoChannels);
    AddRow(factRows, QStringLiteral("Samples:"), infoSamples);
    AddRow(factRows, QStringLiteral("Size:"), infoSize);
    AddRow(factRows, QStringLiteral("BitsPerSample:"), infoBitsPerSample);
    AddRow(factRows, QStringLiteral("FormatTag:"), infoFormatTag);

    btnApply = Named(new QPushButton(QStringLiteral("OK")), "btnApply");
    btnReset = Named(new QPushButton(QStringLiteral("Clear")), "btnReset");
    Button2 = Named(new QPushButton(QStringLiteral("Cancel")), "Button2");
    // Enter in a field must not close the window past the year and track checks.
    for (QPushButton* button : {btnApply, btnReset, Button2})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnApply);
    buttons->addWidget(btnReset);
    buttons->addWidget(Button2);

    auto* groups = new QHBoxLayout;
    // The facts need the room of their longest label and values such as "1411200 bps".
    tag->setFixedWidth(kTagGroupWidth);
    groups->addWidget(tag);
    groups->addWidget(information_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->addLayout(groups);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(btnApply, &QPushButton::clicked, this, Reporting(this, &Tfm_id3::btnApplyClick));
    connect(btnReset, &QPushButton::clicked, this, Reporting(this, &Tfm_id3::btnResetClick));
    connect(Button2, &QPushButton::clicked, this, Reporting(this, &Tfm_id3::Button2Click));
    FormCreate();
}

void Tfm_id3::FormCreate() {
    infoGenre->addItems(editor_.GenreNames());
    infoGenre->setCurrentIndex(-1);
    infoYear->setText(QStringLiteral("0"));
    infoTrack->setText(QStringLiteral("0"));
}

void Tfm_id3::ShowModalAt(QPoint topLeft, QWidget* owner) {
    owner_ = owner;
    if (FormShow())
        ExecDialogOver(*this, owner, topLeft);
}

bool Tfm_id3::FormShow() {
    const std::optional<TagEditor::Loaded> loaded = editor_.Load();
    if (!loaded)
        return false;
    ShowFields(loaded->fields);
    ShowFacts(loaded->facts);
    infoTitle->setFocus();
    return true;
}

void Tfm_id3::btnApplyClick() {
    switch (editor_.Apply(Fields())) {
        case TagEditor::Outcome::Close:
            accept();
            return;
        case TagEditor::Outcome::FocusYear:
            infoYear->setFocus();
            return;
        case TagEditor::Outcome::FocusTrack:
            infoTrack->setFocus();
            return;
        case TagEditor::Outcome::StayOpen:
            return;
    }
}

void Tfm_id3::btnResetClick() {
    const TagEditor::Loaded cleared = editor_.Clear(Fields());
    ShowFields(cleared.fields);
    ShowFacts(cleared.facts);
}

void Tfm_id3::Button2Click() {
    reject();
}

TagFields Tfm_id3::Fields() const {
    TagFields fields;
    fields.fileName = infoFileName->text();
    fields.title = infoTitle->text();
    fields.artist = infoArtist->text();
    fields.album = infoAlbum->text();
    fields.genre = infoGenre->currentIndex();
    fields.year = infoYear->text();
    fields.track = infoTrack->text();
    fields.comment = infoComment->text();
    return fields;
}

void Tfm_id3::ShowFields(const TagFields& fields) {
    infoFileName->setText(fields.fileName);
    infoTitle->setText(fields.title);
    infoArtist->setText(fields.artist);
    infoAlbum->setText(fields.album);
    infoGenre->setCurrentIndex(fields.genre >= 0 && fields.genre < infoGenre->count() ? fields.genre
                                                                                      : -1);
    infoYear->setText(fields.year);
    infoTrack->setText(fields.track);
    infoComment->setText(fields.comment);
}

// The default tag belongs to no file: its panel is blank, never an earlier file's facts.
void Tfm_id3::ShowFacts(const std::optional<FileFacts>& shown) {
    information_->setTitle(shown ? QString() : QStringLiteral("Default tag for new recordings"));
    const FileFacts facts = shown.value_or(FileFacts{});
    infoFrequency->setText(facts.frequency);
    infoBitrate->setText(facts.bitrate);
    infoDuration->setText(facts.duration);
    infoChannels->setText(facts.channels);
    infoSamples->setText(facts.samples);
    infoSize->setText(facts.size);
    infoBitsPerSample->setText(facts.bitsPerSample);
    infoFormatTag->setText(facts.formatTag);
}

std::optional<TaggedFile> Tfm_id3::SelectedFile() const {
    return selected_ ? selected_() : std::nullopt;
}

void Tfm_id3::ShowMessage(const QString& text) {
    if (message_) {
        message_(text);
        return;
    }
    // Before the window opens, the message belongs to the window that asked for it.
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, isVisible() ? this : owner_);
    box.exec();
}
