#include "join/JoinList.h"

#include <algorithm>

#include "components/AudioFile2.h"
#include "components/MainDisplays.h"
#include "config/Activity.h"

JoinList::JoinList(const Activity& activity, AudioFile2& reader, ListHost& host)
    : activity_(activity), reader_(reader), host_(host) {}

JoinRow JoinList::Measure(const QString& path) {
    if (reader_.IsOpen())
        reader_.CloseFile();
    return MeasureJoinRow(reader_, path);
}

// A file that cannot be measured gets no row; the caller tells the user.
bool JoinList::Append(const QString& path) {
    try {
        rows_.push_back(Measure(path));
        return true;
    } catch (...) {
        if (reader_.IsOpen())
            reader_.CloseFile();
        return false;
    }
}

QString JoinList::ReadError(const QString& path) {
    return QStringLiteral("Read ") + path + QStringLiteral(" error!!");
}

bool JoinList::Busy() const {
    return activity_.Recording() || activity_.Playing() || activity_.Joining();
}

void JoinList::AddFiles() {
    if (!Busy())
        AddChosenFiles();
}

// Taken while the recording is still being finished, so Busy() does not refuse it.
void JoinList::AddRecording(const QString& file) {
    if (!Append(file)) {
        host_.ShowMessage(ReadError(file));
        return;
    }
    selected_ = {static_cast<int>(rows_.size()) - 1};
    host_.Changed();
    host_.FocusList();
}

// The dialog's event loop may have let a recording start: the refusal is asked again.
void JoinList::AddChosenFiles() {
    const QStringList paths = host_.AskFilesToAdd();
    if (Busy())
        return;
    AddEach(paths, [this](const QString& path) { host_.ShowMessage(ReadError(path)); });
}

// Nobody chose these files here one by one: one message names all that failed.
bool JoinList::AddPaths(const QStringList& paths) {
    if (Busy())
        return false;
    QStringList failures;
    AddEach(paths, [&failures](const QString& path) { failures << ReadError(path); });
    if (!failures.isEmpty())
        host_.ShowMessage(failures.join(u'\n'));
    return true;
}

void JoinList::AddEach(const QStringList& paths,
                       const std::function<void(const QString&)>& failed) {
    const int first = static_cast<int>(rows_.size());
    for (const QString& path : paths) {
        if (!Append(path)) {
            failed(path);
            continue;
        }
        selected_ = {first};
        host_.Changed();
    }
}

void JoinList::RemoveSelected() {
    if (Busy())
        return;
    std::vector<JoinRow> kept;
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        if (!selected_.count(i))
            kept.push_back(std::move(rows_[static_cast<size_t>(i)]));
    }
    rows_ = std::move(kept);
    selected_.clear();
    host_.Changed();
    host_.FocusList();
}

void JoinList::MoveUp() {
    Move(-1);
}

void JoinList::MoveDown() {
    Move(1);
}

// Only the first selected row moves; it trades places with its neighbour and takes its
// selection along, while the other rows keep theirs.
void JoinList::Move(int by) {
    const int i = FirstSelected();
    const int to = i + by;
    if (i < 0 || to < 0 || to >= static_cast<int>(rows_.size()) || activity_.Joining())
        return;
    if (i == playRow_)
        playRow_ = to;
    std::swap(rows_[static_cast<size_t>(i)], rows_[static_cast<size_t>(to)]);
    selected_.erase(i);
    selected_.insert(to);
    host_.Changed();
    host_.FocusList();
}

void JoinList::Select(int row) {
    selected_ = {row};
    host_.Changed();
}

// During playback too: the row clicked is the one the next "play" takes.
void JoinList::lvClick() {
    const int count = static_cast<int>(rows_.size());
    if (count == 0)
        return;
    if (!selected_.empty()) {
        lastSelectedRow_ = FirstSelected();
        return;
    }
    lastSelectedRow_ = std::min(lastSelectedRow_, count - 1);
    selected_ = {lastSelectedRow_};
    host_.Changed();
}
