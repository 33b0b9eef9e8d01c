#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QLocalServer;

// Files given to a second copy of the program reach the running copy through a local socket
// in the runtime folder beside the single-instance lock: the running copy listens, a second
// copy sends its files and waits for the running copy to confirm that it has taken them.
class FileHandover : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kSocketName = "sonvara.socket";

    // The running copy: listens in folder. A socket left there by a copy that crashed is
    // replaced (only the holder of the lock listens). Throws SonvaraError when it cannot listen.
    explicit FileHandover(const QString& folder);
    ~FileHandover() override;

    // A second copy: hands the files (made absolute) to the copy listening in folder. The
    // running copy may still be starting, so it keeps trying for up to timeoutMs. Returns false
    // when no copy took them in that time.
    static bool Send(const QString& folder, const QStringList& files, int timeoutMs = 5000);

    // The files named on a command line (without the program): options and the values of Qt's
    // own options are left out; after "--" everything is a file.
    static QStringList FilesFromArguments(const QStringList& arguments);

signals:
    void FilesReceived(const QStringList& files);

private:
    void TakeConnection();
    std::unique_ptr<QLocalServer> server_;
};
