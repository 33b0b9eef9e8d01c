#pragma once

#include <QDialog>
#include <QPoint>
#include <array>

#include "record/SourceSelection.h"

class AudioRecord2;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class Settings;
struct SettingsPageDialogs;

// The recording source window ("Recording Source"): the input line to record from and its
// level. Every change goes to the recorder at once; Ok and Cancel only close. No title-bar
// buttons, so only its own buttons close it.
class Tfm_dev : public QDialog {
    Q_OBJECT

public:
    explicit Tfm_dev(AudioRecord2& recorder, QWidget* parent = nullptr);

    // Lists the devices and lines at start-up and makes the active line current; they are
    // listed again whenever the window opens or the recorder's lines change while it is open.
    // The settings must outlive the window.
    void FillAtStartUp(const Settings& settings);
    // From the main window: Help enabled, modal.
    void ShowModalAt(QPoint topLeft, QWidget* owner = nullptr);
    // Without waiting, in front if already shown; it takes input while its owner is modal.
    void ShowAt(QPoint topLeft, QWidget* owner = nullptr);
    // Shows this window as the settings window's "Recording Source" page, Help disabled.
    void AttachToSettingsPages(SettingsPageDialogs& pages, QWidget* settingsWindow);

    QComboBox* cb_rd;
    QComboBox* cb_rdson;
    QSlider* tb_rd;
    QPushButton* dev_bt_ok;
    QPushButton* dev_bt_can;
    QPushButton* dev_bt_help;
    QGroupBox* gb_help;
    std::array<QLabel*, 4> helpTexts{};
    QPushButton* bt_pre;
    QPushButton* bt_nex;
    QPushButton* Button4;

    void cb_rdsonChange(int item);
    void tb_rdChange(int position);

private:
    void Refill();

    SourceSelection selection_;
    const Settings* settings_ = nullptr;
};
