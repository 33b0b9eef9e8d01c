#include "config/dir.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "components/ErrorBoundary.h"
#include "components/SonvaraError.h"
#include "components/widgets/DialogPlacement.h"
#include "config/FolderTree.h"
#include "config/SettingsKeys.h"
#include "config/SettingsPageDialogs.h"

namespace {

constexpr int kPathRole = Qt::UserRole + 1;
// Set once a node's sub-folders have been read; until then it holds a placeholder child so
// that the tree offers to expand it.
constexpr int kListedRole = Qt::UserRole + 2;

QString ItemPath(const QStandardItem* item) {
    return item ? item->data(kPathRole).toString() : QString();
}

bool IsPlaceholder(const QStandardItem* item) {
    return !item->data(kPathRole).isValid();
}

}  // namespace

Tfm_dir::Tfm_dir(Settings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      settings_(settings),
      model_(new QStandardItemModel(this)),
      folderIcon_(icons_.icon(QAbstractFileIconProvider::Folder)) {
    setObjectName(QStringLiteral("fm_dir"));
    setWindowTitle(QStringLiteral("Output Directory"));
    setModal(false);

    // A model of our own rather than QFileSystemModel: that one watches every folder it has
    // read and changes under the user's hands; this tree changes only when the user acts.
    ShellTreeView1 = new QTreeView(this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setModel(model_);
    ShellTreeView1->setHeaderHidden(true);
    ShellTreeView1->setUniformRowHeights(true);
    ShellTreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShellTreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellTreeView1->viewport()->installEventFilter(this);
    connect(ShellTreeView1, &QTreeView::expanded, this, Reporting([this](const QModelIndex& index) {
                ListNode(model_->itemFromIndex(index));
            }));
    connect(model_, &QStandardItemModel::itemChanged, this, Reporting(this, &Tfm_dir::NameFolder));

    const QString home = QDir::cleanPath(QDir::homePath());
    QStandardItem* top = model_->invisibleRootItem();
    AddFolderItem(top, 0, home, QStringLiteral("Home"), icons_.icon(QFileInfo(home)));
    AddFolderItem(top, 1, QStringLiteral("/"), QStringLiteral("/"),
                  icons_.icon(QAbstractFileIconProvider::Drive));

    btn_ok = new QPushButton(QStringLiteral("Ok"), this);
    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_ok->setDefault(true);
    btn_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    Button1 = new QPushButton(QStringLiteral("New Folder"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    connect(btn_ok, &QPushButton::clicked, this, Reporting(this, &Tfm_dir::btn_okClick));
    connect(btn_cancel, &QPushButton::clicked, this, Reporting(this, &Tfm_dir::btn_cancelClick));
    connect(Button1, &QPushButton::clicked, this, Reporting(this, &Tfm_dir::Button1Click));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addStretch();
    buttons->addWidget(btn_ok);
    buttons->addWidget(btn_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ShellTreeView1);
    layout->addLayout(buttons);
    setFixedSize(330, 400);
}

void Tfm_dir::ShowAt(QPoint topLeft, QWidget* owner) {
    ShowDialogOver(*this, owner, topLeft);
}

void Tfm_dir::AttachToSettingsPages(SettingsPageDialogs& pages, QWidget* settingsWindow) {
    pages.showOutputDirectory = [this, settingsWindow](QPoint topLeft, const QString& folder) {
        // A folder that is gone leaves the tree as the user left it.
        if (!folder.isEmpty())
            SelectPath(folder);
        ShowAt(topLeft, settingsWindow);
    };
}

QString Tfm_dir::SelectedPath() const {
    const QModelIndexList selected = ShellTreeView1->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : ItemPath(model_->itemFromIndex(selected.first()));
}

bool Tfm_dir::SelectPath(const QString& path) {
    if (!QDir::isAbsolutePath(path))
        return false;
    const QString target = QDir::cleanPath(path);
    const QString home = QDir::cleanPath(QDir::homePath());
    QStandardItem* item = model_->item(1);  // "/"
    QString rest = target;
    if (home != QLatin1String("/") &&
        (target == home || target.startsWith(home + QLatin1Char('/')))) {
        item = model_->item(0);
        rest = target.mid(home.size());
    }
    for (const QString& name : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        ListNode(item);
        item = ChildNamed(item, name);
        if (!item)
            return false;
    }
    for (QStandardItem* above = item->parent(); above; above = above->parent())
        ShellTreeView1->expand(above->index());
    ShellTreeView1->setCurrentIndex(item->index());
    ShellTreeView1->scrollTo(item->index());
    return true;
}

bool Tfm_dir::eventFilter(QObject* watched, QEvent* event) {
    // The view selects on the left button only; a right click selects the node as well.
    if (watched == ShellTreeView1->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            const QModelIndex index = ShellTreeView1->indexAt(mouse->position().toPoint());
            if (index.isValid())
                ShellTreeView1->setCurrentIndex(index);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// With nothing selected, Ok closes as Cancel does: an empty path would empty the settings
// window's folder.
void Tfm_dir::btn_okClick() {
    if (SelectedPath().isEmpty()) {
        btn_cancelClick();
        return;
    }
    chosenPath_ = SelectedPath();
    Write(settings_, keys::kChosenDirectory, chosenPath_);
    emit PathChosen(chosenPath_);
    accept();
}

void Tfm_dir::btn_cancelClick() {
    chosenPath_.clear();
    reject();
}

void Tfm_dir::Button1Click() {
    const QModelIndexList selected = ShellTreeView1->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    QStandardItem* item = model_->itemFromIndex(selected.first());
    const QString parentPath = ItemPath(item);
    if (parentPath.isEmpty())
        return;
    const bool made = MakeNewFolder(parentPath);
    // Refreshed whether or not the folder was made: it may have come from elsewhere.
    RefreshNode(item);
    ShellTreeView1->expand(item->index());
    // As in a file manager, the user names the new folder in place; the selection stays on
    // the parent until the name is taken.
    QStandardItem* folder =
        made ? ChildNamed(item, QFileInfo(NewFolderPath(parentPath)).fileName()) : nullptr;
    if (!folder)
        return;
    folder->setEditable(true);
    ShellTreeView1->scrollTo(folder->index());
    ShellTreeView1->edit(folder->index());
}

void Tfm_dir::NameFolder(QStandardItem* item) {
    const QString path = ItemPath(item);
    const QString oldName = QFileInfo(path).fileName();
    if (!item->isEditable() || item->text() == oldName)
        return;
    QString renamed;
    try {
        renamed = RenameFolder(path, item->text());
    } catch (const SonvaraError&) {
        item->setText(oldName);
        throw;
    }
    item->setData(renamed, kPathRole);
    item->setEditable(false);
    // Sorted into place once the editor has let go of the item.
    const QPersistentModelIndex parent = item->parent()->index();
    QMetaObject::invokeMethod(
        this, Reporting([this, parent, renamed] {
            QStandardItem* above = model_->itemFromIndex(parent);
            if (!above)
                return;
            RefreshNode(above);
            if (QStandardItem* folder = ChildNamed(above, QFileInfo(renamed).fileName()))
                ShellTreeView1->setCurrentIndex(folder->index());
        }),
        Qt::QueuedConnection);
}

QStandardItem* Tfm_dir::AddFolderItem(QStandardItem* parent, int row, const QString& path,
                                      const QString& text, const QIcon& icon) {
    auto* item = new QStandardItem(icon, text);
    item->setEditable(false);
    item->setData(path, kPathRole);
    item->setData(false, kListedRole);
    if (HasSubFolders(path)) {
        auto* placeholder = new QStandardItem;
        placeholder->setFlags(Qt::NoItemFlags);
        item->appendRow(placeholder);
    }
    parent->insertRow(row, item);
    return item;
}

void Tfm_dir::ListNode(QStandardItem* item) {
    if (item->data(kListedRole).toBool())
        return;
    item->removeRows(0, item->rowCount());
    const QString path = ItemPath(item);
    const QStringList names = SubFolderNames(path);
    for (int row = 0; row < names.size(); ++row)
        AddFolderItem(item, row, ChildFolderPath(path, names[row]), names[row], folderIcon_);
    item->setData(true, kListedRole);
}

void Tfm_dir::RefreshNode(QStandardItem* item) {
    if (!item->data(kListedRole).toBool()) {
        ListNode(item);
        return;
    }
    // Merged rather than rebuilt, so that expanded sub-folders stay expanded.
    const QString path = ItemPath(item);
    const QStringList names = SubFolderNames(path);
    for (int row = item->rowCount() - 1; row >= 0; --row) {
        if (!names.contains(item->child(row)->text()))
            item->removeRow(row);
    }
    for (int row = 0; row < names.size(); ++row) {
        int found = row;
        while (found < item->rowCount() && item->child(found)->text() != names[row])
            ++found;
        if (found == item->rowCount())
            AddFolderItem(item, row, ChildFolderPath(path, names[row]), names[row], folderIcon_);
        else if (found != row)
            item->insertRow(row, item->takeRow(found));
    }
}

QStandardItem* Tfm_dir::ChildNamed(QStandardItem* item, const QString& name) const {
    for (int row = 0; row < item->rowCount(); ++row) {
        QStandardItem* child = item->child(row);
        if (!IsPlaceholder(child) && child->text() == name)
            return child;
    }
    return nullptr;
}
