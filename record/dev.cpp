#include "record/dev.h"

#include "components/ErrorBoundary.h"
#include "components/widgets/DialogPlacement.h"
#include "components/widgets/SourceHelpPanel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "components/AudioRecord2.h"
#include "config/SettingsPageDialogs.h"
#include "record/SourceHelp.h"

namespace {

const QSize kSize(400, 330);

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

Tfm_dev::Tfm_dev(AudioRecord2& recorder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      selection_(recorder) {
    setWindowTitle(QStringLiteral("Recording Source"));
    setFixedSize(kSize);

    auto* device = new QGroupBox(QStringLiteral("Recording Device "));
    auto* deviceLayout = new QVBoxLayout(device);
    cb_rd = Named(new QComboBox, "cb_rd");
    cb_rdson = Named(new QComboBox, "cb_rdson");
    deviceLayout->addWidget(cb_rd);
    deviceLayout->addWidget(cb_rdson);

    auto* volume = new QGroupBox(QStringLiteral("Recording Volume"));
    auto* volumeLayout = new QVBoxLayout(volume);
    tb_rd = Named(new QSlider(Qt::Horizontal), "tb_rd");
    tb_rd->setRange(0, 66535);
    tb_rd->setTickPosition(QSlider::NoTicks);
    volumeLayout->addWidget(tb_rd);
    volumeLayout->addWidget(
        new QLabel(QStringLiteral("Please low the volume as possible. The lower")));
    volumeLayout->addWidget(new QLabel(QStringLiteral(" the volume, the better the quality. ")));

    dev_bt_ok = Named(new QPushButton(QStringLiteral("Ok")), "dev_bt_ok");
    dev_bt_can = Named(new QPushButton(QStringLiteral("Cancel")), "dev_bt_can");
    dev_bt_help = Named(new QPushButton(QStringLiteral("Help")), "dev_bt_help");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(dev_bt_ok);
    buttons->addWidget(dev_bt_can);
    buttons->addWidget(dev_bt_help);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(device);
    layout->addWidget(volume);
    layout->addStretch(1);
    layout->addLayout(buttons);

    // Over everything else, outside the layout.
    auto* panel = new SourceHelpPanel(SourceHelpTexts(), QStringLiteral("I Know"), "Button4", this);
    gb_help = panel;
    gb_help->setGeometry(rect());
    gb_help->setAutoFillBackground(true);
    helpTexts = panel->helpTexts;
    bt_pre = panel->bt_pre;
    bt_nex = panel->bt_nex;
    Button4 = panel->lastButton;
    gb_help->hide();

    connect(cb_rdson, &QComboBox::currentIndexChanged, this,
            Reporting(this, &Tfm_dev::cb_rdsonChange));
    connect(tb_rd, &QSlider::valueChanged, this, Reporting(this, &Tfm_dev::tb_rdChange));
    connect(dev_bt_ok, &QPushButton::clicked, this, &QDialog::close);
    connect(dev_bt_can, &QPushButton::clicked, this, &QDialog::close);
    connect(dev_bt_help, &QPushButton::clicked, gb_help, &QWidget::show);
    connect(Button4, &QPushButton::clicked, gb_help, &QWidget::hide);
    // Entries of an old listing would choose other lines than they name.
    connect(&recorder, &AudioRecord2::InputsChanged, this, Reporting([this] {
        if (isVisible()) {
            Refill();
        }
    }));
}

// The controls only take what the recorder reports; nothing goes back to it from here.
void Tfm_dev::FillAtStartUp(const Settings& settings) {
    settings_ = &settings;
    Refill();
}

// A sound server that came after start-up, or a source plugged in since, shows on opening.
void Tfm_dev::Refill() {
    if (!settings_) {
        return;
    }
    const SourceLists lists = selection_.ListSources(*settings_);
    const QSignalBlocker blockLines(cb_rdson);
    const QSignalBlocker blockLevel(tb_rd);
    cb_rd->clear();
    cb_rd->addItems(lists.devices);
    cb_rd->setCurrentIndex(lists.deviceSelection);
    cb_rdson->clear();
    cb_rdson->addItems(lists.lines);
    cb_rdson->setCurrentIndex(lists.lineSelection);
    tb_rd->setValue(lists.volume);
}

void Tfm_dev::ShowModalAt(QPoint topLeft, QWidget* owner) {
    dev_bt_help->setEnabled(true);
    if (!isVisible()) {
        Refill();
    }
    ExecDialogOver(*this, owner, topLeft);
}

void Tfm_dev::ShowAt(QPoint topLeft, QWidget* owner) {
    if (!isVisible()) {
        Refill();
    }
    ShowDialogOver(*this, owner, topLeft);
}

void Tfm_dev::AttachToSettingsPages(SettingsPageDialogs& pages, QWidget* settingsWindow) {
    pages.showSource = [this, settingsWindow](QPoint topLeft) { ShowAt(topLeft, settingsWindow); };
    pages.disableSourceHelp = [this] { dev_bt_help->setEnabled(false); };
    pages.hideSource = [this] { hide(); };
}

// Setting the level from here also runs tb_rdChange, which writes the same level back.
void Tfm_dev::cb_rdsonChange(int item) {
    tb_rd->setValue(selection_.ChooseLine(item));
}

void Tfm_dev::tb_rdChange(int position) {
    selection_.SetVolume(position);
}
