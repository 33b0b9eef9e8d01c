#pragma once

#include <QDir>
#include <QTableWidget>
#include <QWidget>
#include <functional>
#include <memory>

#include "components/widgets/WidgetFrame.h"
#include "config/AppState.h"
#include "join/JoinEngine.h"
#include "join/JoinList.h"
#include "join/ListDocking.h"

class AudioFile2;
class WidgetSkin;

// The join list window: its face is the skin's "listwin" form around the list view `lv`,
// which shows the rows of its JoinList. It docks under the main window when shown and snaps to
// it while dragged.
class Tfm_list : public QWidget, private ListHost, private JoinHost {
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
    // What a join job shows and asks through this window; progress goes to showProgress.
    JoinHost& JoinView() { return *this; }
    void SetProgressDisplay(std::function<void(const QString&)> showProgress) {
        showProgress_ = std::move(showProgress);
    }
    // While set, the list's messages are added there instead of shown in a box.
    void DivertMessages(QStringList* to) { divertedMessages_ = to; }

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

    QString AskOutputFile(const QString& folder) override;
    void SetTimeHeader(const QString& text) override;
    void SetRowTime(int row, const QString& text) override;
    void ShowProgress(const QString& text) override;
    void PumpEvents() override;
    void OpenFolder(const QString& folder) override;

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
    std::function<void(const QString&)> showProgress_;
    QStringList* divertedMessages_ = nullptr;
};
