#include "join/list.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QUrl>

#include "components/ErrorBoundary.h"
#include "components/FfmpegAudioReader.h"
#include "components/widgets/WidgetSkin.h"

namespace {

// The first entry, the one shown at first, offers every kind of file the reader takes.
QString OpenFilter() {
    QStringList patterns;
    for (const QString& extension : FfmpegAudioReader::Extensions())
        patterns << QStringLiteral("*.") + extension;
    return QStringLiteral(
               "All Supported Files (%1);;MP3 Files (*.mp3);;WAV Files (*.wav);;"
               "WMA Files (*.wma);;OGG Files (*.ogg);;FLAC Files (*.flac);;"
               "Opus Files (*.opus);;RAW Files (*.raw);;ALL Files (*)")
        .arg(patterns.join(QLatin1Char(' ')));
}

}  // namespace

Tfm_list::Tfm_list(JoinList& list, DragState& drag, WidgetSkin& skin, QWidget& mainWindow,
                   QWidget* parent)
    : QWidget(parent),
      lv(new QTableWidget(this)),
      list_(list),
      skin_(skin),
      mainFrame_(mainWindow),
      drag_(drag, mainFrame_, frame_, mouse_) {
    setWindowTitle(QStringLiteral("List"));
    lv->setObjectName(QStringLiteral("lv"));
    SetUpListView();
    ConnectSkin();
    connect(lv->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            Reporting(this, &Tfm_list::TakeSelection));
    // Also a click below the rows, which selects nothing by itself.
    lv->viewport()->installEventFilter(this);
    // As the skin's "del", refusals included.
    auto* remove = new QShortcut(QKeySequence::Delete, lv, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, Reporting([this] { list_.RemoveSelected(); }));
}

Tfm_list::~Tfm_list() = default;

void Tfm_list::SetUpListView() {
    lv->setColumnCount(4);
    lv->setHorizontalHeaderLabels(
        {QStringLiteral("File Name:"), QStringLiteral("Time:"), QString(), QString()});
    lv->setColumnWidth(NameColumn, 336);
    lv->setColumnWidth(TimeColumn, 91);
    lv->setColumnHidden(FramesColumn, true);
    lv->setColumnHidden(PathColumn, true);
    lv->verticalHeader()->hide();
    lv->horizontalHeader()->setSectionsClickable(false);
    lv->horizontalHeader()->setStretchLastSection(false);
    lv->setShowGrid(true);
    lv->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv->setFrameShape(QFrame::NoFrame);
    lv->setStyleSheet(QStringLiteral("QTableWidget { background: silver; }"));
}

void Tfm_list::ConnectSkin() {
    connect(&skin_, &Skin::OnFormMouseDown, this,
            Reporting([this](QObject* window, Qt::MouseButton, int x, int y) {
                if (window == this)
                    drag_.FormMouseDown(x, y);
            }));
    connect(&skin_, &Skin::OnFormMouseMove, this, Reporting([this](QObject* window, int x, int y) {
        if (window == this)
            drag_.FormMouseMove(x, y);
    }));
    connect(&skin_, &Skin::OnFormMouseUp, this, Reporting([this](QObject* window) {
        if (window == this)
            drag_.FormMouseUp();
    }));
}

void Tfm_list::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Back from the task bar it keeps its face and its place, docked or not.
    if (event->spontaneous())
        return;
    ReportFailures([this] {
        skin_.ApplySkin(this);
        skin_.ApplyForm(this, QStringLiteral("listwin"));
        lv->setGeometry(skin_.AreaRect(this, QStringLiteral("lv")));
        lv->raise();
        PlaceListUnderMain(mainFrame_, frame_);
    });
}

// Opens where files were last added from, at first in the home folder.
QStringList Tfm_list::AskFilesToAdd() {
    const QStringList files =
        QFileDialog::getOpenFileNames(this, QStringLiteral("Open"), openFolder_, OpenFilter());
    if (!files.isEmpty())
        openFolder_ = QFileInfo(files.first()).absolutePath();
    return files;
}

void Tfm_list::FocusList() {
    if (isVisible())
        lv->setFocus();
}

void Tfm_list::ShowMessage(const QString& text) {
    QMessageBox::information(this, QGuiApplication::applicationDisplayName(), text);
}

// The rows are few; showing them all again keeps the view a plain copy of the list.
void Tfm_list::Changed() {
    const QSignalBlocker block(lv->selectionModel());
    const auto& rows = list_.Rows();
    lv->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i)
        ShowRow(i, rows[static_cast<size_t>(i)]);
    lv->clearSelection();
    for (int row : list_.Selected())
        lv->selectionModel()->select(lv->model()->index(row, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    // New rows and moved ones are selected: the user sees where they went.
    if (!list_.Selected().empty()) {
        lv->doItemsLayout();  // else the scroll range does not yet reach the new rows
        lv->scrollToItem(lv->item(*list_.Selected().begin(), NameColumn));
    }
    lv->viewport()->update();
}

void Tfm_list::ShowRow(int index, const JoinRow& row) {
    const auto set = [&](int column, const QString& text) {
        if (QTableWidgetItem* item = lv->item(index, column))
            item->setText(text);
        else
            lv->setItem(index, column, new QTableWidgetItem(text));
    };
    set(NameColumn, row.caption);
    set(TimeColumn, row.timeText);
    set(FramesColumn, QString::number(row.frames));
    set(PathColumn, row.path);
}

QString Tfm_list::AskOutputFile(const QString& folder) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), folder,
                                        QStringLiteral("MP3 Files (*.mp3)"));
}

void Tfm_list::SetTimeHeader(const QString& text) {
    lv->horizontalHeaderItem(TimeColumn)->setText(text);
}

// The row a join works on stays in view.
void Tfm_list::SetRowTime(int row, const QString& text) {
    if (QTableWidgetItem* item = lv->item(row, TimeColumn)) {
        item->setText(text);
        lv->scrollToItem(item);
    }
}

void Tfm_list::PumpEvents() {
    QCoreApplication::processEvents();
}

// Not waited for; a desktop without a file manager is not reported.
void Tfm_list::OpenFolder(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void Tfm_list::TakeSelection() {
    std::set<int> rows;
    for (const QModelIndex& index : lv->selectionModel()->selectedRows())
        rows.insert(index.row());
    list_.SetSelected(std::move(rows));
}

bool Tfm_list::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lv->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        ReportFailures([this] { list_.lvClick(); });
    return QWidget::eventFilter(watched, event);
}
