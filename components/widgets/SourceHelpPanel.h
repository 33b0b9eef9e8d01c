#pragma once

#include <QGroupBox>
#include <array>

class QLabel;
class QPushButton;

// The four texts on choosing a recording source, one visible at a time under "Help", with
// Preview and Next going round them; the dialog that holds the panel names its last button.
class SourceHelpPanel : public QGroupBox {
    Q_OBJECT

public:
    SourceHelpPanel(const QString& lastButtonText, const char* lastButtonName,
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
