#include "cli/InfoCommand.h"

#include "cli/CliError.h"
#include "cli/FileArguments.h"
#include "components/AudioInformation2.h"

namespace {

void PrintInfo(const QString& file, const AudioInformation2& info, QTextStream& out) {
    out << WithNamesShown(file) << "\n"
        << "  Frequency:     " << info.Frequency() << " Hz\n"
        << "  Bitrate:       " << info.Bitrate() << " bps\n"
        << "  Duration:      " << info.Duration() << " ms\n"
        << "  Channels:      " << info.Channels() << "\n"
        << "  Samples:       " << info.Samples() << "\n"
        << "  Size:          " << info.Size() << "\n"
        << "  BitsPerSample: " << info.BitsPerSample() << "\n"
        << "  FormatTag:     " << info.FormatTag() << "\n";
    PrintTag(info, out);
}

}  // namespace

void PrintTag(const AudioInformation2& info, QTextStream& out) {
    out << "  Title:         " << info.infoTitle() << "\n"
        << "  Artist:        " << info.infoArtist() << "\n"
        << "  Album:         " << info.infoAlbum() << "\n"
        << "  Year:          " << info.infoYearValue() << "\n"
        << "  Track:         " << info.infoTrackNumber() << "\n"
        << "  Genre:         " << info.infoGenreText() << "\n"
        << "  Comment:       " << info.infoComments() << "\n";
}

int RunInfoCommand(const QStringList& files, AudioInformation2& info, QTextStream& out,
                   QTextStream& err) {
    if (files.isEmpty())
        throw UsageError(QStringLiteral("info needs at least one file."));
    int status = 0;
    for (const QString& file : files) {
        try {
            info.ReadFromFile(file);
            PrintInfo(file, info, out);
        } catch (const SonvaraError& e) {
            err << "sonvara-cli: " << WithNamesShown(e.message()) << "\n";
            status = 1;
        }
    }
    return status;
}
