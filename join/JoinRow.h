#pragma once

#include <QString>
#include <cstdint>

class AudioFile2;

// One row of the join list: what it shows, the length the reader announced and the file.
struct JoinRow {
    QString caption;   // the file name without its folder
    QString timeText;  // "hh:mm:ss", hours not capped
    int64_t frames = 0;
    QString path;
    bool operator==(const JoinRow&) const = default;
};

// The row for a file, measured as the list measures what it adds: opened with the reader, its
// length and duration taken, closed again. Throws the reader's SonvaraError naming the file.
JoinRow MeasureJoinRow(AudioFile2& reader, const QString& path);
