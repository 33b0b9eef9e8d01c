#pragma once

#include <QTableWidget>
#include <QWidget>
#include <memory>

#include "components/widgets/WidgetFrame.h"
#include "config/AppState.h"
#include "join/ListDocking.h"

class WidgetSkin;

// The join list window: its face is the skin's "listwin" form around the list view `lv`. It
// docks under the main window when shown and snaps to it while dragged.
class Tfm_list : public QWidget {
    Q_OBJECT

public:
    // The list takes its face from the main window's skin and docks under mainWindow.
    Tfm_list(AppState& state, WidgetSkin& skin, QWidget& mainWindow, QWidget* parent = nullptr);
    ~Tfm_list() override;

    QTableWidget* lv;
    void FocusList() { lv->setFocus(); }

    // Columns of a row: the shown name and time, then the length in frames and the full path.
    enum Column { NameColumn, TimeColumn, FramesColumn, PathColumn };

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetUpListView();
    void ConnectSkin();

    AppState& state_;
    WidgetSkin& skin_;
    WidgetFrame frame_{*this};
    WidgetFrame mainFrame_;
    QtMouseButtons mouse_;
    ListWindowDrag drag_;
};
