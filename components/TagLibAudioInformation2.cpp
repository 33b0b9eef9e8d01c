#include "components/TagLibAudioInformation2.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/chapterframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/trueaudiofile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>

#include "components/FfmpegAudioReader.h"
#include "components/SonvaraError.h"

namespace {

constexpr int kGenreCount = 148;
constexpr int kNoId3v1Genre = 255;

QString FromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true));
}

TagLib::String ToTagLib(const QString& text) {
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

QString Shown(const QString& fileName) {
    return QDir::toNativeSeparators(fileName);
}

[[noreturn]] void Fail(const QString& what, const QString& fileName, const QString& reason) {
    throw SonvaraError(QStringLiteral("%1 \"%2\": %3").arg(what, Shown(fileName), reason));
}

const QStringList& GenreNames() {
    static const QStringList names = [] {
        QStringList list;
        for (int i = 0; i < kGenreCount; ++i)
            list << FromTagLib(TagLib::ID3v1::genre(i));
        return list;
    }();
    return names;
}

// Besides the list's own names this accepts any letter case and the older spellings other
// taggers still write ("Jazz+Funk", "Psychadelic").
int IndexOfGenreName(const QString& text) {
    const QStringList& names = GenreNames();
    if (const qsizetype exact = names.indexOf(text); exact >= 0)
        return static_cast<int>(exact);
    const int known = TagLib::ID3v1::genreIndex(ToTagLib(text));
    if (known >= 0 && known < kGenreCount)
        return known;
    for (int i = 0; i < kGenreCount; ++i) {
        if (names[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    // Winamp spellings that TagLib does not know.
    static const std::pair<const char*, int> kOldSpellings[] = {
        {"AlternRock", 40}, {"Psychadelic", 67}, {"Folk-Rock", 81}, {"A capella", 123}};
    for (const auto& [name, index] : kOldSpellings) {
        if (text.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return index;
    }
    return -1;
}

struct Genre {
    QString text;
    int index = -1;
};

// One meaning for a genre text, whether it comes from a file or from the caller: the ID3
// numeric forms "12" and "(12)" are list entries and become their names, which every player
// shows, where some show a number as it stands; "(12)Text" keeps its text.
Genre ResolveGenre(const QString& raw) {
    static const QRegularExpression numeric(QStringLiteral(R"(^(?:\((\d+)\)(.*)|(-?\d+))$)"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const QString text = raw.trimmed();
    const QRegularExpressionMatch match = numeric.match(text);
    if (!match.hasMatch())
        return {text, IndexOfGenreName(text)};

    const bool parenthesised = match.capturedLength(1) > 0;
    bool ok = false;
    const int number = (parenthesised ? match.captured(1) : match.captured(3)).toInt(&ok);
    const QString refinement = parenthesised ? match.captured(2).trimmed() : QString();
    if (!refinement.isEmpty()) {
        const int named = IndexOfGenreName(refinement);
        return {refinement, named >= 0 ? named : (ok && number < kGenreCount ? number : -1)};
    }
    if (!ok || number < 0)
        return {};
    if (number < kGenreCount)
        return {GenreNames()[number], number};
    // Winamp's later additions (148..191) have names but are not entries of our list.
    return {FromTagLib(TagLib::ID3v1::genre(number)), -1};
}

// ID3v1 and RIFF INFO hold Latin-1 only, and TagLib would truncate other characters to
// their low byte; a readable approximation is better: accents dropped, dashes and quotes
// simplified, the rest '?'.
QString Latin1Approximation(const QString& text) {
    QString out;
    for (const char32_t code : text.toUcs4()) {
        if (code < 0x100) {
            out += QChar(static_cast<char16_t>(code));
            continue;
        }
        QString base;
        for (const QChar c :
             QString::fromUcs4(&code, 1).normalized(QString::NormalizationForm_KD)) {
            if (c.unicode() < 0x100)
                base += c;
        }
        if (!base.isEmpty()) {
            out += base;
        } else if (code >= 0x2010 && code <= 0x2015) {
            out += QLatin1Char('-');
        } else if (code >= 0x2018 && code <= 0x201B) {
            out += QLatin1Char('\'');
        } else if (code >= 0x201C && code <= 0x201F) {
            out += QLatin1Char('"');
        } else {
            out += QLatin1Char('?');
        }
    }
    return out;
}

struct TagFields {
    QString title, artist, album, comment, genre;
    int genreIndex = -1;
    unsigned year = 0, track = 0;
};

void SetFields(TagLib::Tag* tag, const TagFields& fields, bool latin1Only) {
    if (tag == nullptr)
        return;
    const auto text = [latin1Only](const QString& value) {
        return ToTagLib(latin1Only ? Latin1Approximation(value) : value);
    };
    tag->setTitle(text(fields.title));
    tag->setArtist(text(fields.artist));
    tag->setAlbum(text(fields.album));
    tag->setComment(text(fields.comment));
    tag->setGenre(text(fields.genre));
    tag->setYear(fields.year);
    tag->setTrack(fields.track);
}

void SetId3v1(TagLib::ID3v1::Tag* tag, const TagFields& fields) {
    SetFields(tag, fields, true);
    // By number: setGenre would look the text up in TagLib's spelling only.
    int number = fields.genreIndex;
    if (number < 0 && !fields.genre.isEmpty()) {
        number = TagLib::ID3v1::genreIndex(ToTagLib(fields.genre));
    }
    tag->setGenreNumber(number >= 0 && number < kNoId3v1Genre ? number : kNoId3v1Genre);
}

bool SaveMpeg(TagLib::MPEG::File& file, const TagFields& fields) {
    SetFields(file.ID3v2Tag(true), fields, false);
    SetId3v1(file.ID3v1Tag(true), fields);
    int tags = TagLib::MPEG::File::ID3v1 | TagLib::MPEG::File::ID3v2;
    // An APE tag is kept, and kept in step: readers that prefer it must not show old values.
    if (file.hasAPETag()) {
        SetFields(file.APETag(), fields, false);
        tags |= TagLib::MPEG::File::APE;
    }
    return file.save(tags, TagLib::File::StripNone, TagLib::ID3v2::v3,
                     TagLib::File::DoNotDuplicate);
}

bool SaveWav(TagLib::RIFF::WAV::File& file, const TagFields& fields) {
    SetFields(file.ID3v2Tag(), fields, false);
    SetFields(file.InfoTag(), fields, true);
    return file.save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripNone, TagLib::ID3v2::v3);
}

struct FormatFacts {
    int formatTag = 0;
    int bitsPerSample = 16;
};

int AiffFormatTag(const TagLib::RIFF::AIFF::Properties& properties) {
    const TagLib::ByteVector type = properties.compressionType();
    if (type.isEmpty() || type == "NONE" || type == "twos" || type == "sowt" || type == "raw ") {
        return 1;
    }
    if (type == "fl32" || type == "FL32" || type == "fl64" || type == "FL64")
        return 3;
    return 0;
}

int AsfFormatTag(TagLib::ASF::Properties::Codec codec) {
    switch (codec) {
        case TagLib::ASF::Properties::WMA1:
            return 0x160;
        case TagLib::ASF::Properties::WMA2:
            return 0x161;
        case TagLib::ASF::Properties::WMA9Pro:
            return 0x162;
        case TagLib::ASF::Properties::WMA9Lossless:
            return 0x163;
        default:
            return 0;
    }
}

template <typename Properties>
int BitsOr16(const Properties* properties) {
    return properties != nullptr && properties->bitsPerSample() > 0 ? properties->bitsPerSample()
                                                                    : 16;
}

FormatFacts DescribeFormat(TagLib::File* file) {
    using namespace TagLib;
    if (auto* wav = dynamic_cast<RIFF::WAV::File*>(file)) {
        const RIFF::WAV::Properties* p = wav->audioProperties();
        return {p->format(), p->bitsPerSample()};
    }
    if (auto* mpeg = dynamic_cast<MPEG::File*>(file)) {
        return {mpeg->audioProperties()->layer() == 3 ? 0x55 : 0x50, 16};
    }
    if (auto* asf = dynamic_cast<ASF::File*>(file)) {
        return {AsfFormatTag(asf->audioProperties()->codec()), BitsOr16(asf->audioProperties())};
    }
    if (auto* flac = dynamic_cast<FLAC::File*>(file)) {
        return {0xF1AC, BitsOr16(flac->audioProperties())};
    }
    if (auto* oggFlac = dynamic_cast<Ogg::FLAC::File*>(file)) {
        return {0xF1AC, BitsOr16(oggFlac->audioProperties())};
    }
    if (dynamic_cast<Ogg::Vorbis::File*>(file))
        return {0x674F, 16};
    if (dynamic_cast<Ogg::Opus::File*>(file))
        return {0x704F, 16};
    if (dynamic_cast<Ogg::Speex::File*>(file))
        return {0xA109, 16};
    if (auto* mp4 = dynamic_cast<MP4::File*>(file)) {
        const MP4::Properties* p = mp4->audioProperties();
        const int tag = p->codec() == MP4::Properties::AAC    ? 0xFF
                        : p->codec() == MP4::Properties::ALAC ? 0x6C61
                                                              : 0;
        return {tag, BitsOr16(p)};
    }
    if (auto* aiff = dynamic_cast<RIFF::AIFF::File*>(file)) {
        const RIFF::AIFF::Properties* p = aiff->audioProperties();
        return {AiffFormatTag(*p), BitsOr16(p)};
    }
    if (auto* wavPack = dynamic_cast<WavPack::File*>(file)) {
        return {0x5756, BitsOr16(wavPack->audioProperties())};
    }
    if (auto* tta = dynamic_cast<TrueAudio::File*>(file)) {
        return {0x77A1, BitsOr16(tta->audioProperties())};
    }
    if (auto* ape = dynamic_cast<APE::File*>(file))
        return {0, BitsOr16(ape->audioProperties())};
    return {};
}

// Refuses what is not audio before anything is read from it or written into it: TagLib
// takes any file with a known extension, and would tag a text file named ".mp3".
TagLib::FileRef OpenAudio(const QString& what, const QString& fileName, const QFileInfo& info) {
    if (!info.exists())
        Fail(what, fileName, QStringLiteral("the file does not exist."));
    if (!info.isFile())
        Fail(what, fileName, QStringLiteral("it is not a file."));
    if (!info.isReadable())
        Fail(what, fileName, QStringLiteral("access denied."));
    TagLib::FileRef ref(QFile::encodeName(fileName).constData());
    const TagLib::AudioProperties* properties = ref.isNull() ? nullptr : ref.audioProperties();
    if (properties == nullptr || properties->sampleRate() <= 0 || properties->channels() <= 0)
        Fail(what, fileName, QStringLiteral("it is not an audio file with a known format."));
    return ref;
}

// The decoder on a file, when it finds sound there; null otherwise.
std::unique_ptr<FfmpegAudioReader> ReadableSound(const QString& fileName, const QFileInfo& info) {
    if (!info.isFile())
        return nullptr;
    try {
        auto reader = std::make_unique<FfmpegAudioReader>(fileName);
        if (reader->Samples() > 0)
            return reader;
    } catch (const SonvaraError&) {
        // Neither TagLib nor the decoder reads it: TagLib's refusal is the one reported.
    }
    return nullptr;
}

bool IsRaw(const QFileInfo& info) {
    return info.suffix().compare(QStringLiteral("raw"), Qt::CaseInsensitive) == 0;
}

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A copy of an audio file for its new tag, beside it with its name and extension (TagLib
// tells formats by extension), renamed over the file once the tag is in it and on the disk.
// Until then the file itself is untouched, so a crash or a full disk cannot cost its sound;
// a copy not renamed is removed. Paths are kept as the system's bytes: a name that is not
// UTF-8 would not come through a QString, and the copy would replace another file.
class TagCopy {
public:
    TagCopy(const QString& what, const QString& fileName) : what_(what), shown_(fileName) {
        // A link stays a link: the file it points to is the one replaced.
        const QByteArray given = QFile::encodeName(fileName);
        if (char* resolved = ::realpath(given.constData(), nullptr)) {
            target_ = resolved;
            std::free(resolved);
        } else {
            target_ = given;
        }
        const qsizetype slash = target_.lastIndexOf('/');
        const QByteArray name = target_.mid(slash + 1);
        const qsizetype dot = name.lastIndexOf('.');
        const QByteArray suffix = dot >= 0 ? name.mid(dot) : QByteArray();
        path_ = target_.left(slash + 1) + '.' + name + ".tag-XXXXXX" + suffix;
        const int copy = ::mkostemps(path_.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
        if (copy < 0)
            Fail(what_, shown_,
                 QStringLiteral("no copy can be made in its folder (%1).").arg(SystemError()));
        // The destructor does not run for a copy that fails half made.
        try {
            Fill(copy);
        } catch (...) {
            ::close(copy);
            ::unlink(path_.constData());
            throw;
        }
        if (::close(copy) != 0) {
            const QString failure = SystemError();
            ::unlink(path_.constData());
            Fail(what_, shown_, QStringLiteral("no room for a copy (%1).").arg(failure));
        }
    }
    ~TagCopy() {
        if (!replaced_)
            ::unlink(path_.constData());
    }
    TagCopy(const TagCopy&) = delete;
    TagCopy& operator=(const TagCopy&) = delete;

    const QByteArray& Path() const { return path_; }

    // The copy, with the file's permissions and owner, takes the file's place in one step.
    void ReplaceFile() {
        struct stat original {};
        if (::stat(target_.constData(), &original) != 0)
            Fail(what_, shown_, SystemError());
        const int fd = ::open(path_.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            Fail(what_, shown_, SystemError());
        // Only root may give a file away, so another owner is kept where that is allowed; the
        // copy is the writer's own file otherwise, as any rewritten file would be.
        if (original.st_uid != ::geteuid() || original.st_gid != ::getegid()) {
            if (::fchown(fd, original.st_uid, original.st_gid) != 0 &&
                ::fchown(fd, static_cast<uid_t>(-1), original.st_gid) != 0) {
            }
        }
        const bool ok = ::fchmod(fd, original.st_mode & 07777) == 0 && ::fsync(fd) == 0;
        const QString failure = ok ? QString() : SystemError();
        ::close(fd);
        if (!ok)
            Fail(what_, shown_, failure);
        if (std::rename(path_.constData(), target_.constData()) != 0)
            Fail(what_, shown_, SystemError());
        replaced_ = true;
    }

private:
    void Fill(int copy) {
        const int source = ::open(target_.constData(), O_RDONLY | O_CLOEXEC);
        if (source < 0)
            Fail(what_, shown_, SystemError());
        std::vector<char> chunk(1 << 20);
        for (;;) {
            const ssize_t got = ::read(source, chunk.data(), chunk.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                const QString failure = SystemError();
                ::close(source);
                Fail(what_, shown_, failure);
            }
            if (got == 0)
                break;
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::write(copy, chunk.data() + done, size_t(got - done));
                if (put < 0 && errno == EINTR)
                    continue;
                if (put <= 0) {
                    const QString failure = SystemError();
                    ::close(source);
                    Fail(what_, shown_, QStringLiteral("no room for a copy (%1).").arg(failure));
                }
                done += put;
            }
        }
        ::close(source);
    }

    QString what_;
    QString shown_;
    QByteArray target_;
    QByteArray path_;
    bool replaced_ = false;
};

// Chapter times are 32-bit milliseconds; offsets all ones say that no byte offsets are given.
constexpr unsigned kNoOffset = 0xFFFFFFFF;

unsigned ChapterMs(int64_t ms) {
    return static_cast<unsigned>(std::clamp<int64_t>(ms, 0, kNoOffset - 1));
}

TagLib::ID3v2::ChapterFrame* NewChapter(const TagLib::ByteVector& id, const JoinChapter& chapter) {
    auto* frame = new TagLib::ID3v2::ChapterFrame(id, ChapterMs(chapter.startMs),
                                                  ChapterMs(chapter.endMs), kNoOffset, kNoOffset);
    auto* title = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF8);
    title->setText(ToTagLib(chapter.title));
    frame->addEmbeddedFrame(title);
    return frame;
}

}  // namespace

QString TagLibAudioInformation2::GenreName(int index) const {
    return index >= 0 && index < kGenreCount ? GenreNames()[index] : QString();
}

void TagLibAudioInformation2::ClearTag() {
    title_ = artist_ = album_ = comments_ = genreText_ = QString();
    year_ = track_ = 0;
    genreIndex_ = -1;
}

// Headerless sound: the decoder knows its facts, and there is nowhere to keep a tag.
void TagLibAudioInformation2::ReadRaw(const QString& fileName, const QFileInfo& info) {
    const FfmpegAudioReader reader(fileName);
    ReadDecoded(reader, info);
    formatTag_ = 1;
    bitrate_ = frequency_ * channels_ * bitsPerSample_;
}

void TagLibAudioInformation2::ReadDecoded(const FfmpegAudioReader& reader, const QFileInfo& info) {
    frequency_ = reader.Frequency();
    channels_ = reader.Channels();
    bitsPerSample_ = 16;
    formatTag_ = 0;
    samples_ = reader.Samples();
    duration_ = reader.DurationMs();
    size_ = info.size();
    bitrate_ = reader.Bitrate();
    ClearTag();
}

void TagLibAudioInformation2::ReadFromFile(const QString& fileName) {
    const QFileInfo info(fileName);
    if (IsRaw(info))
        return ReadRaw(fileName, info);
    TagLib::FileRef ref;
    try {
        ref = OpenAudio(QStringLiteral("Cannot read"), fileName, info);
    } catch (const SonvaraError&) {
        // TagLib refuses a file whose layout is damaged, such as a WAV cut short (its chunks
        // run past its end), where the decoder still finds the sound that is there.
        if (const std::unique_ptr<FfmpegAudioReader> reader = ReadableSound(fileName, info))
            return ReadDecoded(*reader, info);
        throw;
    }
    const TagLib::AudioProperties* properties = ref.audioProperties();
    const FormatFacts format = DescribeFormat(ref.file());
    // TagLib estimates the length of some formats (MP3 without a header frame); the decoder
    // counts frames exactly, and the duration comes from that count so the two agree.
    const FfmpegAudioReader reader(fileName);

    frequency_ = properties->sampleRate();
    channels_ = properties->channels();
    bitsPerSample_ = format.bitsPerSample;
    formatTag_ = format.formatTag;
    samples_ = reader.Samples();
    duration_ = reader.DurationMs();
    size_ = info.size();
    // Uncompressed audio has an exact rate where TagLib rounds to kbit/s. For compressed audio
    // the decoder's rate is the frame headers' for constant-rate MP3, where TagLib's average
    // counts the header frame and the padding in.
    const bool uncompressed = formatTag_ == 1 || formatTag_ == 3;
    bitrate_ = uncompressed && bitsPerSample_ > 0 ? frequency_ * channels_ * bitsPerSample_
               : reader.Bitrate() > 0             ? reader.Bitrate()
                                                  : properties->bitrate() * 1000;

    const TagLib::Tag* tag = ref.tag();
    if (tag == nullptr)
        return ClearTag();
    title_ = FromTagLib(tag->title());
    artist_ = FromTagLib(tag->artist());
    album_ = FromTagLib(tag->album());
    comments_ = FromTagLib(tag->comment());
    year_ = static_cast<int>(tag->year());
    track_ = static_cast<int>(tag->track());
    const Genre genre = ResolveGenre(FromTagLib(tag->genre()));
    genreText_ = genre.text;
    genreIndex_ = genre.index;
}

void TagLibAudioInformation2::WriteToFile(const QString& fileName) {
    const QString what = QStringLiteral("Cannot write the tag of");
    const QFileInfo info(fileName);
    if (IsRaw(info))
        Fail(what, fileName, QStringLiteral("a RAW file has no room for a tag."));
    // The mode bits count even where access() would allow the write (root): a file marked
    // read-only is one the user does not want changed.
    const bool markedWritable =
        (info.permissions() &
         (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther)) != 0;
    TagLib::FileRef ref;
    try {
        ref = OpenAudio(what, fileName, info);
    } catch (const SonvaraError&) {
        if (ReadableSound(fileName, info))
            Fail(what, fileName,
                 QStringLiteral("its layout is damaged (it may be cut short), and a tag written "
                                "into it could cost it its sound; convert it first."));
        throw;
    }
    if (ref.file()->readOnly() || !markedWritable)
        Fail(what, fileName, QStringLiteral("the file is read-only."));
    TagFields fields;
    fields.title = title_;
    fields.artist = artist_;
    fields.album = album_;
    fields.comment = comments_;
    const Genre genre = ResolveGenre(genreText_);
    fields.genre = genre.text;
    fields.genreIndex = genre.index;
    fields.year = static_cast<unsigned>(std::max(year_, 0));
    fields.track = static_cast<unsigned>(std::max(track_, 0));

    TagCopy copy(what, fileName);
    {
        TagLib::FileRef tagged(copy.Path().constData());
        if (tagged.isNull())
            Fail(what, fileName, QStringLiteral("its copy could not be read."));
        bool saved = false;
        if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(tagged.file())) {
            saved = SaveMpeg(*mpeg, fields);
        } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(tagged.file())) {
            saved = SaveWav(*wav, fields);
        } else {
            SetFields(tagged.tag(), fields, false);
            saved = tagged.save();
        }
        if (!saved)
            Fail(what, fileName, QStringLiteral("the file could not be written."));
    }
    copy.ReplaceFile();
}

void TagLibChapterWriter::WriteChapters(const QString& fileName,
                                        const std::vector<JoinChapter>& chapters) {
    const QString what = QStringLiteral("Cannot write the chapters of");
    TagLib::MPEG::File file(QFile::encodeName(fileName).constData());
    if (!file.isValid())
        Fail(what, fileName, QStringLiteral("it is not an MP3 file."));
    if (file.readOnly())
        Fail(what, fileName, QStringLiteral("the file is read-only."));
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    tag->removeFrames("CTOC");
    tag->removeFrames("CHAP");
    auto* contents = new TagLib::ID3v2::TableOfContentsFrame("toc");
    contents->setIsTopLevel(true);
    contents->setIsOrdered(true);
    tag->addFrame(contents);
    for (size_t i = 0; i < chapters.size(); ++i) {
        const TagLib::ByteVector id(("chp" + std::to_string(i)).c_str());
        contents->addChildElement(id);
        tag->addFrame(NewChapter(id, chapters[i]));
    }
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3,
                   TagLib::File::DoNotDuplicate))
        Fail(what, fileName, QStringLiteral("the file could not be written."));
}

QString TagLibChapterWriter::TagTitle(const QString& fileName) {
    const QFileInfo info(fileName);
    if (IsRaw(info) || !info.isFile())
        return {};
    const TagLib::FileRef ref(QFile::encodeName(fileName).constData());
    return ref.isNull() || ref.tag() == nullptr ? QString()
                                                : FromTagLib(ref.tag()->title()).trimmed();
}
