#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <set>
#include <vector>

#include "join/JoinRow.h"

class Activity;
class AudioFile2;

// What the list asks of its window.
class ListHost {
public:
    virtual ~ListHost() = default;
    // The open dialog; the chosen files in its order, none when cancelled.
    virtual QStringList AskFilesToAdd() = 0;
    // An information box with one OK button; returns when it is closed.
    virtual void ShowMessage(const QString& text) = 0;
    // The list view takes the keyboard focus, when it is shown.
    virtual void FocusList() = 0;
    // Rows or selection changed: the view shows them again.
    virtual void Changed() = 0;
};

// The files to join, in order, with the rows the user has selected. Files are added through
// the open dialog or when a recording stops, measured by the reader; rows are removed and moved
// one place at a time. While a job runs the list does not change under it.
class JoinList {
public:
    JoinList(const Activity& activity, AudioFile2& reader, ListHost& host);

    const std::vector<JoinRow>& Rows() const { return rows_; }
    const std::set<int>& Selected() const { return selected_; }
    // The user changed the selection in the view.
    void SetSelected(std::set<int> rows) { selected_ = std::move(rows); }
    // That row alone becomes selected, and the view shows it.
    void Select(int row);

    // The files chosen in the open dialog, the first of them selected.
    void AddFiles();
    // A finished recording, as the last and only selected row; the view takes the focus.
    void AddRecording(const QString& file);
    // Files given by path (from the command line, another copy, a repair), added as the open
    // dialog's are, except that one message names every file that could not be read.
    // Refused, adding nothing, while a recording, playback or join runs.
    bool AddPaths(const QStringList& paths);
    void RemoveSelected();
    void MoveUp();
    void MoveDown();
    // A click in the view: it always leaves a row selected in a list that has rows.
    void lvClick();

    // The row that playback is taken to be playing; the moves carry it along.
    int PlayRow() const { return playRow_; }
    void SetPlayRow(int row) { playRow_ = row; }

private:
    static QString ReadError(const QString& path);
    bool Busy() const;
    JoinRow Measure(const QString& path);
    bool Append(const QString& path);
    void AddChosenFiles();
    void AddEach(const QStringList& paths, const std::function<void(const QString&)>& failed);
    void Move(int by);
    int FirstSelected() const { return selected_.empty() ? -1 : *selected_.begin(); }

    const Activity& activity_;
    AudioFile2& reader_;
    ListHost& host_;
    std::vector<JoinRow> rows_;
    std::set<int> selected_;
    int playRow_ = 0;
    int lastSelectedRow_ = 0;
};
