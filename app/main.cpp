#include "app/main.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "components/ErrorBoundary.h"
#include "components/ProgramFolders.h"
#include "components/widgets/FirstPaint.h"

namespace {

const QString kTitle = QStringLiteral("Sonvara V1.02");

template <typename... Args>
void Call(const std::function<void(Args...)>& hook, Args... args) {
    if (hook)
        hook(args...);
}

// What the program tells, in front of its windows: a message box with one OK button.
void Box(QWidget* owner, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, kTitle, text, QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace

Tfm_main::Tfm_main(Program& program, DragState& drag, QString skinFile, QWidget* parent)
    : QWidget(parent),
      program_(program),
      drag_(drag),
      skinFile_(std::move(skinFile)),
      AudioVisualization21(new LevelDisplay(this)) {
    setWindowTitle(kTitle);
    // Shown only while recording or playing; the name lets the end-to-end tests see that.
    AudioVisualization21->setObjectName(QStringLiteral("AudioVisualization21"));
    // Presses on the level display belong to the window background, so it drags the window.
    AudioVisualization21->setAttribute(Qt::WA_TransparentForMouseEvents);
    ConnectSkin();
    program_.SetView(this);
}

Tfm_main::~Tfm_main() {
    program_.SetView(nullptr);
}

void Tfm_main::SetLinks(MainWindowLinks links) {
    links_ = std::move(links);
    dragging_.reset();
    minimiseTogether_.reset();
    listFrame_.reset();
    if (!links_.listWindow)
        return;
    listFrame_ = std::make_unique<WidgetFrame>(*links_.listWindow);
    dragging_ = std::make_unique<MainWindowDrag>(drag_, frame_, *listFrame_, mouse_);
    minimiseTogether_ = std::make_unique<MinimiseTogether>(*this, *links_.listWindow);
}

// The displays are kept still while the window is dragged, and shown again at any release.
void Tfm_main::ConnectSkin() {
    ConnectSkinCommands(
        skin_, commands_, [this] { return displays_.BarPosition(); }, *this);
    connect(&skin_, &Skin::OnFormMouseDown, this,
            Reporting([this](QObject* window, Qt::MouseButton, int x, int y) {
                if (window != this || !dragging_)
                    return;
                dragging_->FormMouseDown(x, y);
                displays_.HoldTexts(!drag_.notDragging);
            }));
    connect(&skin_, &Skin::OnFormMouseMove, this, Reporting([this](QObject* window, int x, int y) {
        if (window == this && dragging_)
            dragging_->FormMouseMove(x, y);
    }));
    connect(&skin_, &Skin::OnFormMouseUp, this, Reporting([this](QObject* window) {
        if (window == this && dragging_)
            dragging_->FormMouseUp();
        displays_.HoldTexts(!drag_.notDragging);
    }));
}

void Tfm_main::BringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Tfm_main::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (started_)
        return;
    started_ = true;
    ReportFailures([this] { StartUp(); });
}

// A failure skips the rest of the sequence; the application-wide handler shows it.
void Tfm_main::StartUp() {
    // With no sound server the lists stay empty and start-up goes on. One that does not answer
    // is reported once the windows stand, instead of leaving them without their skin.
    std::exception_ptr sourcesFailure;
    try {
        Call(links_.fillSourceDialog);
    } catch (...) {
        sourcesFailure = std::current_exception();
    }
    // The settings window's controls hold what is stored from now on, so a recording started
    // before the window was ever shown saves the user's settings, not the initial states.
    Call(links_.loadSettingsDialog);
    // The stored schedule is in force from now on, not only once its window has been shown.
    Call(links_.loadScheduleDialog);
    ApplyMainSkin();
    AudioVisualization21->SetVisible(false);
    ShowList();
    // Once the windows stand, so that the message has them behind it and the scan does not
    // hold up their first paint.
    AfterFirstPaint::Run({this, links_.listWindow}, this, [this] { program_.RecoverRecordings(); });
    if (sourcesFailure)
        std::rethrow_exception(sourcesFailure);
}

void Tfm_main::ApplyMainSkin() {
    skin_.LoadSkin(skinFile_);
    skin_.ApplySkin(this);
    skin_.ApplyForm(this, QStringLiteral("kelvox"));
    displays_.Bind(skin_.GetSkinForm(this));
    AudioVisualization21->setGeometry(skin_.AreaRect(this, QStringLiteral("level")));
    AudioVisualization21->raise();
    displays_.SetBarPosition(0);
    displays_.SetBarEnabled(false);
}

// Nothing is asked; what runs is finished so that no file is left half written. A join pumps
// events, so this may run inside it: it finishes its output once this returns, and the event
// loop then ends. What the finishing has to say is shown, and the program still ends.
void Tfm_main::closeEvent(QCloseEvent* event) {
    for (const QString& message : program_.EndForExit())
        ShowMessage(message, true);
    event->accept();
    CloseList();
    QCoreApplication::quit();
}

// A minimised list comes back, and the main window with it.
void Tfm_main::ShowList() {
    if (!links_.listWindow)
        return;
    links_.listWindow->setWindowState(links_.listWindow->windowState() & ~Qt::WindowMinimized);
    links_.listWindow->show();
}

bool Tfm_main::ListShown() const {
    return links_.listWindow && links_.listWindow->isVisible();
}

bool Tfm_main::ListMinimized() const {
    return links_.listWindow && links_.listWindow->isMinimized();
}

void Tfm_main::CloseList() {
    if (links_.listWindow)
        links_.listWindow->close();
}

void Tfm_main::FocusList() {
    Call(links_.focusList);
}

QString Tfm_main::HelpFile() const {
    return ProgramFolders::DataFolder() + QStringLiteral("/help/index.html");
}

bool Tfm_main::OpenInViewer(const QString& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

void Tfm_main::ShowSettingsDialog(QPoint topLeft) {
    Call(links_.showSettingsDialog, topLeft);
}

void Tfm_main::ShowScheduleDialog(QPoint topLeft) {
    Call(links_.showScheduleDialog, topLeft);
}

void Tfm_main::ShowSourceDialog(QPoint topLeft) {
    Call(links_.showSourceDialog, topLeft);
}

void Tfm_main::ShowTagDialog(QPoint topLeft) {
    Call(links_.showTagDialog, topLeft);
}

void Tfm_main::AddFilesFromOutside(const QStringList& files) {
    pendingFiles_.Offer(files);
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void Tfm_main::ShowMessage(const QString& text, bool warning) {
    if (divertedMessages_) {
        *divertedMessages_ << text;
        return;
    }
    Box(this, text, warning ? QMessageBox::Warning : QMessageBox::Information);
}

void Tfm_main::Notify(const QString& summary, const QString& body) {
    notifier_.Notify(summary, body);
}

void Tfm_main::ShowOutputPath(const QString& path) {
    Box(this, path, QMessageBox::NoIcon);
}

void Tfm_main::SettingsCommitted(bool stored) {
    Call(links_.settingsCommitted, stored);
}
