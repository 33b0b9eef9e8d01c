#include "app/RecordingRecovery.h"

#include <QDir>
#include <QStringList>

#include "components/Mp3Frames.h"
#include "components/SonvaraError.h"
#include "join/JoinRow.h"
#include "record/RecordingMarker.h"

void RecoverRecordings(const QString& markerFolder, AudioFile2& reader, RecoveryHost& host) {
    QStringList recovered, failed;
    for (const RecordingMarker::LeftBehind& left : RecordingMarker::FindLeftBehind(markerFolder)) {
        try {
            RepairMp3File(left.file);
            const JoinRow row = MeasureJoinRow(reader, left.file);
            recovered << QStringLiteral("%1 (%2)").arg(QDir::toNativeSeparators(left.file),
                                                       row.timeText);
            RecordingMarker::Dismiss(left);
            host.RecordingRecovered(left.file);
        } catch (const SonvaraError& error) {
            RecordingMarker::Dismiss(left);
            failed << error.message();
        }
    }
    QStringList text;
    if (!recovered.isEmpty()) {
        text << (recovered.size() == 1
                     ? QStringLiteral("A recording was cut off and has been repaired:")
                     : QStringLiteral("Recordings were cut off and have been repaired:"))
             << recovered;
    }
    if (!failed.isEmpty())
        text << failed;
    if (!text.isEmpty())
        host.ShowMessage(text.join(QLatin1Char('\n')));
}
