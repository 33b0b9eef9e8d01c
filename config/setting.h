#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <array>
#include <functional>

#include "config/RecordingSettings.h"
#include "config/SettingsPageDialogs.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class SettingsModel;

// The settings window ("Settings"): length limitation, output folder and naming, MP3 encoder,
// on pages chosen from a tree. Long-lived; every show reloads the controls from the settings.
// The controls edit a SettingsModel, which a recording start commits with the window closed.
class SourceHelpPanel;

class Tfm_set : public QDialog {
    Q_OBJECT

public:
    // sourceHelp are the four texts of the "Recording Source" page.
    Tfm_set(SettingsModel& model, const std::array<QString, 4>& sourceHelp,
            QWidget* parent = nullptr);

    void SetPageDialogs(SettingsPageDialogs dialogs) { pageDialogs_ = std::move(dialogs); }
    // Where the refusal of an MP3 combination is told; a modal information box unless set.
    void SetMessageFunction(std::function<void(const QString&)> message) {
        message_ = std::move(message);
    }

    // Loads the controls as the show step does.
    void Load();
    // What start-up puts into the controls: the stored settings, with the folder last chosen
    // in the output directory dialog (output/path) in ed_dir. Until the first show, a Save
    // then writes back what is stored instead of the initial states.
    void LoadAtStartUp();
    // The output directory dialog chose a folder.
    void SetOutputDirectory(const QString& path);

    // Save: commits the model and closes. On a refusal tells the user, stays open and returns
    // false.
    bool set_bt_okClick();
    // What follows a commit of the model, by OK or by a recording start: as Save after its
    // writes.
    bool Committed(bool stored);
    // Sets the controls to the defaults; writes nothing.
    void set_bt_defaultClick();

    // What the controls hold; the model follows every change of them.
    RecordingSettings Values() const;
    void SetValues(const RecordingSettings& values);

    // The tree's entries in order, as tv_Click takes them.
    enum Page {
        kSourcePage,
        kFileLengthPage,
        kSchedulePage,
        kOutputFormatPage,
        kMp3Page,
        kActivationPage,
        kAboutPage
    };
    void tv_Click(int page);
    QWidget* CurrentPage() const;
    // The help text on show on pn_source, 0..3.
    int CurrentHelpText() const;

    QTreeWidget* tv;
    QStackedWidget* pages;
    QWidget* pn_source;
    QWidget* pn_file;
    QWidget* pn_format;
    QWidget* pn_mp3;
    QWidget* pn_activation;
    QWidget* pn_about;

    QCheckBox* length_en;
    QRadioButton* file_rb_time;
    QLineEdit* file_time;
    QCheckBox* file_limit_stop;
    QCheckBox* file_limit_new;

    QLineEdit* ed_dir;
    QPushButton* Button2;
    QComboBox* cb_format;
    QLineEdit* out_name;
    QRadioButton* rb_time;
    QRadioButton* rb_cust;
    QLabel* out_labe_dat;
    QLabel* out_labe_cus;

    QComboBox* cb_mp3_channel;
    QSpinBox* ud_mp3_quality;
    QComboBox* cb_mp3_bitrate;
    QComboBox* cb_mp3_frequency;
    QCheckBox* cb_vbr;
    QComboBox* cb_mp3_vbr;
    QSpinBox* ud_mp3_vbr;

    QCheckBox* cb_act;
    QSpinBox* ud_act_threshold;
    QSpinBox* ud_act_hold;
    QSpinBox* ud_act_silence;
    QComboBox* cb_act_mode;
    QSpinBox* ud_act_preroll;

    QGroupBox* gb_help;
    std::array<QLabel*, 4> helpTexts;
    QPushButton* bt_pre;
    QPushButton* bt_nex;
    QPushButton* Button1;

    QPushButton* set_bt_ok;
    QPushButton* set_bt_default;

    // Closes without storing, and drops the edits.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildSourcePage(const std::array<QString, 4>& texts);
    QWidget* BuildFilePage();
    QWidget* BuildFormatPage();
    QWidget* BuildMp3Page();
    QWidget* BuildActivationPage();
    QWidget* BuildAboutPage();
    void BuildTree();
    void Connect();
    void ConnectEdits();
    void ControlsEdited();
    void ShowValues();

    void length_enClick();
    void file_rb_timeClick();
    void cb_vbrClick();
    void rb_timeClick();
    void rb_custClick();
    void Button2Click();
    void Button1Click();
    void RefreshExamples();
    void ShowExamples(const NamingExamples& examples);
    void ApplyEnabledStates(const RecordingSettings& values);
    QPoint SourcePlace() const;
    QPoint SchedulePlace() const;

    SettingsModel& model_;
    bool showing_ = false;  // the controls are being set from the model
    SettingsPageDialogs pageDialogs_;
    std::function<void(const QString&)> message_;
    QWidget* pn_blank_;
    SourceHelpPanel* helpPanel_ = nullptr;
};
