#include "components/PulseContext.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

#include <QMetaObject>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace {

const char* const kNoServer = "No sound server was found (PulseAudio or PipeWire).";

QString ConnectFailureText(int error) {
    switch (error) {
        case PA_ERR_CONNECTIONREFUSED:
        case PA_ERR_INVALIDSERVER:
        case PA_ERR_NOENTITY:
        case PA_ERR_CONNECTIONTERMINATED:
        case PA_ERR_IO:
            return QString::fromUtf8(kNoServer);
        default:
            return QStringLiteral("The sound server refused the connection: %1.")
                .arg(QString::fromUtf8(pa_strerror(error)));
    }
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

struct ConnectTimeout {
    pa_threaded_mainloop* mainloop;
    bool expired = false;
};

}  // namespace

PulseContext::PulseContext(int timeoutMs, QObject* parent) : QObject(parent) {
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_) {
        errorText_ = QStringLiteral("The sound system could not be started (out of memory).");
        return;
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Sonvara");
    if (!context_) {
        errorText_ = QStringLiteral("The sound system could not be started (out of memory).");
        return;
    }
    pa_context_set_state_callback(context_, &PulseContext::StateCallback, this);
    pa_context_set_subscribe_callback(
        context_,
        [](pa_context*, pa_subscription_event_type_t event, uint32_t index, void* self) {
            static_cast<PulseContext*>(self)->DispatchEvent(static_cast<int>(event), index);
        },
        this);
    if (pa_threaded_mainloop_start(mainloop_) < 0) {
        errorText_ = QStringLiteral("The sound system's thread could not be started.");
        return;
    }

    Lock lock(*this);
    // Never spawn a server: on a machine without one the user should be told, not get a
    // private daemon that plays into nothing.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        errorText_ = ConnectFailureText(pa_context_errno(context_));
        return;
    }
    ConnectTimeout timeout{mainloop_};
    pa_time_event* timer = pa_context_rttime_new(
        context_, pa_rtclock_now() + static_cast<pa_usec_t>(std::max(timeoutMs, 0)) * 1000,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
            auto* timeout = static_cast<ConnectTimeout*>(data);
            timeout->expired = true;
            pa_threaded_mainloop_signal(timeout->mainloop, 0);
        },
        &timeout);
    pa_context_state_t state;
    while ((state = pa_context_get_state(context_)) != PA_CONTEXT_READY &&
           PA_CONTEXT_IS_GOOD(state) && !timeout.expired) {
        pa_threaded_mainloop_wait(mainloop_);
    }
    if (timer) {
        pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
    }

    if (state == PA_CONTEXT_READY) {
        ReadServerName();
        pa_operation* subscribe =
            pa_context_subscribe(context_,
                                 static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                                     PA_SUBSCRIPTION_MASK_SOURCE |
                                                                     PA_SUBSCRIPTION_MASK_SERVER),
                                 nullptr, nullptr);
        if (subscribe) {
            pa_operation_unref(subscribe);
        }
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        errorText_ = ConnectFailureText(pa_context_errno(context_));
    } else {
        // Something listens on the socket but does not answer: a hung server is no server.
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        errorText_ = QStringLiteral("The sound server did not answer within %1 ms.").arg(timeoutMs);
    }
}

PulseContext::~PulseContext() {
    if (!mainloop_) {
        return;
    }
    if (context_) {
        Lock lock(*this);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
}

bool PulseContext::IsConnected() const {
    return connected_.load();
}

QString PulseContext::ServerName() const {
    return connected_ ? serverName_ : QString();
}

QString PulseContext::ErrorText() const {
    return errorText_;
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

void PulseContext::Wait(pa_operation* operation) const {
    if (!operation) {
        return;
    }
    // A failing context cancels its operations and wakes us through StateCallback.
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING &&
           PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
        pa_threaded_mainloop_wait(mainloop_);
    }
    pa_operation_unref(operation);
}

void PulseContext::Signal() const {
    pa_threaded_mainloop_signal(mainloop_, 0);
}

int PulseContext::AddEventListener(EventListener listener) {
    const int id = nextListenerId_++;
    listeners_.emplace(id, std::move(listener));
    return id;
}

void PulseContext::RemoveEventListener(int id) {
    listeners_.erase(id);
}

void PulseContext::StateCallback(pa_context* context, void* data) {
    auto* self = static_cast<PulseContext*>(data);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        self->wasReady_ = true;
        self->connected_ = true;
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        self->connected_ = false;
        if (self->wasReady_ && !self->lostReported_) {
            self->lostReported_ = true;
            const QString message = QStringLiteral("The connection to the sound server was lost.");
            QMetaObject::invokeMethod(
                self,
                [self, message] {
                    self->errorText_ = message;
                    emit self->ConnectionLost(message);
                },
                Qt::QueuedConnection);
        }
    }
    pa_threaded_mainloop_signal(self->mainloop_, 0);
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

void PulseContext::ReadServerName() {
    struct Query {
        const PulseContext* self;
        QString name;
    } query{this, {}};
    Wait(pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* query = static_cast<Query*>(data);
            if (info) {
                query->name = DescribeServer(*info);
            }
            query->self->Signal();
        },
        &query));
    serverName_ = query.name;
}
