#include "app/FileHandover.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include "components/SonvaraError.h"

namespace {

// File names may hold any byte but NUL, newlines included: each name ends with a NUL, and an
// empty name ends the list.
QByteArray Encode(const QStringList& files) {
    QByteArray data;
    for (const QString& file : files)
        data += QFile::encodeName(QFileInfo(file).absoluteFilePath()) + '\0';
    return data + '\0';
}

// More than any file manager hands over at once; a client sending more is not one of ours.
constexpr qsizetype kMaxListBytes = 16 * 1024 * 1024;

QString SocketPath(const QString& folder) {
    return QDir(folder).filePath(QString::fromLatin1(FileHandover::kSocketName));
}

}  // namespace

FileHandover::FileHandover(const QString& folder) : server_(std::make_unique<QLocalServer>()) {
    const QString path = SocketPath(folder);
    QLocalServer::removeServer(path);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        throw SonvaraError(QStringLiteral("Cannot listen for files on \"%1\": %2.")
                               .arg(path, server_->errorString()));
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &FileHandover::TakeConnection);
}

FileHandover::~FileHandover() = default;

void FileHandover::TakeConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, received] {
            *received += socket->readAll();
            if (received->size() > kMaxListBytes) {
                socket->abort();
                return;
            }
            const bool complete =
                received->endsWith(QByteArray(2, '\0')) || *received == QByteArray(1, '\0');
            if (!complete)
                return;
            QStringList files;
            for (const QByteArray& name : received->split('\0')) {
                if (!name.isEmpty())
                    files << QFile::decodeName(name);
            }
            received->clear();
            emit FilesReceived(files);
            socket->write("k");
            socket->flush();
        });
    }
}

QStringList FileHandover::FilesFromArguments(const QStringList& arguments) {
    static const QStringList kOptionsWithValue = {
        "-platform",   "-platformpluginpath", "-platformtheme", "-plugin",       "-display",
        "-geometry",   "-qwindowgeometry",    "-title",         "-qwindowtitle", "-style",
        "-stylesheet", "-qwindowicon"};
    QStringList files;
    bool optionsEnd = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnd || !argument.startsWith(QLatin1Char('-')) || argument == "-") {
            files << argument;
        } else if (argument == "--") {
            optionsEnd = true;
        } else if (kOptionsWithValue.contains(argument) ||
                   kOptionsWithValue.contains(argument.mid(1))) {
            ++i;
        }
    }
    return files;
}

bool FileHandover::Send(const QString& folder, const QStringList& files, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    const QByteArray data = Encode(files);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(SocketPath(folder));
        if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            QThread::msleep(100);
            continue;
        }
        socket.write(data);
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return false;
        // The running copy answers once the files are in its hands.
        while (socket.bytesAvailable() < 1) {
            if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                return false;
        }
        return socket.read(1) == "k";
    }
    return false;
}
