#include "components/TagFileCopy.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "components/FfmpegAudioReader.h"
#include "components/Mp3Layout.h"
#include "components/SonvaraError.h"

namespace {

constexpr qsizetype kChunk = 1 << 20;

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

[[noreturn]] void FailFor(const QString& what, const QString& fileName, const QString& reason) {
    throw SonvaraError(
        QStringLiteral("%1 \"%2\": %3").arg(what, QDir::toNativeSeparators(fileName), reason));
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

QByteArray ReadAt(int fd, int64_t offset, int64_t count) {
    QByteArray bytes(static_cast<qsizetype>(std::max<int64_t>(count, 0)), '\0');
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::pread(fd, bytes.data() + done, size_t(bytes.size() - done),
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

bool WriteAt(int fd, int64_t offset, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t put = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done),
                                     static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return false;
        }
        done += put;
    }
    return true;
}

int64_t Size(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

uint32_t LittleEndian32(const QByteArray& bytes, int at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<uchar>(bytes[at + i]);
    return value;
}

// ---- Where the sound lies ----------------------------------------------------------------

struct Span {
    int64_t offset = 0;
    int64_t length = 0;
};

std::optional<Span> WavData(int fd, int64_t size) {
    for (int64_t at = 12; at + 8 <= size;) {
        const QByteArray header = ReadAt(fd, at, 8);
        if (header.size() < 8)
            break;
        const int64_t length = LittleEndian32(header, 4);
        if (header.startsWith("data"))
            return at + 8 + length <= size ? std::optional<Span>({at + 8, length}) : std::nullopt;
        at += 8 + length + (length & 1);
    }
    return std::nullopt;
}

std::optional<Span> FlacFrames(int fd, int64_t start, int64_t size) {
    int64_t at = start + 4;
    for (bool last = false; !last;) {
        const QByteArray header = ReadAt(fd, at, 4);
        if (header.size() < 4)
            return std::nullopt;
        last = (static_cast<uchar>(header[0]) & 0x80) != 0;
        at += 4 + (int64_t(static_cast<uchar>(header[1])) << 16 |
                   int64_t(static_cast<uchar>(header[2])) << 8 | static_cast<uchar>(header[3]));
    }
    const int64_t end = SoundEnd(FileBytes(fd), start, size);
    return at <= end ? std::optional<Span>({at, end - at}) : std::nullopt;
}

// The bytes of sound in the formats whose tags lie around it (MP3, FLAC) or in chunks of
// their own (WAV); none for formats whose tag write may touch the sound's framing (Ogg pages,
// for one).
std::optional<Span> SoundSpan(int fd) {
    const int64_t size = Size(fd);
    const QByteArray riff = ReadAt(fd, 0, 12);
    if (riff.size() == 12 && riff.startsWith("RIFF") && riff.mid(8) == "WAVE")
        return WavData(fd, size);
    const int64_t start = SoundStart(FileBytes(fd), size);
    const QByteArray magic = ReadAt(fd, start, 4);
    if (magic == "fLaC")
        return FlacFrames(fd, start, size);
    const bool mpegSync = magic.size() == 4 && static_cast<uchar>(magic[0]) == 0xFF &&
                          (static_cast<uchar>(magic[1]) & 0xE0) == 0xE0;
    const int64_t end = SoundEnd(FileBytes(fd), start, size);
    if (mpegSync && start <= end)
        return Span{start, end - start};
    return std::nullopt;
}

bool SameBytes(int a, Span inA, int b, Span inB) {
    if (inA.length != inB.length)
        return false;
    for (int64_t done = 0; done < inA.length; done += kChunk) {
        const int64_t count = std::min<int64_t>(kChunk, inA.length - done);
        const QByteArray left = ReadAt(a, inA.offset + done, count);
        if (left.size() != count || left != ReadAt(b, inB.offset + done, count))
            return false;
    }
    return true;
}

int64_t DecodedFrames(const QByteArray& path) {
    try {
        return FfmpegAudioReader(QFile::decodeName(path)).Samples();
    } catch (const SonvaraError&) {
        return -1;
    }
}

// ---- Removal on a signal -------------------------------------------------------------------

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
char pathToRemove[PATH_MAX];
volatile sig_atomic_t removalArmed = 0;

void RemoveAndEnd(int signal) {
    if (removalArmed)
        ::unlink(pathToRemove);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    ::raise(signal);
}

// Only for signals that would end the process at once: where the program handles them itself
// (the windows, a join on the command line), the write is let finish, and the copy is renamed
// or removed as usual.
class RemovalOnSignal {
public:
    explicit RemovalOnSignal(const QByteArray& path) {
        if (path.size() >= qsizetype(sizeof pathToRemove))
            return;
        std::memcpy(pathToRemove, path.constData(), size_t(path.size()) + 1);
        removalArmed = 1;
        for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
            struct sigaction current {};
            if (::sigaction(kEndingSignals[i], nullptr, &current) != 0 ||
                (current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL)
                continue;
            struct sigaction action {};
            action.sa_handler = RemoveAndEnd;
            sigemptyset(&action.sa_mask);
            installed_[i] = ::sigaction(kEndingSignals[i], &action, nullptr) == 0;
        }
    }
    ~RemovalOnSignal() { Disarm(); }
    RemovalOnSignal(const RemovalOnSignal&) = delete;
    RemovalOnSignal& operator=(const RemovalOnSignal&) = delete;

    void Disarm() {
        for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
            if (installed_[i])
                std::signal(kEndingSignals[i], SIG_DFL);
            installed_[i] = false;
        }
        removalArmed = 0;
    }

private:
    bool installed_[std::size(kEndingSignals)] = {};
};

std::optional<RemovalOnSignal> removal;

// ---- Names ---------------------------------------------------------------------------------

struct CopyName {
    QByteArray folder;  // with its closing slash
    QByteArray prefix;  // ".NAME.tag-"
    QByteArray suffix;  // ".EXT", empty when the name has none
};

CopyName CopyNameOf(const QByteArray& target) {
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray name = target.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf('.');
    return {slash >= 0 ? target.left(slash + 1) : QByteArray("./"), '.' + name + ".tag-",
            dot >= 0 ? name.mid(dot) : QByteArray()};
}

// Attributes only the system or root may set (security.*, trusted.*) stay behind, as they do
// with any copy a user makes; every other failure counts.
bool CopyAttributes(int from, int to) {
    const ssize_t listed = ::flistxattr(from, nullptr, 0);
    if (listed <= 0)
        return listed == 0 || errno == ENOTSUP;
    QByteArray names(listed, '\0');
    const ssize_t got = ::flistxattr(from, names.data(), size_t(names.size()));
    if (got < 0)
        return false;
    for (const QByteArray& name : names.left(got).split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = ::fgetxattr(from, name.constData(), nullptr, 0);
        QByteArray value(std::max<ssize_t>(length, 0), '\0');
        const ssize_t read =
            length < 0 ? -1
                       : ::fgetxattr(from, name.constData(), value.data(), size_t(value.size()));
        if (read < 0)
            return false;
        if (::fsetxattr(to, name.constData(), value.constData(), size_t(read), 0) != 0 &&
            errno != EPERM)
            return false;
    }
    return true;
}

}  // namespace

QByteArray TagTarget(const QString& fileName) {
    const QByteArray given = QFile::encodeName(fileName);
    char* resolved = ::realpath(given.constData(), nullptr);
    if (resolved == nullptr)
        return given;
    QByteArray target(resolved);
    std::free(resolved);
    return target;
}

void RemoveStaleTagCopies(const QByteArray& target) {
    const CopyName copy = CopyNameOf(target);
    DIR* folder = ::opendir(copy.folder.constData());
    if (folder == nullptr)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArray name(entry->d_name);
        if (name.size() != copy.prefix.size() + 6 + copy.suffix.size() ||
            !name.startsWith(copy.prefix) || !name.endsWith(copy.suffix))
            continue;
        const QByteArray path = copy.folder + name;
        const Descriptor fd(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        // A plain file of this user's that no running write holds; what cannot be removed is
        // only disk space, and the write goes ahead.
        if (fd.get() >= 0 && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
    }
    ::closedir(folder);
}

void PatchInPlace(const QString& what, const QString& fileName, const QByteArray& target,
                  int64_t length, const std::vector<FilePatch>& patches) {
    const Descriptor fd(::open(target.constData(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0)
        FailFor(what, fileName, SystemError());
    if (Size(fd.get()) != length)
        FailFor(what, fileName, QStringLiteral("it changed while its tag was written."));
    std::vector<QByteArray> before;
    int64_t expected = length;
    for (const FilePatch& patch : patches) {
        before.push_back(ReadAt(fd.get(), patch.offset,
                                std::min<int64_t>(patch.bytes.size(), length - patch.offset)));
        expected = std::max<int64_t>(expected, patch.offset + patch.bytes.size());
    }
    bool ok = true;
    for (const FilePatch& patch : patches)
        ok = ok && WriteAt(fd.get(), patch.offset, patch.bytes);
    ok = ok && ::fsync(fd.get()) == 0;
    if (ok && Size(fd.get()) == expected)
        return;
    const QString failure = ok ? QStringLiteral("it did not take the tag whole") : SystemError();
    bool restored = true;
    for (size_t i = 0; i < patches.size(); ++i)
        restored = WriteAt(fd.get(), patches[i].offset, before[i]) && restored;
    restored = ::ftruncate(fd.get(), static_cast<off_t>(length)) == 0 && restored;
    restored = ::fsync(fd.get()) == 0 && restored;
    FailFor(what, fileName,
            restored ? QStringLiteral("%1; the file was left as it was.").arg(failure)
                     : QStringLiteral("%1, and its old tag could not be put back.").arg(failure));
}

TagFileCopy::TagFileCopy(const QString& what, const QString& fileName, const QByteArray& target)
    : what_(what), shown_(fileName), target_(target) {
    const CopyName name = CopyNameOf(target_);
    path_ = name.folder + name.prefix + "XXXXXX" + name.suffix;
    fd_ = ::mkostemps(path_.data(), static_cast<int>(name.suffix.size()), O_CLOEXEC);
    if (fd_ < 0)
        Fail(QStringLiteral("no copy can be made in its folder (%1).").arg(SystemError()));
    removal.emplace(path_);
    // A new file no other write holds; should one take it for stale meanwhile, the rename
    // at the end fails and says so.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    // The destructor does not run for a copy that fails half made.
    try {
        Fill();
    } catch (...) {
        Discard();
        throw;
    }
}

TagFileCopy::~TagFileCopy() {
    Discard();
}

void TagFileCopy::Discard() {
    if (fd_ < 0)
        return;
    if (!replaced_)
        ::unlink(path_.constData());
    removal.reset();
    ::close(fd_);
    fd_ = -1;
}

void TagFileCopy::Fail(const QString& reason) const {
    FailFor(what_, shown_, reason);
}

void TagFileCopy::Fill() {
    const Descriptor source(::open(target_.constData(), O_RDONLY | O_CLOEXEC));
    if (source.get() < 0)
        Fail(SystemError());
    if (!CopyAttributes(source.get(), fd_))
        Fail(
            QStringLiteral("its extended attributes could not be copied (%1).").arg(SystemError()));
    QByteArray chunk(kChunk, '\0');
    for (int64_t offset = 0;;) {
        const ssize_t got = ::read(source.get(), chunk.data(), size_t(chunk.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Fail(SystemError());
        if (got == 0)
            return;
        if (!WriteAt(fd_, offset, chunk.left(got)))
            Fail(QStringLiteral("no room for a copy (%1).").arg(SystemError()));
        offset += got;
    }
}

void TagFileCopy::CheckSound() {
    const QString damaged = QStringLiteral(
        "the tag could not be written whole (the disk may be full); the file was "
        "left as it was.");
    if (::fsync(fd_) != 0)
        Fail(QStringLiteral("%1; the file was left as it was.").arg(SystemError()));
    const Descriptor original(::open(target_.constData(), O_RDONLY | O_CLOEXEC));
    const Descriptor copy(::open(path_.constData(), O_RDONLY | O_CLOEXEC));
    if (original.get() < 0 || copy.get() < 0)
        Fail(SystemError());
    if (const std::optional<Span> sound = SoundSpan(original.get())) {
        const std::optional<Span> copied = SoundSpan(copy.get());
        if (!copied || !SameBytes(original.get(), *sound, copy.get(), *copied))
            Fail(damaged);
        return;
    }
    const int64_t frames = DecodedFrames(target_);
    if (frames < 0 || DecodedFrames(path_) != frames)
        Fail(damaged);
}

void TagFileCopy::ReplaceFile() {
    struct stat original {};
    if (::stat(target_.constData(), &original) != 0)
        Fail(SystemError());
    // Only root may give a file away, so another owner is kept where that is allowed; the
    // copy is the writer's own file otherwise, as any rewritten file would be.
    if (original.st_uid != ::geteuid() || original.st_gid != ::getegid()) {
        if (::fchown(fd_, original.st_uid, original.st_gid) != 0 &&
            ::fchown(fd_, static_cast<uid_t>(-1), original.st_gid) != 0) {
        }
    }
    if (::fchmod(fd_, original.st_mode & 07777) != 0 || ::fsync(fd_) != 0)
        Fail(SystemError());
    // Once renamed, the copy is the file: a signal must no longer remove it.
    removal.reset();
    if (std::rename(path_.constData(), target_.constData()) != 0)
        Fail(SystemError());
    replaced_ = true;
}
