#include "record/RecordingMarker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSysInfo>

#include "components/SonvaraError.h"

namespace {

constexpr const char* kPrefix = "recording-";
constexpr const char* kSuffix = ".marker";
constexpr int kUpdateMs = 1000;

// The lines of a marker: the first three are all that earlier versions wrote.
enum Line { kFile, kPid, kStart, kBoot, kPidNamespace, kHost, kIdentity, kLines };

// The start time of a process, in clock ticks since boot: with the process id it names one
// process, even after the id has been given to another. Empty when there is no such process.
QByteArray StartTime(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold spaces; the fields after it do not.
    const int close = line.lastIndexOf(')');
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    return fields.size() > 19 ? fields[19] : QByteArray();
}

QByteArray BootId() {
    QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

// Process ids mean something only within their namespace (a container has its own).
QByteArray PidNamespace() {
    char target[64];
    const ssize_t length = readlink("/proc/self/ns/pid", target, sizeof target);
    return length > 0 ? QByteArray(target, static_cast<int>(length)) : QByteArray();
}

// The link itself, not what it points to: a link is never what was recorded into.
QByteArray IdentityText(const QString& file) {
    struct stat info {};
    if (lstat(QFile::encodeName(file).constData(), &info) != 0)
        return "0 0 0";
    return QByteArray::number(static_cast<quint64>(info.st_dev)) + ' ' +
           QByteArray::number(static_cast<quint64>(info.st_ino)) + ' ' +
           QByteArray::number(static_cast<qint64>(info.st_size));
}

RecordingMarker::FileIdentity ParseIdentity(const QByteArray& text) {
    const QList<QByteArray> parts = text.split(' ');
    if (parts.size() != 3)
        return {};
    return {parts[0].toULongLong(), parts[1].toULongLong(), parts[2].toLongLong()};
}

// Why the process of a marker cannot be checked from here, or empty when it can.
QString Doubt(const QList<QByteArray>& lines) {
    if (lines.size() < kLines)
        return QStringLiteral(
            "its marker comes from an earlier version, which did not note on which computer "
            "it was recorded");
    if (lines[kHost] != QSysInfo::machineHostName().toUtf8())
        return QStringLiteral("it was being recorded on the computer \"%1\"")
            .arg(QString::fromUtf8(lines[kHost]));
    if (lines[kBoot].isEmpty() || lines[kBoot] != BootId())
        return QStringLiteral("it was being recorded before this computer was last started");
    if (lines[kPidNamespace].isEmpty() || lines[kPidNamespace] != PidNamespace())
        return QStringLiteral("it was being recorded in another container or PID namespace");
    return {};
}

// A process id alone may be taken at once by processes of two computers sharing this home, or
// of two containers: the name also carries where this process runs, so that none of them
// replaces another's marker.
QString MarkerName(const QString& variant = {}) {
    const QByteArray where =
        QSysInfo::machineHostName().toUtf8() + '\n' + BootId() + '\n' + PidNamespace();
    const QByteArray tag =
        QCryptographicHash::hash(where, QCryptographicHash::Sha1).toHex().left(12);
    return QStringLiteral("%1%2-%3%4%5")
        .arg(kPrefix)
        .arg(QCoreApplication::applicationPid())
        .arg(QString::fromLatin1(tag), variant, kSuffix);
}

}  // namespace

RecordingMarker::RecordingMarker(QString folder)
    : path_(QDir(folder).filePath(MarkerName())),
      keptPath_(QDir(folder).filePath(MarkerName(QStringLiteral("-closing")))) {}

RecordingMarker::~RecordingMarker() {
    End();
    EndKept();
}

void RecordingMarker::Begin(const QString& file) {
    file_ = QFileInfo(file).absoluteFilePath();
    Write();
}

void RecordingMarker::Update() {
    if (file_.isEmpty() || (sinceWritten_.isValid() && sinceWritten_.elapsed() < kUpdateMs))
        return;
    Write();
}

void RecordingMarker::Write() {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile marker(path_);
    const qint64 pid = QCoreApplication::applicationPid();
    const QList<QByteArray> lines = {file_.toUtf8(),     QByteArray::number(pid),
                                     StartTime(pid),     BootId(),
                                     PidNamespace(),     QSysInfo::machineHostName().toUtf8(),
                                     IdentityText(file_)};
    const QByteArray text = lines.join('\n') + '\n';
    if (!marker.open(QIODevice::WriteOnly) || marker.write(text) != text.size() ||
        !marker.commit()) {
        throw SonvaraError(QStringLiteral("Cannot write the recording marker \"%1\": %2.")
                               .arg(QDir::toNativeSeparators(path_), marker.errorString()));
    }
    sinceWritten_.start();
}

void RecordingMarker::End() {
    file_.clear();
    QFile::remove(path_);
}

// A rename replaces the marker whole: the kept file is marked under one name or the other.
void RecordingMarker::Keep() {
    if (file_.isEmpty())
        return;
    QFile::remove(keptPath_);
    if (!QFile::rename(path_, keptPath_))
        qWarning("Cannot keep the recording marker \"%s\"", qUtf8Printable(path_));
    file_.clear();
}

void RecordingMarker::EndKept() {
    QFile::remove(keptPath_);
}

std::vector<RecordingMarker::LeftBehind> RecordingMarker::FindLeftBehind(const QString& folder) {
    std::vector<LeftBehind> left;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("%1*%2").arg(kPrefix, kSuffix)}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile marker(dir.filePath(name));
        if (!marker.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = marker.readAll().split('\n');
        if (lines.size() <= kStart)
            continue;  // not ours
        const QString doubt = Doubt(lines);
        const qint64 pid = lines[kPid].toLongLong();
        const bool running = pid > 0 && !lines[kStart].isEmpty() && StartTime(pid) == lines[kStart];
        // An earlier version's marker of a process running here is taken to be that process's.
        if (running && (doubt.isEmpty() || lines.size() < kLines))
            continue;
        left.push_back({marker.fileName(), QString::fromUtf8(lines[kFile]), doubt,
                        lines.size() < kLines ? FileIdentity{} : ParseIdentity(lines[kIdentity])});
    }
    return left;
}

void RecordingMarker::Dismiss(const LeftBehind& left) {
    QFile::remove(left.marker);
}
