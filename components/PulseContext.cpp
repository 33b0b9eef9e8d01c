#include "components/PulseContext.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <QMetaObject>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace {

const char* const kNoServer = "No sound server was found (PulseAudio or PipeWire).";
const char* const kLost =
    "The connection to the sound server was lost. Sonvara connects again by itself once "
    "PulseAudio or PipeWire is running.";
const char* const kOutOfMemory = "The sound system could not be started (out of memory).";
// A restarted PipeWire or PulseAudio is back within a second or two; trying more often
// than this would only keep libpulse's thread busy while there is none.
constexpr int kRetryMs = 1000;

bool MeansNoServer(int error) {
    switch (error) {
        case PA_ERR_CONNECTIONREFUSED:
        case PA_ERR_INVALIDSERVER:
        case PA_ERR_NOENTITY:
        case PA_ERR_CONNECTIONTERMINATED:
        case PA_ERR_IO:
            return true;
        default:
            return false;
    }
}

QString ConnectFailureText(int error) {
    if (MeansNoServer(error)) {
        return QString::fromUtf8(kNoServer);
    }
    return QStringLiteral("The sound server refused the connection: %1.")
        .arg(QString::fromUtf8(pa_strerror(error)));
}

// PipeWire's PulseAudio service names itself "PulseAudio (on PipeWire 0.3.65)" and reports
// a PulseAudio protocol version; the user knows it as PipeWire.
QString DescribeServer(const pa_server_info& info) {
    const QString name = QString::fromUtf8(info.server_name ? info.server_name : "");
    const QString version = QString::fromUtf8(info.server_version ? info.server_version : "");
    const QString host = QString::fromUtf8(info.host_name ? info.host_name : "");
    static const QRegularExpression pipeWire(QStringLiteral("PipeWire\\s+([^\\s)]+)"));
    QString product;
    if (const auto match = pipeWire.match(name); match.hasMatch()) {
        product = QStringLiteral("PipeWire ") + match.captured(1);
    } else if (name.compare(QLatin1String("pulseaudio"), Qt::CaseInsensitive) == 0) {
        product = QStringLiteral("PulseAudio ") + version;
    } else {
        product = (name + QLatin1Char(' ') + version).trimmed();
    }
    return host.isEmpty() ? product : product + QStringLiteral(" on ") + host;
}

struct Deadline {
    pa_threaded_mainloop* mainloop;
    bool passed = false;
};

pa_usec_t FromNow(int ms) {
    return pa_rtclock_now() + static_cast<pa_usec_t>(ms) * PA_USEC_PER_MSEC;
}

}  // namespace

PulseContext::PulseContext(int timeoutMs, QObject* parent)
    : QObject(parent), timeoutMs_(std::max(timeoutMs, 0)) {
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_) {
        SetErrorText(QString::fromUtf8(kOutOfMemory));
        return;
    }
    if (pa_threaded_mainloop_start(mainloop_) < 0) {
        SetErrorText(QStringLiteral("The sound system's thread could not be started."));
        return;
    }
    Lock lock(*this);
    Connect();
    WaitUntil([this] { return !attempting_; });
    if (attempting_) {
        // Something listens on the socket but does not answer: a hung server is no server.
        // The attempt goes on in the background, in case it is merely slow.
        SetErrorText(NoAnswerText());
    }
}

PulseContext::~PulseContext() {
    if (!mainloop_) {
        return;
    }
    {
        Lock lock(*this);
        if (retry_) {
            pa_threaded_mainloop_get_api(mainloop_)->time_free(retry_);
            retry_ = nullptr;
        }
        DropContext();
    }
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
}

bool PulseContext::IsConnected() const {
    return connected_.load();
}

QString PulseContext::ServerName() const {
    std::lock_guard guard(textMutex_);
    return connected_ ? serverName_ : QString();
}

QString PulseContext::ErrorText() const {
    std::lock_guard guard(textMutex_);
    return errorText_;
}

QString PulseContext::WaitFailureText() const {
    if (IsConnected()) {
        return NoAnswerText();
    }
    const QString text = ErrorText();
    return text.isEmpty() ? QString::fromUtf8(kLost) : text;
}

QString PulseContext::NoAnswerText() const {
    return QStringLiteral(
               "The sound server did not answer within %1 seconds. If this goes on, restart "
               "PulseAudio or PipeWire.")
        .arg(QString::number(timeoutMs_ / 1000.0));
}

void PulseContext::SetErrorText(const QString& text) {
    std::lock_guard guard(textMutex_);
    errorText_ = text;
}

PulseContext::Lock::Lock(const PulseContext& pulse) : mainloop_(pulse.mainloop_) {
    if (mainloop_) {
        pa_threaded_mainloop_lock(mainloop_);
    }
}

PulseContext::Lock::~Lock() {
    if (mainloop_) {
        pa_threaded_mainloop_unlock(mainloop_);
    }
}

// ---- Waiting ---------------------------------------------------------------------------------

bool PulseContext::WaitUntil(const std::function<bool()>& done) const {
    if (done() || !context_) {
        return done();
    }
    Deadline deadline{mainloop_};
    pa_time_event* timer = pa_context_rttime_new(
        context_, FromNow(timeoutMs_),
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
            auto* timeout = static_cast<Deadline*>(data);
            timeout->passed = true;
            pa_threaded_mainloop_signal(timeout->mainloop, 0);
        },
        &deadline);
    if (!timer) {
        return done();
    }
    while (!done() && !deadline.passed) {
        pa_threaded_mainloop_wait(mainloop_);
    }
    pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
    return done();
}

bool PulseContext::Wait(pa_operation* operation) const {
    if (!operation) {
        return false;
    }
    // A failing context or stream cancels its operations, which ends the wait as well.
    if (!WaitUntil(
            [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; })) {
        pa_operation_cancel(operation);
    }
    const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return done;
}

void PulseContext::Signal() const {
    pa_threaded_mainloop_signal(mainloop_, 0);
}

void PulseContext::Release(pa_stream* stream) {
    if (!stream) {
        return;
    }
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            pa_stream_disconnect(stream);
            break;
        case PA_STREAM_CREATING:
            // It cannot be disconnected before the server confirms it; the context keeps it
            // until then.
            pa_stream_set_state_callback(
                stream,
                [](pa_stream* late, void*) {
                    if (pa_stream_get_state(late) == PA_STREAM_READY) {
                        pa_stream_disconnect(late);
                    }
                },
                nullptr);
            break;
        default:
            break;
    }
    pa_stream_unref(stream);
}

// ---- Events ----------------------------------------------------------------------------------

int PulseContext::AddEventListener(EventListener listener) {
    const int id = nextListenerId_++;
    listeners_.emplace(id, std::move(listener));
    return id;
}

void PulseContext::RemoveEventListener(int id) {
    listeners_.erase(id);
}

void PulseContext::DispatchEvent(int event, uint32_t index) {
    // A listener may remove itself (or another) while being called.
    std::vector<int> ids;
    ids.reserve(listeners_.size());
    for (const auto& entry : listeners_) {
        ids.push_back(entry.first);
    }
    for (const int id : ids) {
        if (const auto found = listeners_.find(id); found != listeners_.end()) {
            const EventListener listener = found->second;
            listener(event, index);
        }
    }
}

// ---- Connecting ------------------------------------------------------------------------------

// A broken context cannot connect again; each attempt gets a new one. Streams made on the old
// one hold it until their owners let them go.
void PulseContext::Connect() {
    // The desktop's volume control shows the streams under the program's name and icon.
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Sonvara");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "io.sonvara.Sonvara");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "io.sonvara.Sonvara");
    pa_context* fresh = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop_),
                                                     "Sonvara", properties);
    pa_proplist_free(properties);
    if (!fresh) {
        SetErrorText(QString::fromUtf8(kOutOfMemory));
        RetryIn(kRetryMs);
        return;
    }
    DropContext();
    context_ = fresh;
    attempting_ = true;
    pa_context_set_state_callback(context_, &PulseContext::StateCallback, this);
    pa_context_set_subscribe_callback(
        context_,
        [](pa_context*, pa_subscription_event_type_t event, uint32_t index, void* self) {
            static_cast<PulseContext*>(self)->DispatchEvent(static_cast<int>(event), index);
        },
        this);
    // Never spawn a server: on a machine without one the user should be told, not get a
    // private daemon that plays into nothing.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        if (attempting_) {  // refused before the state changed
            OnBroken(pa_context_errno(context_));
        }
        return;
    }
    if (attempting_) {
        RetryIn(std::max(timeoutMs_, kRetryMs));  // the attempt's deadline
    }
}

void PulseContext::DropContext() {
    if (!context_) {
        return;
    }
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

void PulseContext::StateCallback(pa_context* context, void* data) {
    auto* self = static_cast<PulseContext*>(data);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            self->OnReady();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            self->OnBroken(pa_context_errno(context));
            break;
        default:
            break;
    }
    self->Signal();
}

void PulseContext::OnReady() {
    pa_operation* subscribe = pa_context_subscribe(
        context_,
        static_cast<pa_subscription_mask_t>(
            PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER),
        nullptr, nullptr);
    if (subscribe) {
        pa_operation_unref(subscribe);
    }
    // Connected counts from when the server's name is known, so the two never disagree.
    pa_operation* asked = pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* self) {
            static_cast<PulseContext*>(self)->OnServerInfo(info ? DescribeServer(*info)
                                                                : QString());
        },
        this);
    if (asked) {
        pa_operation_unref(asked);
    } else {
        OnServerInfo(QString());
    }
}

void PulseContext::OnServerInfo(const QString& name) {
    attempting_ = false;
    everConnected_ = true;
    {
        std::lock_guard guard(textMutex_);
        serverName_ = name;
        errorText_.clear();
    }
    connected_ = true;
    if (retry_) {
        pa_context_rttime_restart(context_, retry_, PA_USEC_INVALID);
    }
    QMetaObject::invokeMethod(
        this, [this] { emit Connected(); }, Qt::QueuedConnection);
    Signal();
}

void PulseContext::OnBroken(int error) {
    const bool wasConnected = connected_.exchange(false);
    attempting_ = false;
    if (wasConnected) {
        const QString message = QString::fromUtf8(kLost);
        SetErrorText(message);
        QMetaObject::invokeMethod(
            this, [this, message] { emit ConnectionLost(message); }, Qt::QueuedConnection);
    } else if (!everConnected_ || !MeansNoServer(error)) {
        // After a loss, "lost" says more than "not found" while the server is still away.
        SetErrorText(ConnectFailureText(error));
    }
    RetryIn(kRetryMs);
}

void PulseContext::OnRetryTimer() {
    if (connected_) {
        return;
    }
    if (attempting_) {
        SetErrorText(NoAnswerText());
    }
    Connect();
}

void PulseContext::RetryIn(int ms) {
    if (!context_) {
        return;
    }
    if (retry_) {
        pa_context_rttime_restart(context_, retry_, FromNow(ms));
        return;
    }
    retry_ = pa_context_rttime_new(
        context_, FromNow(ms),
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
            static_cast<PulseContext*>(self)->OnRetryTimer();
        },
        this);
}
