#include "components/TagLibAudioInformation2.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/chapterframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
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
#include <taglib/tfilestream.h>
#include <taglib/trueaudiofile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>

#include "components/FfmpegAudioReader.h"
#include "components/SonvaraError.h"
#include "components/TagFileCopy.h"

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

// ID3v1 holds Latin-1 only, and TagLib would truncate other characters to their low byte; a
// readable approximation is better: accents dropped, dashes and quotes simplified, the rest
// '?'.
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

using Field = AudioInformation2::TagField;

// Only the changed fields: the others may hold more than the flat view shows (several
// values, a full date, "3/12"), which setting them would lose.
void SetFields(TagLib::Tag* tag, const TagFields& fields, unsigned changed, bool latin1Only) {
    if (tag == nullptr)
        return;
    const auto text = [latin1Only](const QString& value) {
        return ToTagLib(latin1Only ? Latin1Approximation(value) : value);
    };
    if (changed & Field::kTitle)
        tag->setTitle(text(fields.title));
    if (changed & Field::kArtist)
        tag->setArtist(text(fields.artist));
    if (changed & Field::kAlbum)
        tag->setAlbum(text(fields.album));
    if (changed & Field::kComment)
        tag->setComment(text(fields.comment));
    if (changed & Field::kGenre)
        tag->setGenre(text(fields.genre));
    if (changed & Field::kYear)
        tag->setYear(fields.year);
    if (changed & Field::kTrack)
        tag->setTrack(fields.track);
}

TagFields FieldsOf(const TagLib::Tag& tag) {
    TagFields fields;
    fields.title = FromTagLib(tag.title());
    fields.artist = FromTagLib(tag.artist());
    fields.album = FromTagLib(tag.album());
    fields.comment = FromTagLib(tag.comment());
    const Genre genre = ResolveGenre(FromTagLib(tag.genre()));
    fields.genre = genre.text;
    fields.genreIndex = genre.index;
    fields.year = tag.year();
    fields.track = tag.track();
    return fields;
}

void SetId3v1(TagLib::ID3v1::Tag* tag, const TagFields& fields, unsigned changed) {
    SetFields(tag, fields, changed, true);
    if (!(changed & Field::kGenre))
        return;
    // By number: setGenre would look the text up in TagLib's spelling only.
    int number = fields.genreIndex;
    if (number < 0 && !fields.genre.isEmpty()) {
        number = TagLib::ID3v1::genreIndex(ToTagLib(fields.genre));
    }
    tag->setGenreNumber(number >= 0 && number < kNoId3v1Genre ? number : kNoId3v1Genre);
}

// The ID3v2 tag takes the change and the ID3v1 and APE tags follow it. A tag made new starts
// from what the others hold, so that it loses none of the fields the user did not touch.
void ChangeMpeg(TagLib::MPEG::File& file, const TagFields& fields, unsigned changed) {
    TagLib::ID3v2::Tag* id3v2 = file.ID3v2Tag(true);
    if (id3v2->isEmpty())
        TagLib::Tag::duplicate(file.tag(), id3v2, false);
    SetFields(id3v2, fields, changed, false);
    // An APE tag is kept, and kept in step: readers that prefer it must not show old values.
    if (file.hasAPETag())
        SetFields(file.APETag(), fields, changed, false);
    const bool hadId3v1 = file.hasID3v1Tag();
    TagLib::ID3v1::Tag* id3v1 = file.ID3v1Tag(true);
    if (hadId3v1)
        SetId3v1(id3v1, fields, changed);
    else
        SetId3v1(id3v1, FieldsOf(*id3v2), Field::kAllFields);
}

// ID3v2.3, which players on every system read, unless the file's ID3v2.4 tag holds frames
// that version has no place for (TagLib drops them, or flattens the people lists).
TagLib::ID3v2::Version Id3v2VersionFor(TagLib::ID3v2::Tag& tag) {
    static const char* const kOnlyIn24[] = {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN",
                                            "TDOR", "TDRL", "TDTG", "TIPL", "TMCL", "TMOO",
                                            "TPRO", "TSOA", "TSOP", "TSOT", "TSST"};
    if (tag.header()->majorVersion() < 4)
        return TagLib::ID3v2::v3;
    for (const char* id : kOnlyIn24) {
        if (!tag.frameList(id).isEmpty())
            return TagLib::ID3v2::v4;
    }
    return TagLib::ID3v2::v3;
}

bool SaveMpeg(TagLib::MPEG::File& file) {
    int tags = TagLib::MPEG::File::ID3v2;
    if (file.ID3v1Tag() != nullptr)
        tags |= TagLib::MPEG::File::ID3v1;
    if (file.hasAPETag())
        tags |= TagLib::MPEG::File::APE;
    return file.save(tags, TagLib::File::StripNone, Id3v2VersionFor(*file.ID3v2Tag(true)),
                     TagLib::File::DoNotDuplicate);
}

// TagLib writes RIFF INFO text as UTF-8, and the text goes in whole. Readers take INFO for
// Latin-1 unless a CSET chunk before it names the code page (exiftool follows it; FFmpeg
// reads UTF-8 anyway), so a WAV file gets one naming UTF-8.
class Utf8InfoWav : public TagLib::RIFF::WAV::File {
public:
    using File::File;
    bool Save() {
        // Code page 65001 (UTF-8), no country, language or dialect. TagLib writes the INFO
        // list anew after the existing chunks, so it comes after this one.
        static const char kUtf8CodePage[8] = {'\xE9', '\xFD', 0, 0, 0, 0, 0, 0};
        setChunkData("CSET", TagLib::ByteVector(kUtf8CodePage, sizeof kUtf8CodePage));
        return save(AllTags, StripNone, TagLib::ID3v2::v3);
    }
};

// INFO text read as UTF-8 where it is that, and as Latin-1, as other programs write it, where
// it is not: a tag written back keeps the fields the user did not touch.
class InfoText : public TagLib::RIFF::Info::StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector& data) const override {
        QByteArray bytes(data.data(), data.size());
        if (const qsizetype end = bytes.indexOf('\0'); end >= 0)
            bytes.truncate(end);
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(bytes);
        return utf8.hasError() ? TagLib::String(bytes.toStdString(), TagLib::String::Latin1)
                               : ToTagLib(text);
    }
};

void UseInfoText() {
    static const InfoText handler;
    TagLib::RIFF::Info::Tag::setStringHandler(&handler);
}

void ChangeWav(TagLib::RIFF::WAV::File& file, const TagFields& fields, unsigned changed) {
    TagLib::ID3v2::Tag* id3v2 = file.ID3v2Tag();
    TagLib::RIFF::Info::Tag* info = file.InfoTag();
    if (id3v2->isEmpty())
        TagLib::Tag::duplicate(info, id3v2, false);
    const bool newInfo = info->isEmpty();
    SetFields(id3v2, fields, changed, false);
    if (newInfo)
        TagLib::Tag::duplicate(id3v2, info, true);
    else
        SetFields(info, fields, changed, false);
}

void ChangeFields(TagLib::File& file, const TagFields& fields, unsigned changed) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file))
        return ChangeMpeg(*mpeg, fields, changed);
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(&file))
        return ChangeWav(*wav, fields, changed);
    SetFields(file.tag(), fields, changed, false);
}

bool SaveTags(TagLib::File& file) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file))
        return SaveMpeg(*mpeg);
    if (auto* wav = dynamic_cast<Utf8InfoWav*>(&file))
        return wav->Save();
    return file.save();
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

using TagChange = std::function<void(TagLib::File&)>;

// A file open for its tag; a WAV file as the kind that declares its INFO text.
class OpenForTag {
public:
    explicit OpenForTag(const QByteArray& path) : ref_(path.constData()) {
        if (dynamic_cast<TagLib::RIFF::WAV::File*>(ref_.file()) != nullptr) {
            ref_ = TagLib::FileRef();
            wav_ = std::make_unique<Utf8InfoWav>(path.constData());
        }
    }
    TagLib::File* File() const {
        TagLib::File* file = wav_ ? wav_.get() : ref_.file();
        return file != nullptr && file->isValid() ? file : nullptr;
    }

private:
    TagLib::FileRef ref_;
    std::unique_ptr<Utf8InfoWav> wav_;
};

// The tag padded with zeros to size bytes, its header saying so. TagLib pads a tag that shrank
// only up to a limit, and drops larger padding where the room is there all the same.
QByteArray PaddedId3v2(const TagLib::ByteVector& rendered, int64_t size) {
    QByteArray tag(rendered.data(), rendered.size());
    tag.append(QByteArray(size - tag.size(), '\0'));
    const int64_t body = size - 10;
    for (int i = 0; i < 4; ++i)
        tag[6 + i] = static_cast<char>((body >> (7 * (3 - i))) & 0x7F);
    return tag;
}

// An MP3 file's new ID3v2 tag over its old one when it fits the room the old one and its
// padding take (the ID3v1 tag goes at the end as ever): the sound's bytes stay where they
// are, and the file stays the same file. False when it does not fit.
bool WriteMpegInPlace(const QString& what, const QString& fileName, const QByteArray& target,
                      const TagChange& change) {
    auto stream = std::make_unique<TagLib::FileStream>(target.constData(), true);
    if (!stream->isOpen())
        return false;
    TagLib::MPEG::File file(stream.get(), TagLib::ID3v2::FrameFactory::instance(), false);
    const int64_t length = file.isValid() ? file.length() : 0;
    if (!file.isValid() || !file.hasID3v2Tag() || file.hasAPETag() ||
        file.ID3v2Tag()->header()->footerPresent())
        return false;
    stream->seek(0);
    if (stream->readBlock(3) != "ID3")
        return false;
    const int64_t room = file.ID3v2Tag()->header()->completeTagSize();
    const bool hadId3v1 = file.hasID3v1Tag();
    change(file);
    const TagLib::ByteVector id3v2 = file.ID3v2Tag()->render(Id3v2VersionFor(*file.ID3v2Tag()));
    if (static_cast<int64_t>(id3v2.size()) > room)
        return false;
    std::vector<FilePatch> patches{{0, PaddedId3v2(id3v2, room)}};
    const TagLib::ID3v1::Tag* id3v1 = file.ID3v1Tag();
    if (id3v1 != nullptr && (hadId3v1 || !id3v1->isEmpty())) {
        const TagLib::ByteVector bytes = id3v1->render();
        patches.push_back(
            {hadId3v1 ? length - 128 : length, QByteArray(bytes.data(), bytes.size())});
    }
    PatchInPlace(what, fileName, target, length, patches);
    return true;
}

// Writes a change of tags into a file so that its sound cannot suffer: in place where only
// the tag's own bytes change, otherwise into a copy that replaces the file once its sound is
// checked. A link stays a link: the file it points to is the one changed.
void WriteTags(const QString& what, const QString& fileName, const TagChange& change) {
    const QByteArray target = TagTarget(fileName);
    RemoveStaleTagCopies(target);
    if (WriteMpegInPlace(what, fileName, target, change))
        return;
    TagFileCopy copy(what, fileName, target);
    {
        OpenForTag tagged(copy.Path());
        if (tagged.File() == nullptr)
            Fail(what, fileName, QStringLiteral("its copy could not be read."));
        change(*tagged.File());
        if (!SaveTags(*tagged.File()))
            Fail(what, fileName, QStringLiteral("the file could not be written."));
    }
    copy.CheckSound();
    copy.ReplaceFile();
}

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
    changed_ = 0;
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
    // Written or refused, these changes are done with: the next write is asked for anew.
    const unsigned changed = std::exchange(changed_, 0u);
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
    ref = TagLib::FileRef();
    UseInfoText();
    WriteTags(what, fileName, [&](TagLib::File& file) { ChangeFields(file, fields, changed); });
}

void TagLibChapterWriter::WriteChapters(const QString& fileName,
                                        const std::vector<JoinChapter>& chapters) {
    const QString what = QStringLiteral("Cannot write the chapters of");
    {
        const TagLib::MPEG::File file(QFile::encodeName(fileName).constData(), false);
        if (!file.isValid())
            Fail(what, fileName, QStringLiteral("it is not an MP3 file."));
        if (file.readOnly())
            Fail(what, fileName, QStringLiteral("the file is read-only."));
    }
    WriteTags(what, fileName, [&](TagLib::File& file) {
        auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file);
        if (mpeg == nullptr)
            Fail(what, fileName, QStringLiteral("it is not an MP3 file."));
        TagLib::ID3v2::Tag* tag = mpeg->ID3v2Tag(true);
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
    });
}

QString TagLibChapterWriter::TagTitle(const QString& fileName) {
    const QFileInfo info(fileName);
    if (IsRaw(info) || !info.isFile())
        return {};
    const TagLib::FileRef ref(QFile::encodeName(fileName).constData());
    return ref.isNull() || ref.tag() == nullptr ? QString()
                                                : FromTagLib(ref.tag()->title()).trimmed();
}
