#include "cli/TagCommand.h"

#include <optional>

#include "cli/CliError.h"
#include "cli/FileArguments.h"
#include "cli/InfoCommand.h"
#include "components/AudioInformation2.h"
#include "tags/DefaultTag.h"

namespace {

constexpr int kGenreCount = 148;

struct TagChanges {
    std::optional<QString> title, artist, album, comment;
    std::optional<int> year, track;
    std::optional<int> genre;  // a list entry, -1 for none

    bool Any() const { return title || artist || album || comment || year || track || genre; }
};

struct TagArguments {
    QStringList files;
    TagChanges changes;
};

int Number(const QString& option, const QString& text) {
    const std::optional<int> number = ParseTagNumber(text);
    if (!number)
        throw UsageError(
            QStringLiteral("%1 needs a whole number from 0 up (0 for none), not \"%2\".")
                .arg(option, text));
    return *number;
}

// A number of the genre list or one of its names in any letter case; empty for no genre.
int Genre(const QString& text, const AudioInformation2& info) {
    const QString given = text.trimmed();
    if (given.isEmpty())
        return -1;
    bool isNumber = false;
    const int number = given.toInt(&isNumber);
    if (isNumber && number >= 0 && number < kGenreCount)
        return number;
    for (int i = 0; !isNumber && i < kGenreCount; ++i) {
        if (info.GenreName(i).compare(given, Qt::CaseInsensitive) == 0)
            return i;
    }
    throw UsageError(QStringLiteral("--genre \"%1\" is no genre of the list: give a number from 0 "
                                    "to 147 or a name such as \"Rock\", as the tag editor lists "
                                    "them.")
                         .arg(text));
}

TagArguments ParseArguments(const QStringList& args, const AudioInformation2& info) {
    TagArguments parsed;
    bool optionsEnd = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnd || !arg.startsWith(u'-') || arg == u'-') {
            parsed.files << arg;
            continue;
        }
        if (arg == QStringLiteral("--")) {
            optionsEnd = true;
            continue;
        }
        if (i + 1 >= args.size())
            throw UsageError(QStringLiteral("%1 needs a value.").arg(arg));
        const QString value = args[++i];
        TagChanges& c = parsed.changes;
        if (arg == QStringLiteral("--title"))
            c.title = value;
        else if (arg == QStringLiteral("--artist"))
            c.artist = value;
        else if (arg == QStringLiteral("--album"))
            c.album = value;
        else if (arg == QStringLiteral("--comment"))
            c.comment = value;
        else if (arg == QStringLiteral("--year"))
            c.year = Number(arg, value);
        else if (arg == QStringLiteral("--track"))
            c.track = Number(arg, value);
        else if (arg == QStringLiteral("--genre"))
            c.genre = Genre(value, info);
        else
            throw UsageError(QStringLiteral("Unknown argument %1.").arg(arg));
    }
    if (parsed.files.isEmpty())
        throw UsageError(QStringLiteral("tag needs at least one file."));
    return parsed;
}

// The tag as the file holds it, with the given fields changed.
void Change(AudioInformation2& info, const TagChanges& changes) {
    if (changes.title)
        info.setInfoTitle(*changes.title);
    if (changes.artist)
        info.setInfoArtist(*changes.artist);
    if (changes.album)
        info.setInfoAlbum(*changes.album);
    if (changes.comment)
        info.setInfoComments(*changes.comment);
    if (changes.year)
        info.setInfoYearValue(*changes.year);
    if (changes.track)
        info.setInfoTrackNumber(*changes.track);
    if (changes.genre)
        info.setInfoGenreIndex(*changes.genre);
}

}  // namespace

int RunTagCommand(const QStringList& args, AudioInformation2& info, QTextStream& out,
                  QTextStream& err) {
    const TagArguments parsed = ParseArguments(args, info);
    int status = 0;
    for (const QString& file : parsed.files) {
        try {
            info.ReadFromFile(file);
            if (parsed.changes.Any()) {
                Change(info, parsed.changes);
                info.WriteToFile(file);
            } else {
                out << WithNamesShown(file) << "\n";
                PrintTag(info, out);
            }
        } catch (const SonvaraError& e) {
            err << "sonvara-cli: " << WithNamesShown(e.message()) << "\n";
            status = 1;
        }
    }
    return status;
}
