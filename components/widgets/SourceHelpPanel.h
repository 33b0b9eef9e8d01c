#pragma once

#include <QGroupBox>
#include <QString>
#include <array>

class QLabel;
class QPushButton;

// Four help texts, one visible at a time under "Help", with Preview and Next going round them
// in a ring; the dialog that holds the panel gives the texts and names its last button.
class SourceHelpPanel : public QGroupBox {
    Q_OBJECT

public:
    using Texts = std::array<QString, 4>;
    SourceHelpPanel(const Texts& texts, const QString& lastButtonText, const char* lastButtonName,
                    QWidget* parent = nullptr);

    std::array<QLabel*, 4> helpTexts{};
    QPushButton* bt_pre;
    QPushButton* bt_nex;
    QPushButton* lastButton;

    int CurrentText() const { return current_; }
    void ShowText(int index);

private:
    int current_ = 0;
};
