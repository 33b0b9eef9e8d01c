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

}  // namespace

Tfm_main::Tfm_main(ProgramCore& core, QString skinFile, QWidget* parent)
    : QWidget(parent),
      state_(core.State()),
      skinFile_(std::move(skinFile)),
      settings_(core.Ini()),
      AudioRecord1(core.Recorder()),
      AudioPlayer21(core.Player()),
      AudioFileWrite(core.FileWriter()),
      AudioFilepaly(core.FileReader()),
      AudioFile2LameEnc1(core.Encoder()),
      AudioVisualization21(new LevelDisplay(this)),
      clock_(core.WallClock()),
      marker_(QFileInfo(settings_.Path()).absolutePath()),
      recording_({state_, settings_, clock_, AudioRecord1, AudioFileWrite, AudioFile2LameEnc1,
                  *AudioVisualization21, displays_, sleep_, *this, &marker_}) {
    setWindowTitle(kTitle);
    // Shown only while recording or playing; the name lets the end-to-end tests see that.
    AudioVisualization21->setObjectName(QStringLiteral("AudioVisualization21"));
    // Presses on the level display belong to the window background, so it drags the window.
    AudioVisualization21->setAttribute(Qt::WA_TransparentForMouseEvents);
    ConnectSkin();
    ConnectRecorder();
    ConnectPlayer();
}

Tfm_main::~Tfm_main() = default;

void Tfm_main::SetLinks(MainWindowLinks links) {
    links_ = std::move(links);
    drag_.reset();
    minimiseTogether_.reset();
    listFrame_.reset();
    playback_.reset();
    if (links_.list)
        playback_ = std::make_unique<PlaybackControl>(
            PlaybackControl::Parts{state_, AudioPlayer21, AudioFilepaly, *AudioVisualization21,
                                   displays_, *links_.list, *this});
    if (!links_.listWindow)
        return;
    listFrame_ = std::make_unique<WidgetFrame>(*links_.listWindow);
    drag_ = std::make_unique<MainWindowDrag>(state_, frame_, *listFrame_, mouse_);
    minimiseTogether_ = std::make_unique<MinimiseTogether>(*this, *links_.listWindow);
}

void Tfm_main::ConnectSkin() {
    ConnectSkinCommands(
        skin_, commands_, [this] { return displays_.BarPosition(); }, *this);
    connect(&skin_, &Skin::OnFormMouseDown, this,
            Reporting([this](QObject* window, Qt::MouseButton, int x, int y) {
                if (window == this && drag_)
                    drag_->FormMouseDown(x, y);
            }));
    connect(&skin_, &Skin::OnFormMouseMove, this, Reporting([this](QObject* window, int x, int y) {
        if (window == this && drag_)
            drag_->FormMouseMove(x, y);
    }));
    connect(&skin_, &Skin::OnFormMouseUp, this, Reporting([this](QObject* window) {
        if (window == this && drag_)
            drag_->FormMouseUp();
    }));
}

void Tfm_main::ConnectRecorder() {
    // Capture has ended by itself; the handler shows why and finishes the file.
    connect(&AudioRecord1, &AudioRecord2::OnError, this,
            [this](const QString& message) { HandleError(message); });
}

void Tfm_main::ConnectPlayer() {
    // Playback has stopped by itself; the handler shows why and returns to idle.
    connect(&AudioPlayer21, &AudioPlayer2::OnError, this,
            [this](const QString& message) { HandleError(message); });
}

void Tfm_main::StartPlayback() {
    if (playback_)
        playback_->StartPlayback();
}

void Tfm_main::StopPlayback() {
    if (playback_)
        playback_->StopPlayback();
}

void Tfm_main::TogglePlayPause() {
    if (playback_)
        playback_->TogglePlayPause();
}

void Tfm_main::SeekTo(int barPosition) {
    if (playback_)
        playback_->SeekTo(barPosition);
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
    state_.StoppingRecord = false;
    state_.PositionBase = 0;
    state_.RecordNotPaused = true;
    state_.PlayNotPaused = true;
    // With no sound server the lists stay empty and start-up goes on. One that does not answer
    // is reported once the windows stand, instead of leaving them without their skin.
    std::exception_ptr sourcesFailure;
    try {
        Call<const Settings&>(links_.fillSourceDialog, settings_);
    } catch (...) {
        sourcesFailure = std::current_exception();
    }
    // The settings window's controls hold what is stored from now on, so a recording started
    // before the window was ever shown saves the user's settings, not the initial states.
    Call(links_.loadSettingsDialog);
    // The stored schedule is in force from now on, not only once its window has been shown.
    Call(links_.loadScheduleDialog);
    state_.BarFollows = true;
    AudioVisualization21->SetDisplayKind(17);
    ApplyMainSkin();
    AudioVisualization21->SetVisible(false);
    ShowList();
    // Once the windows stand, so that the message has them behind it and the scan does not
    // hold up their first paint.
    AfterFirstPaint::Run({this, links_.listWindow}, this, [this] {
        RecoverRecordings(QFileInfo(settings_.Path()).absolutePath(), AudioFilepaly, *this);
    });
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

void Tfm_main::closeEvent(QCloseEvent* event) {
    // Nothing is asked; what runs is finished so that no file is left half written. A join
    // pumps events, so this may run inside it: it finishes its output once this returns, and
    // the event loop then ends. A stop that fails is shown, and the program still ends.
    ReportFailures([this] {
        Call(links_.endJoin);
        if (state_.Recording)
            StopRecording();
        if (state_.Playing)
            StopPlayback();
    });
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

// As a stopped recording: listed, then given the default tag.
void Tfm_main::RecordingRecovered(const QString& file) {
    if (links_.list)
        links_.list->AddPaths({file});
    Call<const QString&>(links_.writeDefaultTags, file);
}

void Tfm_main::AddFilesFromOutside(const QStringList& files) {
    pendingFiles_.Offer(files);
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void Tfm_main::ShowTagDialog(QPoint topLeft) {
    Call(links_.showTagDialog, topLeft);
}

void Tfm_main::ShowMessage(const QString& text) {
    if (divertedMessages_) {
        *divertedMessages_ << text;
        return;
    }
    QMessageBox::information(this, kTitle, text);
}

void Tfm_main::CommitSettings() {
    Call(links_.commitSettings);
}

void Tfm_main::ShowOutputPath(const QString& path) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, path, QMessageBox::Ok, this);
    box.exec();
}

// The stop routine's mark (StoppingRecord) makes the list take the recording itself.
void Tfm_main::RecordingFinished(const QString& file, bool writeTag) {
    AddFiles();
    if (writeTag)
        Call<const QString&>(links_.writeDefaultTags, file);
}

void Tfm_main::AddFiles() {
    if (links_.list)
        links_.list->AddFiles();
}

void Tfm_main::RemoveSelected() {
    if (links_.list)
        links_.list->RemoveSelected();
}

void Tfm_main::MoveUp() {
    if (links_.list)
        links_.list->MoveUp();
}

void Tfm_main::MoveDown() {
    if (links_.list)
        links_.list->MoveDown();
}

void Tfm_main::JoinFiles() {
    Call(links_.joinFiles);
}
