#include "join/JoinList.h"

#include <QFileInfo>
#include <algorithm>

#include "components/AudioFile2.h"
#include "config/AppState.h"

JoinList::JoinList(AppState& state, AudioFile2& reader, ListHost& host)
    : state_(state), reader_(reader), host_(host) {}

QString JoinList::TimeText(qint64 ms) {
    const qint64 s = ms / 1000;
    return QString::asprintf("%.2lld:%.2lld:%.2lld", static_cast<long long>(s / 3600),
                             static_cast<long long>(s % 3600 / 60), static_cast<long long>(s % 60));
}

JoinRow JoinList::Measure(const QString& path) {
    if (reader_.IsOpen())
        reader_.CloseFile();
    reader_.OpenFile(path, 0, 1);
    JoinRow row{QFileInfo(path).fileName(), TimeText(reader_.Duration()), reader_.Samples(), path};
    reader_.CloseFile();
    return row;
}

// A file that cannot be measured gets no row; the user hears of it and the rest go on.
bool JoinList::Append(const QString& path) {
    try {
        rows_.push_back(Measure(path));
        return true;
    } catch (...) {
        if (reader_.IsOpen())
            reader_.CloseFile();
        host_.ShowMessage(QStringLiteral("Read ") + path + QStringLiteral(" error!!"));
        return false;
    }
}

void JoinList::AddFiles() {
    if (state_.StoppingRecord)
        AddRecording();
    else if (!state_.Recording && !state_.Playing && !state_.JoinRunning)
        AddChosenFiles();
}

void JoinList::AddRecording() {
    if (!Append(state_.OutputFile))
        return;
    selected_ = {static_cast<int>(rows_.size()) - 1};
    host_.Changed();
    if (state_.ListShown)
        host_.FocusList();
}

void JoinList::AddChosenFiles() {
    const int first = static_cast<int>(rows_.size());
    for (const QString& path : host_.AskFilesToAdd()) {
        if (!Append(path))
            continue;
        selected_ = {first};
        host_.Changed();
    }
}

void JoinList::RemoveSelected() {
    if (state_.Recording || state_.Playing || state_.JoinRunning)
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
    if (i < 0 || to < 0 || to >= static_cast<int>(rows_.size()) || state_.JoinRunning)
        return;
    if (i == playRow_)
        playRow_ = to;
    std::swap(rows_[static_cast<size_t>(i)], rows_[static_cast<size_t>(to)]);
    selected_.erase(i);
    selected_.insert(to);
    host_.Changed();
    host_.FocusList();
}

void JoinList::lvClick() {
    const int count = static_cast<int>(rows_.size());
    if (count == 0)
        return;
    if (state_.Playing) {
        selected_.clear();
        if (playRow_ >= 0 && playRow_ < count)
            selected_.insert(playRow_);
    } else if (!selected_.empty()) {
        lastSelectedRow_ = FirstSelected();
        return;
    } else {
        lastSelectedRow_ = std::min(lastSelectedRow_, count - 1);
        selected_ = {lastSelectedRow_};
    }
    host_.Changed();
}
