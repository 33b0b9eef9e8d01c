#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// The file side of a tag write, which must never cost a file its sound: the new tag either
// takes the old tag's bytes in place (PatchInPlace) or goes into a copy that is checked before
// it replaces the file (TagFileCopy). Paths are the system's bytes, so that a name that is not
// UTF-8 still names its file. Failures throw SonvaraError as "<what> "<file>": <reason>" and
// leave the file as it was.

// The file a name stands for, links followed: the one a tag write changes.
QByteArray TagTarget(const QString& fileName);

// Removes the copies a killed tag write of target left beside it; a copy another write is
// still working in is left alone.
void RemoveStaleTagCopies(const QByteArray& target);

struct FilePatch {
    int64_t offset = 0;
    QByteArray bytes;
};

// Writes the patches into target, which must still be length bytes long, and syncs it. The
// bytes between them are not touched and the file stays the same file, so its links,
// attributes and owner stay; a write that fails puts back what was there.
void PatchInPlace(const QString& what, const QString& fileName, const QByteArray& target,
                  int64_t length, const std::vector<FilePatch>& patches);

// A copy of target beside it (".NAME.tag-XXXXXX.EXT": TagLib tells formats by extension) with
// its extended attributes. The copy is removed unless it replaced the file, also when SIGINT,
// SIGTERM or SIGHUP ends the process meanwhile.
class TagFileCopy {
public:
    TagFileCopy(const QString& what, const QString& fileName, const QByteArray& target);
    ~TagFileCopy();
    TagFileCopy(const TagFileCopy&) = delete;
    TagFileCopy& operator=(const TagFileCopy&) = delete;

    const QByteArray& Path() const { return path_; }
    // Once the tag is in the copy: syncs it and checks that its sound is the file's, byte for
    // byte (MP3, FLAC, WAV) or frame for frame (other formats). TagLib does not tell a write
    // that failed, and a full disk cuts the copy short.
    void CheckSound();
    // The copy takes the file's place in one step, with its permissions and (where the system
    // allows) its owner.
    void ReplaceFile();

private:
    void Fill();
    void Discard();
    [[noreturn]] void Fail(const QString& reason) const;

    QString what_;
    QString shown_;
    QByteArray target_;
    QByteArray path_;
    int fd_ = -1;  // locked while the copy is in use, so that no other write takes it for stale
    bool replaced_ = false;
};
