#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;
struct pa_stream;
struct pa_time_event;

// One connection to the sound server (PulseAudio, or PipeWire through its PulseAudio
// service) on libpulse's own thread, shared by capture and playback. Connecting never throws:
// with no server IsConnected is false and ErrorText says so. A connection that breaks is
// reported once through ConnectionLost, on the UI thread; from then on, and whenever there is
// no server, libpulse's thread tries again every second, so a restarted server is found
// without the program's help. No wait on the server lasts longer than timeoutMs.
class PulseContext : public QObject {
    Q_OBJECT

public:
    // Connects to the default server (PULSE_SERVER is honoured), never starting one, and
    // waits at most timeoutMs for it to answer; every later wait has the same limit.
    explicit PulseContext(int timeoutMs = 1500, QObject* parent = nullptr);
    ~PulseContext() override;

    bool IsConnected() const;
    // "PulseAudio 16.1 on host" or "PipeWire 0.3.65 on host"; empty when not connected.
    QString ServerName() const;
    // Why there is no connection; empty while connected.
    QString ErrorText() const;
    // Why a Wait or WaitUntil gave up: the connection is gone, or the server did not answer.
    QString WaitFailureText() const;

    pa_threaded_mainloop* Mainloop() const { return mainloop_; }
    // With the lock held. A new context replaces a broken one, so streams and operations
    // belong to the context current when they were made.
    pa_context* Context() const { return context_; }

    // Holds libpulse's main loop lock for its lifetime; needed around every libpulse call
    // made from outside libpulse's own callbacks.
    // Never taken on libpulse's own thread: its callbacks already run with the lock held.
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
    // Signal()), its connection fails, or timeoutMs pass. Releases the operation; one that is
    // given up is cancelled, so its callback never runs. True when it was done.
    bool Wait(pa_operation* operation) const;
    // With the lock held: waits, waking at every Signal(), until done() or timeoutMs pass;
    // returns done().
    bool WaitUntil(const std::function<bool()>& done) const;
    // From a libpulse callback: wakes Wait().
    void Signal() const;

    // With the lock held: lets go of a stream whose callbacks the caller has cleared. One the
    // server has not confirmed yet is disconnected once it does, so it is not left running.
    static void Release(pa_stream* stream);

    // Server events (sinks, sources, server) on libpulse's thread: facility|type bits of
    // pa_subscription_event_type_t and the object's index. Add and remove with the lock held;
    // a listener must not block. Listeners stay across reconnections.
    using EventListener = std::function<void(int event, uint32_t index)>;
    int AddEventListener(EventListener listener);
    void RemoveEventListener(int id);

signals:
    void ConnectionLost(const QString& message);
    // A connection stands, on the UI thread: the first one, and each one after a loss.
    void Connected();

private:
    // On libpulse's thread or with the lock held.
    void Connect();
    void DropContext();
    void OnReady();
    void OnServerInfo(const QString& name);
    void OnBroken(int error);
    void OnRetryTimer();
    void RetryIn(int ms);
    void SetErrorText(const QString& text);
    QString NoAnswerText() const;

    static void StateCallback(pa_context* context, void* self);
    void DispatchEvent(int event, uint32_t index);

    const int timeoutMs_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;   // lock
    pa_time_event* retry_ = nullptr;  // lock; the next attempt, or the current one's deadline
    bool attempting_ = false;         // lock; context_ is connecting
    bool everConnected_ = false;      // lock
    std::atomic<bool> connected_{false};
    mutable std::mutex textMutex_;
    QString serverName_;                      // textMutex_
    QString errorText_;                       // textMutex_
    std::map<int, EventListener> listeners_;  // lock
    int nextListenerId_ = 1;
};
