#include "cli/RepairCommand.h"

#include "cli/CliError.h"
#include "components/CodecAudioFile2.h"
#include "components/Mp3Frames.h"
#include "components/SonvaraError.h"
#include "join/JoinRow.h"

int RunRepairCommand(const QStringList& files, QTextStream& out, QTextStream& err) {
    if (files.isEmpty())
        throw UsageError(QStringLiteral("repair needs at least one file."));
    int status = 0;
    CodecAudioFile2 reader;
    for (const QString& file : files) {
        try {
            RepairMp3File(file);
            const JoinRow row = MeasureJoinRow(reader, file);
            out << "Repaired " << file << ": " << row.timeText << " (" << row.frames
                << " frames)\n";
        } catch (const SonvaraError& e) {
            err << "sonvara-cli: " << e.message() << "\n";
            status = 1;
        }
    }
    return status;
}
