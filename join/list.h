#pragma once

#include <QDir>
#include <QTableWidget>
#include <QWidget>
#include <memory>

#include "components/widgets/WidgetFrame.h"
#include "config/AppState.h"
#include "join/JoinList.h"
#include "join/ListDocking.h"

class AudioFile2;
class WidgetSkin;

// The join list window: its face is the skin's "listwin" form around the list view `lv`,
// which shows the rows of its JoinList. It docks under the main window when shown and snaps to
// it while dragged.
class Tfm_list : public QWidget, private ListHost {
    Q_OBJECT

public:
    // The list takes its face from the main window's skin and docks under mainWindow; reader
    // measures the files added.
    Tfm_list(AppState& state, WidgetSkin& skin, QWidget& mainWindow, AudioFile2& reader,
             QWidget* parent = nullptr);
    ~Tfm_list() override;

    QTableWidget* lv;
    JoinList& List() { return list_; }
    void FocusList() override { lv->setFocus(); }

    // Columns of a row: the shown name and time, then the length in frames and the full path.
    enum Column { NameColumn, TimeColumn, FramesColumn, PathColumn };

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStringList AskFilesToAdd() override;
    void ShowMessage(const QString& text) override;
    void Changed() override;

    void SetUpListView();
    void ConnectSkin();
    void ShowRow(int index, const JoinRow& row);
    void TakeSelection();

    AppState& state_;
    WidgetSkin& skin_;
    WidgetFrame frame_{*this};
    WidgetFrame mainFrame_;
    QtMouseButtons mouse_;
    ListWindowDrag drag_;
    JoinList list_;
    QString openFolder_ = QDir::homePath();
};
