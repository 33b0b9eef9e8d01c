#include "join/list.h"

#include <QCloseEvent>
#include <QHeaderView>

#include "components/widgets/WidgetSkin.h"

Tfm_list::Tfm_list(AppState& state, WidgetSkin& skin, QWidget& mainWindow, QWidget* parent)
    : QWidget(parent),
      lv(new QTableWidget(this)),
      state_(state),
      skin_(skin),
      mainFrame_(mainWindow),
      drag_(state, mainFrame_, frame_, mouse_) {
    setWindowTitle(QStringLiteral("List"));
    SetUpListView();
    ConnectSkin();
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
            [this](QObject* window, Qt::MouseButton, int x, int y) {
                if (window == this)
                    drag_.FormMouseDown(x, y);
            });
    connect(&skin_, &Skin::OnFormMouseMove, this, [this](QObject* window, int x, int y) {
        if (window == this)
            drag_.FormMouseMove(x, y);
    });
    connect(&skin_, &Skin::OnFormMouseUp, this, [this](QObject* window) {
        if (window == this)
            drag_.FormMouseUp();
    });
}

void Tfm_list::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    skin_.ApplySkin(this);
    skin_.ApplyForm(this, QStringLiteral("listwin"));
    lv->setGeometry(skin_.AreaRect(this, QStringLiteral("lv")));
    lv->raise();
    PlaceListUnderMain(mainFrame_, frame_);
    state_.ListShown = true;
}

void Tfm_list::closeEvent(QCloseEvent* event) {
    state_.ListShown = false;
    event->accept();
}
