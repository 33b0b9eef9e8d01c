#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>

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
    // Signal()), or until the connection fails. Releases the operation.
    void Wait(pa_operation* operation) const;
    // From a libpulse callback: wakes Wait().
    void Signal() const;

    // Server events (sinks, sources, server) on libpulse's thread: facility|type bits of
    // pa_subscription_event_type_t and the object's index. Add and remove with the lock held;
    // a listener must not block.
    using EventListener = std::function<void(int event, uint32_t index)>;
    int AddEventListener(EventListener listener);
    void RemoveEventListener(int id);

signals:
    void ConnectionLost(const QString& message);

private:
    static void StateCallback(pa_context* context, void* self);
    void DispatchEvent(int event, uint32_t index);
    void ReadServerName();

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    QString serverName_;
    QString errorText_;
    std::atomic<bool> connected_{false};
    bool wasReady_ = false;      // libpulse's thread (or under the lock)
    bool lostReported_ = false;  // libpulse's thread
    std::map<int, EventListener> listeners_;
    int nextListenerId_ = 1;
};
