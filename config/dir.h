#pragma once

#include <QDialog>
#include <QFileIconProvider>
#include <QPoint>
#include <QString>

#include "config/Settings.h"

struct SettingsPageDialogs;

class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

// The output directory dialog: picks a folder from a tree of the file system's folders (the
// home folder and "/" on top) and can make a "New Folder" in it, named by the user. Ok records
// the choice as output/path and announces it; Cancel, or Ok with nothing selected, changes
// nothing. Long-lived and non-modal.
class Tfm_dir : public QDialog {
    Q_OBJECT

public:
    explicit Tfm_dir(Settings& settings, QWidget* parent = nullptr);

    // Moves the dialog to topLeft and shows it without waiting, in front if already shown; it
    // takes input while its owner is modal.
    void ShowAt(QPoint topLeft, QWidget* owner = nullptr);
    // Shown over the settings window by its "..." button, open at the folder the window shows;
    // PathChosen tells it the folder.
    void AttachToSettingsPages(SettingsPageDialogs& pages, QWidget* settingsWindow);

    // Selects the folder at path, listing and expanding the nodes on the way. False, with the
    // selection unchanged, when the path is not absolute or a folder on it is not in the tree
    // (missing or hidden).
    bool SelectPath(const QString& path);
    // The selected folder's path; empty when nothing is selected.
    QString SelectedPath() const;
    // What the last Ok chose; Cancel empties it.
    const QString& ChosenPath() const { return chosenPath_; }

    QTreeView* ShellTreeView1;
    QPushButton* btn_ok;
    QPushButton* btn_cancel;
    QPushButton* Button1;

signals:
    // Emitted by Ok after it wrote output/path.
    void PathChosen(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void btn_okClick();
    void btn_cancelClick();
    void Button1Click();
    // The user typed a name for the new folder: renames it on disk, or says why not.
    void NameFolder(QStandardItem* item);

    QStandardItem* AddFolderItem(QStandardItem* parent, int row, const QString& path,
                                 const QString& text, const QIcon& icon);
    void ListNode(QStandardItem* item);
    void RefreshNode(QStandardItem* item);
    QStandardItem* ChildNamed(QStandardItem* item, const QString& name) const;

    Settings& settings_;
    QStandardItemModel* model_;
    QFileIconProvider icons_;
    QIcon folderIcon_;
    QString chosenPath_;
};
