#include "join/JoinRow.h"

#include <QFileInfo>

#include "components/AudioFile2.h"
#include "components/MainDisplays.h"

JoinRow MeasureJoinRow(AudioFile2& reader, const QString& path) {
    reader.OpenFile(path);
    JoinRow row;
    row.caption = QFileInfo(path).fileName();
    row.timeText = TimeText(reader.Duration() / 1000);
    row.frames = reader.Samples();
    row.path = QFileInfo(path).absoluteFilePath();
    reader.CloseFile();
    return row;
}
