#pragma once

#include <QObject>
#include <QString>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;

// One connection to the sound server (PulseAudio, or PipeWire through its PulseAudio
// service) on libpulse's own thread, shared by capture and playback. Connecting never throws:
// with no server IsConnected is false and ErrorText says so. A connection that breaks later
// is reported once through ConnectionLost, on the UI thread.
class PulseContext : public QObject {
    Q_OBJECT

public:
    // Connects to the default server (PULSE_SERVER is honoured), never starting one, and
    // waits at most timeoutMs for it to answer.
    explicit PulseContext(int timeoutMs = 1500, QObject* parent = nullptr);
    ~PulseContext() override;

    bool IsConnected() const;
    // "PulseAudio 16.1 on host" or "PipeWire 0.3.65 on host"; empty when not connected.
    QString ServerName() const;
    QString ErrorText() const;

    pa_threaded_mainloop* Mainloop() const { return mainloop_; }
    pa_context* Context() const { return context_; }

    // Holds libpulse's main loop lock for its lifetime; needed around every libpulse call
    // made from outside libpulse's own callbacks.
    class Lock {
    public:
        explicit Lock(const PulseContext& pulse);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* mainloop_;
    };

    // With the lock held: waits until the operation is done (its callback must call
    // Signal()), or until the connection fails. Releases the operation.
    void Wait(pa_operation* operation) const;
    // From a libpulse callback: wakes Wait().
    void Signal() const;

signals:
    void ConnectionLost(const QString& message);

private:
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    QString serverName_;
    QString errorText_;
};
