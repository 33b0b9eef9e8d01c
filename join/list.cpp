#include "join/list.h"

#include <QCloseEvent>
#include <QHeaderView>

#include "app/main.h"

Tfm_list::Tfm_list(AppState& state, Tfm_main& main, QWidget* parent)
    : QWidget(parent),
      lv(new QTableWidget(this)),
      state_(state),
      main_(main),
      mainFrame_(main),
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
    WidgetSkin& skin = main_.Skin1();
    connect(&skin, &Skin::OnFormMouseDown, this,
            [this](QObject* window, Qt::MouseButton, int x, int y) {
                if (window == this)
                    drag_.FormMouseDown(x, y);
            });
    connect(&skin, &Skin::OnFormMouseMove, this, [this](QObject* window, int x, int y) {
        if (window == this)
            drag_.FormMouseMove(x, y);
    });
    connect(&skin, &Skin::OnFormMouseUp, this, [this](QObject* window) {
        if (window == this)
            drag_.FormMouseUp();
    });
}

void Tfm_list::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    WidgetSkin& skin = main_.Skin1();
    skin.ApplySkin(this);
    skin.ApplyForm(this, QStringLiteral("listwin"));
    lv->setGeometry(skin.AreaRect(this, QStringLiteral("lv")));
    lv->raise();
    PlaceListUnderMain(mainFrame_, frame_);
    state_.ListShown = true;
}

void Tfm_list::closeEvent(QCloseEvent* event) {
    state_.ListShown = false;
    event->accept();
}
