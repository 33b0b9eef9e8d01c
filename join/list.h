#pragma once

#include <QDir>
#include <QTableWidget>
#include <QWidget>
#include <memory>

#include "components/widgets/WidgetFrame.h"
#include "join/JoinList.h"
#include "join/ListDocking.h"
#include "join/ListView.h"

class WidgetSkin;

// The join list window, a view of the program's list: its face is the skin's "listwin" form
// around the list view `lv`, which shows the list's rows. It docks under the main window when
// shown and snaps to it while dragged.
class Tfm_list : public QWidget, public ListView {
    Q_OBJECT

public:
    // The window takes its face from the main window's skin and docks under mainWindow; drag
    // is shared with the main window.
    Tfm_list(JoinList& list, DragState& drag, WidgetSkin& skin, QWidget& mainWindow,
             QWidget* parent = nullptr);
    ~Tfm_list() override;

    QTableWidget* lv;
    // The view takes the keyboard focus while the window is shown.
    void FocusList() override;

    // Columns of a row: the shown name and time, then the length in frames and the full path.
    enum Column { NameColumn, TimeColumn, FramesColumn, PathColumn };

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStringList AskFilesToAdd() override;
    void ShowMessage(const QString& text) override;
    void Changed() override;

    QString AskOutputFile(const QString& folder) override;
    void SetTimeHeader(const QString& text) override;
    void SetRowTime(int row, const QString& text) override;
    void PumpEvents() override;
    void OpenFolder(const QString& folder) override;

    void SetUpListView();
    void ConnectSkin();
    void ShowRow(int index, const JoinRow& row);
    void TakeSelection();

    JoinList& list_;
    WidgetSkin& skin_;
    WidgetFrame frame_{*this};
    WidgetFrame mainFrame_;
    QtMouseButtons mouse_;
    ListWindowDrag drag_;
    QString openFolder_ = QDir::homePath();
};
