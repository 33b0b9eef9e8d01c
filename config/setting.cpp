#include "config/setting.h"

#include "components/ErrorBoundary.h"
#include "components/widgets/DigitKeys.h"
#include "components/widgets/SourceHelpPanel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/SettingsModel.h"
#include "config/ValueTables.h"

namespace {

// The source dialog stands over the help of the "Recording Source" page at this offset.
const QPoint kSourceOffset(133, 31);

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* Text(const QString& text) {
    return new QLabel(text);
}

QSpinBox* QualityUpDown(const char* name, const char* editName) {
    auto* upDown = Named(new QSpinBox, name);
    upDown->setRange(0, 9);
    if (auto* edit = upDown->findChild<QLineEdit*>())
        edit->setObjectName(QString::fromLatin1(editName));
    return upDown;
}

// The MP3 lists' items carry the values they name, so the window never translates an index.
QComboBox* BitrateList(const char* name) {
    auto* list = Named(new QComboBox, name);
    for (int kbps : kBitrateTable)
        list->addItem(QStringLiteral("%1 Kbps").arg(kbps), kbps);
    return list;
}

void SelectValue(QComboBox* list, int value) {
    list->setCurrentIndex(list->findData(value));
}

QHBoxLayout* Row(const QString& caption, QWidget* control) {
    auto* row = new QHBoxLayout;
    row->addWidget(Text(caption));
    row->addWidget(control, 1);
    return row;
}

// A lone or stored option may be unchecked as well as checked, which an auto-exclusive button
// refuses for the one that is checked.
void SetOption(QRadioButton* option, bool checked) {
    const bool exclusive = option->autoExclusive();
    option->setAutoExclusive(false);
    option->setChecked(checked);
    option->setAutoExclusive(exclusive);
}

}  // namespace

Tfm_set::Tfm_set(SettingsModel& model, const std::array<QString, 4>& sourceHelp, QWidget* parent)
    : QDialog(parent), model_(model) {
    setObjectName(QStringLiteral("fm_set"));
    setWindowTitle(QStringLiteral("Settings"));
    message_ = [this](const QString& text) {
        QMessageBox::information(this, QGuiApplication::applicationDisplayName(), text);
    };

    tv = Named(new QTreeWidget, "tv");
    pages = Named(new QStackedWidget, "pages");
    pn_source = BuildSourcePage(sourceHelp);
    pn_file = BuildFilePage();
    pn_format = BuildFormatPage();
    pn_mp3 = BuildMp3Page();
    pn_activation = BuildActivationPage();
    pn_about = BuildAboutPage();
    pn_blank_ = new QWidget;
    for (QWidget* page :
         {pn_source, pn_file, pn_format, pn_mp3, pn_activation, pn_about, pn_blank_})
        pages->addWidget(page);
    pages->setCurrentWidget(pn_about);
    BuildTree();

    set_bt_ok = Named(new QPushButton(QStringLiteral("OK")), "set_bt_ok");
    set_bt_default = Named(new QPushButton(QStringLiteral("Default")), "set_bt_default");
    set_bt_ok->setDefault(true);

    auto* body = new QHBoxLayout;
    body->addWidget(tv);
    body->addWidget(pages, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(set_bt_ok);
    buttons->addWidget(set_bt_default);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowValues();
    Connect();
    ConnectEdits();
}

void Tfm_set::BuildTree() {
    tv->setHeaderHidden(true);
    tv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tv->setItemsExpandable(false);
    tv->setRootIsDecorated(false);
    tv->setFixedWidth(150);
    int position = 0;
    auto entry = [&](QTreeWidgetItem* item, const char* text) {
        item->setText(0, QString::fromLatin1(text));
        item->setData(0, Qt::UserRole, position++);
        return item;
    };
    entry(new QTreeWidgetItem(tv), "Recording Source");
    entry(new QTreeWidgetItem(tv), "File Length Limitation");
    entry(new QTreeWidgetItem(tv), "Schedule");
    auto* format = entry(new QTreeWidgetItem(tv), "Output Format");
    entry(new QTreeWidgetItem(format), "MP3");
    entry(new QTreeWidgetItem(tv), "Sound activation");
    entry(new QTreeWidgetItem(tv), "About");
    tv->expandAll();
}

QWidget* Tfm_set::BuildSourcePage(const std::array<QString, 4>& texts) {
    auto* page = Named(new QWidget, "pn_source");
    helpPanel_ = new SourceHelpPanel(texts, QStringLiteral("Set"), "Button1");
    gb_help = helpPanel_;
    helpTexts = helpPanel_->helpTexts;
    bt_pre = helpPanel_->bt_pre;
    bt_nex = helpPanel_->bt_nex;
    Button1 = helpPanel_->lastButton;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(gb_help);
    return page;
}

QWidget* Tfm_set::BuildFilePage() {
    auto* page = Named(new QWidget, "pn_file");
    length_en =
        Named(new QCheckBox(QStringLiteral("Enable File Length Limitation System")), "length_en");
    file_rb_time = Named(new QRadioButton(QStringLiteral("Time: ")), "file_rb_time");
    file_time = Named(new QLineEdit, "file_time");
    TypeDigitsOnly(*file_time);
    file_limit_stop =
        Named(new QCheckBox(QStringLiteral("Stop recording when the limit is reached ")),
              "file_limit_stop");
    file_limit_new =
        Named(new QCheckBox(QStringLiteral("Record a new file when the limit is reached")),
              "file_limit_new");

    auto* time = new QHBoxLayout;
    time->addWidget(file_rb_time);
    time->addWidget(file_time);
    time->addWidget(Text(QStringLiteral("Seconds")));
    time->addStretch(1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(length_en);
    layout->addLayout(time);
    layout->addWidget(file_limit_stop);
    layout->addWidget(file_limit_new);
    layout->addStretch(1);
    return page;
}

QWidget* Tfm_set::BuildFormatPage() {
    auto* page = Named(new QWidget, "pn_format");
    ed_dir = Named(new QLineEdit, "ed_dir");
    Button2 = Named(new QPushButton(QStringLiteral("...")), "Button2");
    cb_format = Named(new QComboBox, "cb_format");
    cb_format->addItem(QStringLiteral("MP3 File (*.mp3)"));
    out_name = Named(new QLineEdit, "out_name");
    rb_time = Named(new QRadioButton(QStringLiteral("Date_Time Mode")), "rb_time");
    rb_cust = Named(new QRadioButton(QStringLiteral("Custom Name")), "rb_cust");
    out_labe_dat =
        Named(new QLabel(QStringLiteral("Example: E-19-05-2006--00;08;04.MP3")), "out_labe_dat");
    out_labe_cus = Named(new QLabel(QStringLiteral("Example: E.MP3")), "out_labe_cus");
    // The window has a fixed size, fitted to its contents: an example that a long name widens
    // must not widen it while the user types.
    for (QLabel* example : {out_labe_dat, out_labe_cus})
        example->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* dir = new QHBoxLayout;
    dir->addWidget(ed_dir, 1);
    dir->addWidget(Button2);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Text(QStringLiteral("Output Directory:")));
    layout->addLayout(dir);
    layout->addLayout(Row(QStringLiteral("Output Format:"), cb_format));
    layout->addLayout(Row(QStringLiteral("Main name:"), out_name));
    auto* dateTime = new QHBoxLayout;
    dateTime->addWidget(rb_time);
    dateTime->addWidget(out_labe_dat, 1);
    auto* custom = new QHBoxLayout;
    custom->addWidget(rb_cust);
    custom->addWidget(out_labe_cus, 1);
    layout->addLayout(dateTime);
    layout->addLayout(custom);
    // A recording never replaces a file: a taken name is numbered.
    layout->addWidget(Text(QStringLiteral("If the filename already exists, a number is added ")));
    layout->addWidget(Text(QStringLiteral("to the new file's name (EUT-2.MP3).  ")));
    layout->addStretch(1);
    return page;
}

QWidget* Tfm_set::BuildMp3Page() {
    auto* page = Named(new QWidget, "pn_mp3");
    cb_mp3_channel = Named(new QComboBox, "cb_mp3_channel");
    int channels = 1;
    for (const char* name : kChannelNames)
        cb_mp3_channel->addItem(QString::fromLatin1(name), channels++);
    ud_mp3_quality = QualityUpDown("ud_mp3_quality", "edt_mp3_quality");
    cb_mp3_bitrate = BitrateList("cb_mp3_bitrate");
    cb_mp3_frequency = Named(new QComboBox, "cb_mp3_frequency");
    for (int hz : kFrequencyTable)
        cb_mp3_frequency->addItem(QStringLiteral("%1 Hz").arg(hz), hz);
    cb_vbr = Named(new QCheckBox(QStringLiteral("Enable VBR(Variable Bit Rate)")), "cb_vbr");
    cb_mp3_vbr = BitrateList("cb_mp3_vbr");
    ud_mp3_vbr = QualityUpDown("ud_mp3_vbr", "edt_mp3_vbr");

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(Row(QStringLiteral("Channet:  "), cb_mp3_channel));
    layout->addLayout(Row(QStringLiteral("Quality:  "), ud_mp3_quality));
    layout->addLayout(Row(QStringLiteral("Bitrate:  "), cb_mp3_bitrate));
    layout->addLayout(Row(QStringLiteral("Frequency:  "), cb_mp3_frequency));
    layout->addWidget(cb_vbr);
    layout->addLayout(Row(QStringLiteral("VBR Bitrate:  "), cb_mp3_vbr));
    layout->addLayout(Row(QStringLiteral("VBR Quality:  "), ud_mp3_vbr));
    layout->addWidget(Text(QStringLiteral("Bitrate:  8Kbps - poor quality, small file, ")));
    layout->addWidget(Text(QStringLiteral("320Kbps  - good quality, big file")));
    layout->addWidget(Text(QStringLiteral("Quality:  0-best quality , worst speed, ")));
    layout->addWidget(Text(QStringLiteral("9-worst auality, fast speed. ")));
    layout->addStretch(1);
    return page;
}

QWidget* Tfm_set::BuildActivationPage() {
    auto* page = Named(new QWidget, "pn_activation");
    cb_act = Named(new QCheckBox(QStringLiteral("Record only when there is sound")), "cb_act");
    auto upDown = [](const char* name, int low, int high, const char* unit) {
        auto* box = Named(new QSpinBox, name);
        box->setRange(low, high);
        box->setSuffix(QString::fromLatin1(unit));
        return box;
    };
    ud_act_threshold = upDown("ud_act_threshold", kThresholdLowestDb, 0, " dBFS");
    ud_act_hold = upDown("ud_act_hold", 0, kLongestHoldMs, " ms");
    ud_act_silence = upDown("ud_act_silence", 1, kLongestSilenceSeconds, " s");
    ud_act_preroll = upDown("ud_act_preroll", 0, kLongestPrerollMs, " ms");
    cb_act_mode = Named(new QComboBox, "cb_act_mode");
    cb_act_mode->addItem(QStringLiteral("Leave silences out of one file"));
    cb_act_mode->addItem(QStringLiteral("A new file for each passage"));

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(cb_act);
    layout->addLayout(Row(QStringLiteral("Sound above:  "), ud_act_threshold));
    layout->addLayout(Row(QStringLiteral("Lasting at least:  "), ud_act_hold));
    layout->addLayout(Row(QStringLiteral("Keep before it:  "), ud_act_preroll));
    layout->addLayout(Row(QStringLiteral("Silence ends after:  "), ud_act_silence));
    layout->addLayout(Row(QStringLiteral("Silences:  "), cb_act_mode));
    layout->addWidget(Text(QStringLiteral("The level is the one the level display shows.")));
    layout->addStretch(1);
    return page;
}

QWidget* Tfm_set::BuildAboutPage() {
    auto* page = Named(new QWidget, "pn_about");
    auto* product = Text(QStringLiteral("Sonvara"));
    QFont font = product->font();
    font.setPointSize(font.pointSize() * 2);
    font.setBold(true);
    product->setFont(font);
    auto* version = new QHBoxLayout;
    version->addWidget(Text(QStringLiteral("Version: ")));
    version->addWidget(Text(QStringLiteral("2.00")));
    version->addStretch(1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(product);
    layout->addLayout(version);
    layout->addWidget(Text(QStringLiteral("Recorder to MP3 file. ")));
    layout->addWidget(Text(QStringLiteral("Join/Merge MP3 file. ")));
    layout->addStretch(1);
    return page;
}

void Tfm_set::Connect() {
    auto clickedEntry = Reporting([this](QTreeWidgetItem* item) {
        if (item)
            tv_Click(item->data(0, Qt::UserRole).toInt());
    });
    connect(tv, &QTreeWidget::itemClicked, this, clickedEntry);
    connect(tv, &QTreeWidget::itemActivated, this, clickedEntry);
    connect(set_bt_ok, &QPushButton::clicked, this, Reporting([this] { set_bt_okClick(); }));
    connect(set_bt_default, &QPushButton::clicked, this,
            Reporting(this, &Tfm_set::set_bt_defaultClick));
    connect(length_en, &QCheckBox::clicked, this, Reporting(this, &Tfm_set::length_enClick));
    connect(file_rb_time, &QRadioButton::clicked, this,
            Reporting(this, &Tfm_set::file_rb_timeClick));
    connect(cb_vbr, &QCheckBox::clicked, this, Reporting(this, &Tfm_set::cb_vbrClick));
    connect(rb_time, &QRadioButton::clicked, this, Reporting(this, &Tfm_set::rb_timeClick));
    connect(rb_cust, &QRadioButton::clicked, this, Reporting(this, &Tfm_set::rb_custClick));
    connect(out_name, &QLineEdit::editingFinished, this,
            Reporting(this, &Tfm_set::RefreshExamples));
    connect(Button2, &QPushButton::clicked, this, Reporting(this, &Tfm_set::Button2Click));
    connect(Button1, &QPushButton::clicked, this, Reporting(this, &Tfm_set::Button1Click));
}

// Every change of a control reaches the model, whoever makes it.
void Tfm_set::ConnectEdits() {
    const auto edited = Reporting([this] { ControlsEdited(); });
    for (QAbstractButton* box :
         std::initializer_list<QAbstractButton*>{length_en, file_rb_time, file_limit_stop,
                                                 file_limit_new, rb_time, rb_cust, cb_vbr, cb_act})
        connect(box, &QAbstractButton::toggled, this, edited);
    for (QLineEdit* edit : {file_time, ed_dir, out_name})
        connect(edit, &QLineEdit::textChanged, this, edited);
    for (QComboBox* list :
         {cb_format, cb_mp3_channel, cb_mp3_bitrate, cb_mp3_frequency, cb_mp3_vbr, cb_act_mode})
        connect(list, &QComboBox::currentIndexChanged, this, edited);
    for (QSpinBox* upDown : {ud_mp3_quality, ud_mp3_vbr, ud_act_threshold, ud_act_hold,
                             ud_act_silence, ud_act_preroll})
        connect(upDown, &QSpinBox::valueChanged, this, edited);
}

void Tfm_set::ControlsEdited() {
    if (!showing_)
        model_.SetValues(Values());
}

void Tfm_set::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window the system shows again after minimising keeps what the user typed.
    if (event->spontaneous())
        return;
    tv->expandAll();
    ReportFailures([this] { Load(); });
}

void Tfm_set::Load() {
    model_.Load();
    ShowValues();
    model_.Settle();
}

void Tfm_set::LoadAtStartUp() {
    Load();
    model_.UseChosenDirectory();
    ShowValues();
}

// Escape and the close box: the edits are dropped, so that nothing stores them later.
void Tfm_set::reject() {
    model_.Discard();
    ShowValues();
    QDialog::reject();
}

void Tfm_set::SetOutputDirectory(const QString& path) {
    ed_dir->setText(path);
}

RecordingSettings Tfm_set::Values() const {
    RecordingSettings v;
    v.lengthEnabled = length_en->isChecked();
    v.timeChecked = file_rb_time->isChecked();
    v.timeOptionEnabled = file_rb_time->isEnabled();
    v.seconds = file_time->text();
    v.secondsEnabled = file_time->isEnabled();
    v.limitStop = file_limit_stop->isChecked();
    v.limitNew = file_limit_new->isChecked();
    v.directory = ed_dir->text();
    v.format = cb_format->currentIndex();
    v.mainName = out_name->text();
    v.dateTimeMode = rb_time->isChecked();
    v.customName = rb_cust->isChecked();
    v.mp3.bitrate = cb_mp3_bitrate->currentData().toInt();
    v.mp3.channels = cb_mp3_channel->currentData().toInt();
    v.mp3.sampleRate = cb_mp3_frequency->currentData().toInt();
    v.mp3.quality = ud_mp3_quality->value();
    v.mp3.vbr = cb_vbr->isChecked();
    v.mp3.vbrBitrate = cb_mp3_vbr->currentData().toInt();
    v.mp3.vbrQuality = ud_mp3_vbr->value();
    v.activation.enabled = cb_act->isChecked();
    v.activation.thresholdDb = ud_act_threshold->value();
    v.activation.holdMs = ud_act_hold->value();
    v.activation.silenceSeconds = ud_act_silence->value();
    v.activation.mode = cb_act_mode->currentIndex();
    v.activation.prerollMs = ud_act_preroll->value();
    return v;
}

void Tfm_set::SetValues(const RecordingSettings& values) {
    model_.SetValues(values);
    ShowValues();
}

void Tfm_set::ShowValues() {
    const RecordingSettings v = model_.Values();
    showing_ = true;
    length_en->setChecked(v.lengthEnabled);
    SetOption(file_rb_time, v.timeChecked);
    file_time->setText(v.seconds);
    file_limit_stop->setChecked(v.limitStop);
    file_limit_new->setChecked(v.limitNew);
    ed_dir->setText(v.directory);
    cb_format->setCurrentIndex(v.format);
    out_name->setText(v.mainName);
    SetOption(rb_time, v.dateTimeMode);
    SetOption(rb_cust, v.customName);
    SelectValue(cb_mp3_bitrate, v.mp3.bitrate);
    SelectValue(cb_mp3_channel, v.mp3.channels);
    SelectValue(cb_mp3_frequency, v.mp3.sampleRate);
    ud_mp3_quality->setValue(v.mp3.quality);
    cb_vbr->setChecked(v.mp3.vbr);
    SelectValue(cb_mp3_vbr, v.mp3.vbrBitrate);
    ud_mp3_vbr->setValue(v.mp3.vbrQuality);
    cb_act->setChecked(v.activation.enabled);
    ud_act_threshold->setValue(v.activation.thresholdDb);
    ud_act_hold->setValue(v.activation.holdMs);
    ud_act_silence->setValue(v.activation.silenceSeconds);
    cb_act_mode->setCurrentIndex(v.activation.mode);
    ud_act_preroll->setValue(v.activation.prerollMs);
    ApplyEnabledStates(v);
    showing_ = false;
    // The model holds what the controls can show, as OK would store it from them.
    ControlsEdited();
}

void Tfm_set::ApplyEnabledStates(const RecordingSettings& v) {
    file_rb_time->setEnabled(v.timeOptionEnabled);
    file_time->setEnabled(v.secondsEnabled);
    cb_mp3_vbr->setEnabled(VbrControlsEnabled(v));
    ud_mp3_vbr->setEnabled(VbrControlsEnabled(v));
    ControlsEdited();
}

bool Tfm_set::set_bt_okClick() {
    return Committed(model_.Commit());
}

bool Tfm_set::Committed(bool stored) {
    if (!stored) {
        message_(UnsupportedMp3Message());
        return false;
    }
    accept();
    return true;
}

void Tfm_set::set_bt_defaultClick() {
    const RecordingSettings before = Values();
    SetValues(Defaulted(before));
    // Checking "Date_Time Mode" refreshes the examples only when it was not checked already.
    if (!before.dateTimeMode)
        RefreshExamples();
}

void Tfm_set::length_enClick() {
    RecordingSettings v = Values();
    LengthEnabledClicked(v);
    ApplyEnabledStates(v);
}

void Tfm_set::file_rb_timeClick() {
    RecordingSettings v = Values();
    TimeOptionClicked(v);
    ApplyEnabledStates(v);
}

void Tfm_set::cb_vbrClick() {
    ApplyEnabledStates(Values());
}

void Tfm_set::rb_timeClick() {
    RefreshExamples();
}

void Tfm_set::rb_custClick() {
    RecordingSettings v = Values();
    if (const auto examples = CustomNameClicked(v)) {
        out_name->setText(v.mainName);
        ShowExamples(*examples);
    }
}

void Tfm_set::RefreshExamples() {
    ShowExamples(ExamplesFor(out_name->text()));
}

void Tfm_set::ShowExamples(const NamingExamples& examples) {
    out_labe_dat->setText(examples.dateTime);
    out_labe_cus->setText(examples.custom);
}

void Tfm_set::Button2Click() {
    if (pageDialogs_.showOutputDirectory)
        pageDialogs_.showOutputDirectory(pos(), ed_dir->text());
}

QPoint Tfm_set::SourcePlace() const {
    return pos() + kSourceOffset;
}

// Right of the tree, so that the window and its pages' names stay in sight behind the dialog.
QPoint Tfm_set::SchedulePlace() const {
    return pos() + QPoint(tv->geometry().right() + 1, kSourceOffset.y());
}

void Tfm_set::Button1Click() {
    if (pageDialogs_.showSource)
        pageDialogs_.showSource(SourcePlace());
}

QWidget* Tfm_set::CurrentPage() const {
    return pages->currentWidget();
}

void Tfm_set::tv_Click(int page) {
    auto call = [](const std::function<void()>& hook) {
        if (hook)
            hook();
    };
    switch (page) {
        case kSourcePage:
            if (pageDialogs_.showSource)
                pageDialogs_.showSource(SourcePlace());
            call(pageDialogs_.disableSourceHelp);
            call(pageDialogs_.hideSchedule);
            pages->setCurrentWidget(pn_source);
            return;
        case kSchedulePage:
            if (pageDialogs_.showSchedule)
                pageDialogs_.showSchedule(SchedulePlace());
            call(pageDialogs_.hideSource);
            // The About page is not among those hidden: it stays under the schedule dialog.
            if (pages->currentWidget() != pn_about)
                pages->setCurrentWidget(pn_blank_);
            return;
        case kFileLengthPage:
            pages->setCurrentWidget(pn_file);
            break;
        case kOutputFormatPage:
            RefreshExamples();
            pages->setCurrentWidget(pn_format);
            break;
        case kMp3Page:
            pages->setCurrentWidget(pn_mp3);
            break;
        case kActivationPage:
            pages->setCurrentWidget(pn_activation);
            break;
        case kAboutPage:
            pages->setCurrentWidget(pn_about);
            break;
        default:
            return;
    }
    call(pageDialogs_.hideSource);
    call(pageDialogs_.hideSchedule);
}

int Tfm_set::CurrentHelpText() const {
    return helpPanel_->CurrentText();
}
