#include "record/RecordingMarker.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "components/SonvaraError.h"

namespace {

constexpr const char* kPrefix = "recording-";
constexpr const char* kSuffix = ".marker";

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

}  // namespace

RecordingMarker::RecordingMarker(QString folder)
    : path_(QDir(folder).filePath(QStringLiteral("%1%2%3")
                                      .arg(kPrefix)
                                      .arg(QCoreApplication::applicationPid())
                                      .arg(kSuffix))) {}

RecordingMarker::~RecordingMarker() {
    End();
}

void RecordingMarker::Begin(const QString& file) {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile marker(path_);
    const qint64 pid = QCoreApplication::applicationPid();
    const QByteArray text = QFileInfo(file).absoluteFilePath().toUtf8() + '\n' +
                            QByteArray::number(pid) + '\n' + StartTime(pid) + '\n';
    if (!marker.open(QIODevice::WriteOnly) || marker.write(text) != text.size() ||
        !marker.commit()) {
        throw SonvaraError(QStringLiteral("Cannot write the recording marker \"%1\": %2.")
                               .arg(QDir::toNativeSeparators(path_), marker.errorString()));
    }
}

void RecordingMarker::End() {
    QFile::remove(path_);
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
        if (lines.size() < 3)
            continue;  // being written by its process this moment, or not ours
        const qint64 pid = lines[1].toLongLong();
        if (pid > 0 && !lines[2].isEmpty() && StartTime(pid) == lines[2])
            continue;  // still recording
        left.push_back({marker.fileName(), QString::fromUtf8(lines[0])});
    }
    return left;
}

void RecordingMarker::Dismiss(const LeftBehind& left) {
    QFile::remove(left.marker);
}
