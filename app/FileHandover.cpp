#include "app/FileHandover.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <cstdio>

#include "components/ErrorBoundary.h"
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

bool Complete(const QByteArray& received) {
    return received.endsWith(QByteArray(2, '\0')) || received == QByteArray(1, '\0');
}

QStringList Decode(const QByteArray& received) {
    QStringList files;
    for (const QByteArray& name : received.split('\0')) {
        if (!name.isEmpty())
            files << QFile::decodeName(name);
    }
    return files;
}

QString SocketPath(const QString& folder) {
    return QDir(folder).filePath(QString::fromLatin1(FileHandover::kSocketName));
}

}  // namespace

FileHandover::FileHandover(const QString& folder) : FileHandover(folder, Limits()) {}

FileHandover::FileHandover(const QString& folder, Limits limits)
    : path_(SocketPath(folder)), limits_(limits), server_(std::make_unique<QLocalServer>()) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this,
            [this] { ReportFailures([this] { TakeConnection(); }); });
    Listen();
    connect(&watch_, &QTimer::timeout, this,
            [this] { ReportFailures([this] { KeepListening(); }); });
    watch_.start(limits_.relistenMs);
}

// The sockets still open count themselves out as they go.
FileHandover::~FileHandover() {
    server_.reset();
}

void FileHandover::Listen() {
    QLocalServer::removeServer(path_);
    if (!server_->listen(path_)) {
        throw SonvaraError(QStringLiteral("Cannot listen for files on \"%1\": %2.")
                               .arg(path_, server_->errorString()));
    }
}

// Qt closes the listening socket for good when accepting fails (no descriptors left); files
// from a second copy would then never arrive again.
void FileHandover::KeepListening() {
    if (server_->isListening())
        return;
    try {
        Listen();
        lost_ = false;
    } catch (const SonvaraError& error) {
        if (!lost_)
            std::fprintf(stderr, "sonvara: %s Trying again.\n", qUtf8Printable(error.message()));
        lost_ = true;
    }
}

void FileHandover::TakeConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (open_ >= limits_.connections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        Serve(socket);
    }
}

void FileHandover::Serve(QLocalSocket* socket) {
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    deadline->start(limits_.idleMs);
    auto received = std::make_shared<Received>();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this,
            [this, socket, received] { ReportFailures([&] { Read(socket, *received); }); });
}

// The answer goes out before anyone takes the files, and the connection is not touched after
// this handler: taking them may show a message box whose event loop deletes it.
void FileHandover::Read(QLocalSocket* socket, Received& received) {
    if (received.done)
        return;
    received.data += socket->read(limits_.bytes + 1 - received.data.size());
    if (received.data.size() > limits_.bytes) {
        received.done = true;
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (!Complete(received.data))
        return;
    received.done = true;
    const QStringList files = Decode(received.data);
    socket->write("k");
    socket->flush();
    socket->disconnectFromServer();
    QMetaObject::invokeMethod(
        this, [this, files] { emit FilesReceived(files); }, Qt::QueuedConnection);
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
