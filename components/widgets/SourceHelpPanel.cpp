#include "components/widgets/SourceHelpPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton* Button(const QString& text, const char* name) {
    auto* button = new QPushButton(text);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

}  // namespace

SourceHelpPanel::SourceHelpPanel(const Texts& texts, const QString& lastButtonText,
                                 const char* lastButtonName, QWidget* parent)
    : QGroupBox(QStringLiteral("Help"), parent),
      bt_pre(Button(QStringLiteral("Preview"), "bt_pre")),
      bt_nex(Button(QStringLiteral("Next"), "bt_nex")),
      lastButton(Button(lastButtonText, lastButtonName)) {
    setObjectName(QStringLiteral("gb_help"));
    auto* layout = new QVBoxLayout(this);
    for (std::size_t i = 0; i < helpTexts.size(); ++i) {
        helpTexts[i] = new QLabel(texts[i]);
        helpTexts[i]->setObjectName(QStringLiteral("lb_help%1").arg(i + 1));
        helpTexts[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        helpTexts[i]->setVisible(i == 0);
        layout->addWidget(helpTexts[i], 1);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bt_pre);
    buttons->addWidget(bt_nex);
    buttons->addStretch(1);
    buttons->addWidget(lastButton);
    layout->addLayout(buttons);
    const int count = static_cast<int>(helpTexts.size());
    connect(bt_nex, &QPushButton::clicked, this,
            [this, count] { ShowText((current_ + 1) % count); });
    connect(bt_pre, &QPushButton::clicked, this,
            [this, count] { ShowText((current_ + count - 1) % count); });
}

void SourceHelpPanel::ShowText(int index) {
    helpTexts[current_]->setVisible(false);
    current_ = index;
    helpTexts[current_]->setVisible(true);
}
