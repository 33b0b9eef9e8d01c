#include "app/RecordingRecovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstring>

#include "components/Mp3Frames.h"
#include "components/SonvaraError.h"
#include "join/JoinRow.h"
#include "record/RecordingMarker.h"

namespace {

// Closes the descriptor however the check ends.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void Refuse(const QString& file, const QString& reason) {
    throw SonvaraError(QStringLiteral("Cannot repair \"%1\": %2; it was left as it is.")
                           .arg(QDir::toNativeSeparators(file), reason));
}

int OpenWithoutFollowing(const QString& file, int mode) {
    return open(QFile::encodeName(file).constData(),
                mode | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// The repair acts on the descriptor it has checked: the name may be swapped meanwhile, the
// open file cannot.
void RepairMarkedFile(const RecordingMarker::LeftBehind& left) {
    const Descriptor fd(OpenWithoutFollowing(left.file, O_RDWR));
    if (fd.get() < 0) {
        Refuse(left.file, errno == ELOOP    ? QStringLiteral("it is a symbolic link")
                          : errno == ENOENT ? QStringLiteral("it no longer exists")
                                            : QString::fromLocal8Bit(std::strerror(errno)));
    }
    struct stat info {};
    if (fstat(fd.get(), &info) != 0)
        Refuse(left.file, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        Refuse(left.file, QStringLiteral("it is not a regular file"));
    if (static_cast<quint64>(info.st_dev) != left.identity.device ||
        static_cast<quint64>(info.st_ino) != left.identity.inode)
        Refuse(left.file, QStringLiteral("it is no longer the file that was recorded into"));
    if (info.st_size < left.identity.size)
        Refuse(left.file, QStringLiteral("it is shorter than it was while it was recorded"));
    if (InfoFrameLength(fd.get()) != Mp3Length::Unknown)
        Refuse(left.file, QStringLiteral("its header does not say that its writing broke off"));
    if (SalvageMp3(fd.get()) != Mp3Salvage::Repaired)
        Refuse(left.file, QString::fromLocal8Bit(std::strerror(errno)));
}

// A marker that cannot be checked may still belong to a recording under way elsewhere; it
// goes, without a word, only once its file is gone or finished, when it guards nothing.
bool GuardsNothing(const RecordingMarker::LeftBehind& left) {
    const Descriptor fd(OpenWithoutFollowing(left.file, O_RDONLY));
    if (fd.get() < 0)
        return errno == ENOENT;
    struct stat info {};
    return fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
           InfoFrameLength(fd.get()) == Mp3Length::Stated;
}

QString LeftAlone(const RecordingMarker::LeftBehind& left) {
    const QString file = QDir::toNativeSeparators(left.file);
    return QStringLiteral(
               "\"%1\" may have been cut off, but was left as it is: %2. If nothing records "
               "into it any more, \"sonvara-cli repair %1\" makes it whole.")
        .arg(file, left.doubt);
}

}  // namespace

void RecoverRecordings(const QString& markerFolder, AudioFile2& reader, RecoveryHost& host) {
    QStringList recovered, failed;
    for (const RecordingMarker::LeftBehind& left : RecordingMarker::FindLeftBehind(markerFolder)) {
        if (!left.doubt.isEmpty()) {
            if (GuardsNothing(left))
                RecordingMarker::Dismiss(left);
            else
                failed << LeftAlone(left);
            continue;
        }
        try {
            RepairMarkedFile(left);
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
