#pragma once

#include <QString>
#include <cstdint>

// One row of the join list: what it shows, the length the reader announced and the file.
struct JoinRow {
    QString caption;   // the file name without its folder
    QString timeText;  // "hh:mm:ss", hours not capped
    int64_t frames = 0;
    QString path;
    bool operator==(const JoinRow&) const = default;
};
