#pragma once

#include "components/AudioInformation2.h"
#include "components/ChapterWriter.h"

class FfmpegAudioReader;
class QFileInfo;

// AudioInformation2 over TagLib (tags, format facts) and FFmpeg (the exact frame count).
// MP3 files get ID3v2.3 plus ID3v1, the tags players on every system read; other formats
// get their native tag (Vorbis comments, ASF attributes, a WAV file's ID3 chunk and UTF-8 RIFF
// INFO). A write changes only the fields set since the last read. The new tag takes the old
// one's place when it fits there (MP3); otherwise it goes into a copy whose sound is checked
// before it replaces the file, keeping its permissions and extended attributes, so a write
// that fails or is cut short leaves the file as it was.
//
// FormatTag follows the WAVE format tag registry: a WAV file reports its own tag (1 PCM,
// 3 IEEE float, 0xFFFE extensible, ...); other formats report the tag registered for their
// codec: 0x50 MPEG layer 1/2, 0x55 MP3, 0x160/0x161/0x162/0x163 WMA 1/2/Pro/Lossless,
// 0xFF AAC, 0x6C61 ALAC, 0x674F Vorbis, 0x704F Opus, 0xA109 Speex, 0xF1AC FLAC,
// 0x5756 WavPack, 0x77A1 TTA, 1 or 3 for uncompressed AIFF; 0 when unknown.
//
// Genres: a genre text that is a list number ("12", "(12)") means that list entry and is
// written, and read back, as its name ("Other"); a number outside the list ("-1") means no
// genre. Other text is written as given. RAW files (headerless sound) have facts but no tag, and
// so have files whose layout TagLib refuses but whose sound the decoder reads (a cut WAV).
class TagLibAudioInformation2 : public AudioInformation2 {
public:
    void ReadFromFile(const QString& fileName) override;
    void WriteToFile(const QString& fileName) override;
    QString GenreName(int index) const override;

private:
    void ReadRaw(const QString& fileName, const QFileInfo& info);
    // The decoder's facts and no tag, for files TagLib cannot take.
    void ReadDecoded(const FfmpegAudioReader& reader, const QFileInfo& info);
    void ClearTag();
};

// Chapters as ID3v2 CHAP frames, each titled by an embedded TIT2, listed in order by one
// top-level CTOC. The tag goes in front of the MP3 frames, so the info frame that tells the
// exact length stays the first frame.
class TagLibChapterWriter : public ChapterWriter {
public:
    void WriteChapters(const QString& fileName, const std::vector<JoinChapter>& chapters) override;
    QString TagTitle(const QString& fileName) override;
};
