#pragma once

#include <QString>
#include <cstdint>
#include <vector>

// Chapter marks for a joined file: one per row, from the row's first frame in the output.
struct JoinChapter {
    QString title;
    int64_t startMs = 0;
    int64_t endMs = 0;
    bool operator==(const JoinChapter&) const = default;
};

// Writes chapter marks (ID3v2 CHAP frames with a table of contents) into a finished MP3.
class ChapterWriter {
public:
    virtual ~ChapterWriter() = default;
    // Replaces any chapters the file had; its sound is not touched, and a write that fails
    // leaves the file as it was. Throws SonvaraError.
    virtual void WriteChapters(const QString& file, const std::vector<JoinChapter>& chapters) = 0;
    // The title in a file's tag, empty when it has none or cannot be read.
    virtual QString TagTitle(const QString& file) = 0;
};
