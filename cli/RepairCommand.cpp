#include "cli/RepairCommand.h"

#include "app/ProgramCore.h"
#include "cli/CliError.h"
#include "components/Mp3Frames.h"
#include "components/SonvaraError.h"
#include "join/JoinRow.h"
#include "tags/DefaultTag.h"

int RunRepairCommand(const QStringList& files, ProgramCore& core, QTextStream& out,
                     QTextStream& err) {
    if (files.isEmpty())
        throw UsageError(QStringLiteral("repair needs at least one file."));
    int status = 0;
    AudioFile2& reader = core.FileReader();
    DefaultTagWriter tags(core.Ini(), core.TagInfo());
    for (const QString& file : files) {
        try {
            const Mp3Repair repair = RepairMp3File(file);
            if (!repair.repaired) {
                out << "Nothing to repair in " << file << ": it is whole.\n";
                continue;
            }
            const JoinRow row = MeasureJoinRow(reader, file);
            out << "Repaired " << file << ": " << row.timeText << " (" << row.frames
                << " frames)\n";
            // A tag of the user's own stays. As for a recording: a stored year or track that is
            // no number leaves it untagged.
            if (repair.tagged)
                continue;
            if (const auto refusal = tags.WriteDefaultTags(file)) {
                err << "sonvara-cli: " << refusal->message << ": the default tag's " << refusal->key
                    << " in Kelvo.ini is \"" << refusal->value << "\"; " << file
                    << " is left untagged.\n";
            }
        } catch (const SonvaraError& e) {
            err << "sonvara-cli: " << e.message() << "\n";
            status = 1;
        }
    }
    return status;
}
