#include "schedule/sche.h"

#include "components/ErrorBoundary.h"
#include "components/widgets/DialogPlacement.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "components/Clock.h"
#include "config/Settings.h"
#include "config/SettingsPageDialogs.h"

namespace {

const QString kTimeFormat = QStringLiteral("HH:mm:ss");

template <typename T>
T* Named(T* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QTimeEdit* TimePicker(const QString& name) {
    auto* picker = Named(new QTimeEdit, name);
    picker->setDisplayFormat(kTimeFormat);
    picker->setEnabled(false);
    return picker;
}

// The locale's short date, with the year in full: two digits would put a far day in the
// wrong century.
QString ShortDateFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

}  // namespace

Tfm_sche::Tfm_sche(Settings& settings, const Clock& clock, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint),
      settings_(settings),
      clock_(clock) {
    setObjectName(QStringLiteral("fm_sche"));
    setWindowTitle(QStringLiteral("Schedule Settings"));

    auto* modeGroup = new QGroupBox(QStringLiteral("Schedule Mode"));
    RadioButton1 = Named(new QRadioButton(QStringLiteral("Disabled schedule")), "RadioButton1");
    RadioButton2 = Named(new QRadioButton(QStringLiteral("Every Day")), "RadioButton2");
    RadioButton3 = Named(new QRadioButton(QStringLiteral("Special Day")), "RadioButton3");
    date_time = Named(new QDateEdit, "date_time");
    date_time->setCalendarPopup(true);
    date_time->setDisplayFormat(ShortDateFormat());
    auto* modeLayout = new QHBoxLayout(modeGroup);
    modeLayout->addWidget(RadioButton1);
    modeLayout->addWidget(RadioButton2);
    modeLayout->addWidget(RadioButton3);
    modeLayout->addWidget(date_time, 1);

    auto* timeGroup = new QGroupBox(QStringLiteral("Schedule Time"));
    auto* timeLayout = new QGridLayout(timeGroup);
    const QString beginNames[] = {QStringLiteral("Begintime1"), QStringLiteral("begintime2"),
                                  QStringLiteral("begintime3")};
    for (int k = 0; k < 3; ++k) {
        const QString number = QString::number(k + 1);
        cb_rec[k] = Named(new QCheckBox(QStringLiteral("Begin Time:")), "cb_rec" + number);
        begintime[k] = TimePicker(beginNames[k]);
        endtime[k] = TimePicker("endtime" + number);
        timeLayout->addWidget(cb_rec[k], k, 0);
        timeLayout->addWidget(begintime[k], k, 1);
        timeLayout->addWidget(new QLabel(QStringLiteral("End Time:")), k, 2);
        timeLayout->addWidget(endtime[k], k, 3);
    }

    auto* closeGroup = new QGroupBox(QStringLiteral("      Sechedule Close the computer"));
    CB_SHOWD = Named(new QCheckBox, "CB_SHOWD");
    dtpTime = TimePicker(QStringLiteral("dtpTime"));
    auto* closeLayout = new QHBoxLayout(closeGroup);
    closeLayout->addWidget(CB_SHOWD);
    closeLayout->addWidget(
        new QLabel(QStringLiteral("Automatically Shut down your computer at the time you set")), 1);
    closeLayout->addWidget(dtpTime);

    sche_bt_ok = Named(new QPushButton(QStringLiteral("Ok")), "sche_bt_ok");
    Button2 = Named(new QPushButton(QStringLiteral("default")), "Button2");
    Button3 = Named(new QPushButton(QStringLiteral("Cancel")), "Button3");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(sche_bt_ok);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(modeGroup);
    layout->addWidget(timeGroup);
    layout->addWidget(closeGroup);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    SetValues(InitialSchedule(clock_.Now()));

    int option = 0;
    for (QRadioButton* button : {RadioButton1, RadioButton2, RadioButton3})
        connect(button, &QRadioButton::clicked, this,
                Reporting([this, o = option++] { OptionClick(o); }));
    for (QCheckBox* box : cb_rec)
        connect(box, &QCheckBox::clicked, this, Reporting(this, &Tfm_sche::SlotClick));
    connect(CB_SHOWD, &QCheckBox::clicked, this, Reporting(this, &Tfm_sche::CB_SHOWDClick));
    connect(sche_bt_ok, &QPushButton::clicked, this, Reporting(this, &Tfm_sche::sche_bt_okClick));
    connect(Button2, &QPushButton::clicked, this, Reporting(this, &Tfm_sche::Button2Click));
    connect(Button3, &QPushButton::clicked, this, Reporting(this, &Tfm_sche::Button3Click));
}

void Tfm_sche::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window the system shows again after minimising keeps what the user set.
    if (!event->spontaneous())
        ReportFailures([this] { Load(); });
}

void Tfm_sche::Load() {
    SetValues(LoadScheduleSettings(settings_, clock_.Now(), Values()));
}

void Tfm_sche::ShowModalAt(QPoint topLeft, QWidget* owner) {
    ExecDialogOver(*this, owner, topLeft);
}

void Tfm_sche::ShowAt(QPoint topLeft, QWidget* owner) {
    ShowDialogOver(*this, owner, topLeft);
}

void Tfm_sche::AttachToSettingsPages(SettingsPageDialogs& pages, QWidget* settingsWindow) {
    pages.showSchedule = [this, settingsWindow](QPoint topLeft) {
        ShowAt(topLeft, settingsWindow);
    };
    pages.hideSchedule = [this] { hide(); };
}

ScheduleSettings Tfm_sche::Values() const {
    ScheduleSettings v;
    v.mode = mode_;
    v.checkedOption = checkedOption_;
    for (int k = 0; k < 3; ++k) {
        ScheduleSlot& slot = v.timeSlots[k];
        slot.on = cb_rec[k]->isChecked();
        slot.boxEnabled = cb_rec[k]->isEnabled();
        slot.begin = begintime[k]->time();
        slot.end = endtime[k]->time();
        slot.beginEnabled = begintime[k]->isEnabled();
        slot.endEnabled = endtime[k]->isEnabled();
    }
    v.day = date_time->date();
    v.dayEnabled = date_time->isEnabled();
    v.powerOff = CB_SHOWD->isChecked();
    v.powerOffTime = dtpTime->time();
    v.powerOffTimeEnabled = dtpTime->isEnabled();
    return v;
}

void Tfm_sche::SetValues(const ScheduleSettings& v) {
    mode_ = v.mode;
    checkedOption_ = v.checkedOption;
    QRadioButton* const options[] = {RadioButton1, RadioButton2, RadioButton3};
    for (int o = 0; o < 3; ++o) {
        // An auto-exclusive option refuses to be unchecked when it is the checked one.
        options[o]->setAutoExclusive(false);
        options[o]->setChecked(o == v.checkedOption);
        options[o]->setAutoExclusive(true);
    }
    for (int k = 0; k < 3; ++k) {
        const ScheduleSlot& slot = v.timeSlots[k];
        cb_rec[k]->setChecked(slot.on);
        cb_rec[k]->setEnabled(slot.boxEnabled);
        begintime[k]->setTime(slot.begin);
        endtime[k]->setTime(slot.end);
        begintime[k]->setEnabled(slot.beginEnabled);
        endtime[k]->setEnabled(slot.endEnabled);
    }
    date_time->setDate(v.day);
    date_time->setEnabled(v.dayEnabled);
    CB_SHOWD->setChecked(v.powerOff);
    dtpTime->setTime(v.powerOffTime);
    dtpTime->setEnabled(v.powerOffTimeEnabled);
}

void Tfm_sche::OptionClick(int option) {
    ScheduleSettings v = Values();
    ScheduleOptionClicked(v, option);
    SetValues(v);
}

void Tfm_sche::SlotClick() {
    ScheduleSettings v = Values();
    RefreshSlots(v);
    SetValues(v);
}

void Tfm_sche::CB_SHOWDClick() {
    ScheduleSettings v = Values();
    PowerOffClicked(v);
    SetValues(v);
}

// A write that fails keeps the window open; the error handler says why.
void Tfm_sche::sche_bt_okClick() {
    SettingsBatch batch(settings_);
    SaveScheduleSettings(Values(), batch);
    batch.Commit();
    close();
}

void Tfm_sche::Button2Click() {
    ScheduleSettings v = Values();
    v.powerOff = false;
    PowerOffClicked(v);
    SetValues(v);
    StorePowerOff(settings_, false);
}

void Tfm_sche::Button3Click() {
    close();
}
