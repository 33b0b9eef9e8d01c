#include "cli/FileArguments.h"

#include <fcntl.h>
#include <QFile>
#include <QList>
#include <utility>

namespace {

// Stand-in path and shown name; the descriptors stay open until the tool ends.
QList<std::pair<QString, QString>>& StandIns() {
    static QList<std::pair<QString, QString>> standIns;
    return standIns;
}

}  // namespace

QStringList CommandLineArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        const QByteArray given(argv[i]);
        const QString text = QFile::decodeName(given);
        if (QFile::encodeName(text) == given) {
            args << text;
            continue;
        }
        // O_PATH opens without reading: a pipe or device given by mistake does not block.
        const int fd = ::open(given.constData(), O_PATH | O_CLOEXEC);
        if (fd < 0) {
            args << text;
            continue;
        }
        const QString standIn = QStringLiteral("/proc/self/fd/%1").arg(fd);
        QList<std::pair<QString, QString>>& standIns = StandIns();
        qsizetype at = 0;
        while (at < standIns.size() && standIns[at].first.size() >= standIn.size())
            ++at;
        standIns.insert(at, {standIn, text});
        args << standIn;
    }
    return args;
}

QString WithNamesShown(QString text) {
    // Longest first: "/proc/self/fd/3" is the start of "/proc/self/fd/31".
    for (const auto& [standIn, shown] : StandIns())
        text.replace(standIn, shown);
    return text;
}
