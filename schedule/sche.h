#pragma once

#include <QDialog>
#include <QPoint>
#include <array>

#include "schedule/ScheduleRunner.h"
#include "schedule/ScheduleSettings.h"

class Clock;
class QCheckBox;
class QDateEdit;
class QRadioButton;
class QPushButton;
class QTimeEdit;
class Settings;
struct SettingsPageDialogs;

// The schedule window ("Schedule Settings"): the mode, three recording slots and the
// power-off. Its controls are the schedule in force, confirmed or not; every show reloads them
// from the settings, Ok writes them back, Cancel only closes.
class Tfm_sche : public QDialog, public ScheduleSource {
    Q_OBJECT

public:
    // clock gives the pickers' time and day where nothing is stored.
    Tfm_sche(Settings& settings, const Clock& clock, QWidget* parent = nullptr);

    // The show step, also run at start-up so the stored schedule is in force from then on.
    void Load();
    // From the main window: modal.
    void ShowModalAt(QPoint topLeft, QWidget* owner = nullptr);
    // Without waiting, in front if already shown; it takes input while its owner is modal.
    void ShowAt(QPoint topLeft, QWidget* owner = nullptr);
    // Shows this window as the settings window's "Schedule" page.
    void AttachToSettingsPages(SettingsPageDialogs& pages, QWidget* settingsWindow);

    ScheduleSettings Values() const;
    void SetValues(const ScheduleSettings& values);
    ScheduleSettings LiveSchedule() const override { return Values(); }

    void sche_bt_okClick();
    void Button2Click();
    void Button3Click();

    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    QDateEdit* date_time;
    std::array<QCheckBox*, 3> cb_rec{};     // cb_rec1 .. cb_rec3
    std::array<QTimeEdit*, 3> begintime{};  // Begintime1, begintime2, begintime3
    std::array<QTimeEdit*, 3> endtime{};    // endtime1 .. endtime3
    QCheckBox* CB_SHOWD;
    QTimeEdit* dtpTime;
    QPushButton* sche_bt_ok;
    QPushButton* Button2;
    QPushButton* Button3;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OptionClick(int option);
    void SlotClick();
    void CB_SHOWDClick();

    Settings& settings_;
    const Clock& clock_;
    // ScheduleMode and which option shows checked; the widgets do not say the latter when none is.
    int mode_ = kScheduleDisabled;
    int checkedOption_ = -1;
};
