#pragma once

#include <QTableWidget>
#include <QWidget>
#include <memory>

#include "app/AppState.h"
#include "app/Docking.h"
#include "app/WidgetFrame.h"

class Tfm_main;

// The join list window: its face is the skin's "listwin" form around the list view `lv`. It
// docks under the main window when shown and snaps to it while dragged.
class Tfm_list : public QWidget {
    Q_OBJECT

public:
    Tfm_list(AppState& state, Tfm_main& main, QWidget* parent = nullptr);
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
    Tfm_main& main_;
    WidgetFrame frame_{*this};
    WidgetFrame mainFrame_;
    QtMouseButtons mouse_;
    ListWindowDrag drag_;
};
