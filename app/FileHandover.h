#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

class QLocalServer;
class QLocalSocket;

// Files given to a second copy of the program reach the running copy through a local socket
// in the runtime folder beside the single-instance lock: the running copy listens, a second
// copy sends its files and waits for the running copy to confirm that it has taken them.
class FileHandover : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kSocketName = "sonvara.socket";

    // What one peer may take of the running copy; a second copy needs one short connection.
    struct Limits {
        int connections = 8;            // open at once; more are closed at once
        qsizetype bytes = 1024 * 1024;  // of names per connection
        int idleMs = 5000;              // to hand the whole list over
        int relistenMs = 500;           // after the listening socket failed
    };

    // The running copy: listens in folder. A socket left there by a copy that crashed is
    // replaced (only the holder of the lock listens). Throws SonvaraError when it cannot listen.
    explicit FileHandover(const QString& folder);
    FileHandover(const QString& folder, Limits limits);
    ~FileHandover() override;

    // A second copy: hands the files (made absolute) to the copy listening in folder. The
    // running copy may still be starting, so it keeps trying for up to timeoutMs. Returns false
    // when no copy took them in that time.
    static bool Send(const QString& folder, const QStringList& files, int timeoutMs = 5000);

    // The files named on a command line (without the program): options and the values of Qt's
    // own options are left out; after "--" everything is a file.
    static QStringList FilesFromArguments(const QStringList& arguments);

signals:
    // Emitted from the event loop after the second copy has had its answer, never from
    // inside the connection's handler: whoever takes the files may run a nested event loop.
    void FilesReceived(const QStringList& files);

private:
    void Listen();
    void KeepListening();
    void TakeConnection();
    void Serve(QLocalSocket* socket);
    struct Received {
        QByteArray data;
        bool done = false;  // answered, or cut off
    };
    void Read(QLocalSocket* socket, Received& received);

    QString path_;
    Limits limits_;
    int open_ = 0;
    bool lost_ = false;
    QTimer watch_;
    std::unique_ptr<QLocalServer> server_;
};
