#include "components/PulseAudioRecord2.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>

#include <QMetaObject>
#include <algorithm>
#include <cstdlib>

#include "components/ErrorBoundary.h"
#include "components/SonvaraError.h"

namespace {

constexpr int kMaxVolume = 66535;
// Short fragments keep what a pause cuts off small; 40 wake-ups a second cost next to nothing.
constexpr int kFragmentMs = 25;

QString Utf8(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

void SignalOnSuccess(pa_stream*, int, void* pulse) {
    static_cast<const PulseContext*>(pulse)->Signal();
}

void SignalOnContextSuccess(pa_context*, int, void* pulse) {
    static_cast<const PulseContext*>(pulse)->Signal();
}

int ErrorOr(int error, int fallback) {
    return error != 0 ? error : fallback;
}

// A server that does not answer is the user's to know about. One that went away is not an
// error here: there is nothing left to set, and the next Start says why.
void WaitForAnswer(const PulseContext& pulse, pa_operation* operation) {
    if (operation && !pulse.Wait(operation) && pulse.IsConnected()) {
        throw SonvaraError(pulse.WaitFailureText());
    }
}

// The source's volume per channel as the server has it now; no channels when it is gone.
pa_cvolume SourceVolume(const PulseContext& pulse, const QByteArray& source) {
    struct Query {
        const PulseContext* pulse;
        pa_cvolume volume{};
    } query{&pulse};
    PulseContext::Lock lock(pulse);
    pa_operation* lookup = pa_context_get_source_info_by_name(
        pulse.Context(), source.constData(),
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            auto* asked = static_cast<Query*>(data);
            if (eol == 0 && info) {
                asked->volume = info->volume;
            } else {
                asked->pulse->Signal();
            }
        },
        &query);
    WaitForAnswer(pulse, lookup);
    return query.volume;
}

}  // namespace

PulseAudioRecord2::PulseAudioRecord2(PulseContext& pulse, QObject* parent)
    : AudioRecord2(parent), pulse_(pulse) {
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, [this] { ReportFailures([this] { OnTick(); }); });
    {
        // Also without a server now: the listener serves the connection made once it is back.
        PulseContext::Lock lock(pulse_);
        listenerId_ = pulse_.AddEventListener([this](int event, uint32_t index) {
            const int facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
            const int type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
            if (facility != PA_SUBSCRIPTION_EVENT_SOURCE || type == PA_SUBSCRIPTION_EVENT_CHANGE) {
                return;
            }
            if (type == PA_SUBSCRIPTION_EVENT_REMOVE && index == sourceIndex_ && capturing_) {
                Fail(QStringLiteral("The recording source \"%1\" was removed.")
                         .arg(chosenDescription_));
            }
            // A device plugged in brings several sources at once; one listing serves them all.
            if (!refreshQueued_.exchange(true)) {
                QMetaObject::invokeMethod(
                    this, [this] { RefreshInputs(); }, Qt::QueuedConnection);
            }
        });
    }
    connect(&pulse_, &PulseContext::Connected, this, &PulseAudioRecord2::RefreshInputs);
    ListInputs();
}

PulseAudioRecord2::~PulseAudioRecord2() {
    timer_.stop();
    PulseContext::Lock lock(pulse_);
    if (listenerId_ != 0) {
        pulse_.RemoveEventListener(listenerId_);
    }
    CloseStream();
}

// ---- Device and lines ------------------------------------------------------------------------

void PulseAudioRecord2::RefreshInputs() {
    refreshQueued_ = false;
    ListInputs();
    emit InputsChanged();
}

void PulseAudioRecord2::ListInputs() {
    lines_.clear();
    hasDevice_ = pulse_.IsConnected();
    if (!hasDevice_) {
        return;
    }
    struct Listing {
        const PulseContext* pulse;
        QString defaultSource;
        std::vector<Line> lines;
        std::vector<std::pair<QString, QString>> activePorts;  // source name, port name
    } listing{&pulse_, {}, {}, {}};

    PulseContext::Lock lock(pulse_);
    // A server that does not answer leaves the list empty; Start says what is wrong.
    const bool named = pulse_.Wait(pa_context_get_server_info(
        pulse_.Context(),
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* found = static_cast<Listing*>(data);
            if (info) {
                found->defaultSource = Utf8(info->default_source_name);
            }
            found->pulse->Signal();
        },
        &listing));
    if (!named) {
        return;
    }
    const bool listed = pulse_.Wait(pa_context_get_source_info_list(
        pulse_.Context(),
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            auto* found = static_cast<Listing*>(data);
            if (eol != 0 || !info) {
                found->pulse->Signal();
                return;
            }
            const QString description =
                Utf8(info->description).isEmpty() ? Utf8(info->name) : Utf8(info->description);
            if (info->active_port) {
                found->activePorts.emplace_back(Utf8(info->name), Utf8(info->active_port->name));
            }
            if (info->n_ports < 2) {
                found->lines.push_back(
                    {info->index, Utf8(info->name), QString(), description, description});
                return;
            }
            for (uint32_t i = 0; i < info->n_ports; ++i) {
                const pa_source_port_info* port = info->ports[i];
                const QString portDescription =
                    Utf8(port->description).isEmpty() ? Utf8(port->name) : Utf8(port->description);
                found->lines.push_back({info->index, Utf8(info->name), Utf8(port->name),
                                        description + QStringLiteral(": ") + portDescription,
                                        description});
            }
        },
        &listing));
    if (!listed) {
        return;
    }

    std::stable_sort(listing.lines.begin(), listing.lines.end(),
                     [](const Line& a, const Line& b) { return a.sourceIndex < b.sourceIndex; });
    lines_ = std::move(listing.lines);

    // Keep the user's choice across a refresh; otherwise follow the server's default.
    const auto exists = [this](const QString& source) {
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const Line& line) { return line.sourceName == source; });
    };
    if (chosenSource_.isEmpty() || (!userChose_ && !exists(chosenSource_))) {
        chosenSource_ = exists(listing.defaultSource) ? listing.defaultSource : QString();
    }
    chosenPort_.clear();
    for (const auto& [source, port] : listing.activePorts) {
        if (source == chosenSource_) {
            chosenPort_ = port;
        }
    }
    if (!userChose_ || exists(chosenSource_)) {
        chosenDescription_ = SourceDescription(chosenSource_);
    }
}

QString PulseAudioRecord2::SourceDescription(const QString& sourceName) const {
    for (const Line& line : lines_) {
        if (line.sourceName == sourceName) {
            return line.sourceDescription;
        }
    }
    return sourceName;
}

int PulseAudioRecord2::LastDeviceIndex() const {
    return hasDevice_ ? 0 : -1;
}

void PulseAudioRecord2::SetDeviceIndex(int index) {
    deviceIndex_ = index;
}

QString PulseAudioRecord2::DeviceName() const {
    return hasDevice_ && deviceIndex_ == 0 ? pulse_.ServerName() : QString();
}

int PulseAudioRecord2::InputCount() const {
    return static_cast<int>(lines_.size());
}

void PulseAudioRecord2::SetInputIndex(int index) {
    inputIndex_ = index;
}

const PulseAudioRecord2::Line* PulseAudioRecord2::CurrentLine() const {
    if (inputIndex_ < 1 || inputIndex_ > InputCount()) {
        return nullptr;
    }
    return &lines_[inputIndex_ - 1];
}

QString PulseAudioRecord2::InputName() const {
    const Line* line = CurrentLine();
    return line ? line->name : QString();
}

bool PulseAudioRecord2::InputSelected() const {
    const Line* line = CurrentLine();
    return line && line->sourceName == chosenSource_ &&
           (line->portName.isEmpty() || line->portName == chosenPort_);
}

void PulseAudioRecord2::SetInputSelected(bool selected) {
    const Line* line = CurrentLine();
    // A line stops being the source only by choosing another one.
    if (!selected || !line) {
        return;
    }
    PulseContext::Lock lock(pulse_);
    // Without a server the choice is only kept, for the next Start once it is back.
    if (!line->portName.isEmpty() && pulse_.IsConnected()) {
        const QByteArray source = line->sourceName.toUtf8();
        const QByteArray port = line->portName.toUtf8();
        WaitForAnswer(pulse_, pa_context_set_source_port_by_name(
                                  pulse_.Context(), source.constData(), port.constData(),
                                  SignalOnContextSuccess, &pulse_));
    }
    chosenPort_ = line->portName;
    userChose_ = true;
    if (line->sourceName == chosenSource_) {
        return;
    }
    chosenSource_ = line->sourceName;
    chosenDescription_ = line->sourceDescription;
    if (!capturing_) {
        return;  // the next Start opens its stream there
    }
    // The stream is tied to its source.
    CloseStream();
    int error = 0;
    QString text;
    if (!OpenStream(&error, &text)) {
        capturing_ = true;  // let Fail stop the timer and report
        Fail(text);
    }
}

int PulseAudioRecord2::InputVolume() const {
    const Line* line = CurrentLine();
    if (!line || !pulse_.IsConnected()) {
        return 0;
    }
    const pa_cvolume volume = SourceVolume(pulse_, line->sourceName.toUtf8());
    if (volume.channels == 0)
        return 0;
    const int64_t scaled =
        (static_cast<int64_t>(pa_cvolume_avg(&volume)) * kMaxVolume + PA_VOLUME_NORM / 2) /
        PA_VOLUME_NORM;
    return static_cast<int>(std::min<int64_t>(scaled, kMaxVolume));
}

void PulseAudioRecord2::SetInputVolume(int volume) {
    const Line* line = CurrentLine();
    if (!line || !pulse_.IsConnected()) {
        return;
    }
    const int64_t clamped = std::clamp(volume, 0, kMaxVolume);
    const auto paVolume =
        static_cast<pa_volume_t>((clamped * PA_VOLUME_NORM + kMaxVolume / 2) / kMaxVolume);
    const QByteArray source = line->sourceName.toUtf8();
    const pa_cvolume current = SourceVolume(pulse_, source);
    if (current.channels == 0)
        return;  // the source went away meanwhile
    PulseContext::Lock lock(pulse_);
    pa_cvolume levels;
    pa_cvolume_set(&levels, current.channels, paVolume);
    WaitForAnswer(
        pulse_, pa_context_set_source_volume_by_name(pulse_.Context(), source.constData(), &levels,
                                                     SignalOnContextSuccess, &pulse_));
}

// ---- Format ----------------------------------------------------------------------------------

void PulseAudioRecord2::SetFormat(int sampleRate, int channels) {
    if (sampleRate <= 0 || static_cast<uint32_t>(sampleRate) > PA_RATE_MAX || channels < 1 ||
        channels > 2) {
        throw SonvaraError(
            QStringLiteral("Recording at %1 Hz with %2 channels is not possible; choose a rate "
                           "up to %3 Hz, mono or stereo.")
                .arg(sampleRate)
                .arg(channels)
                .arg(PA_RATE_MAX));
    }
    if (sampleRate == rate_ && channels == channels_) {
        return;
    }
    PulseContext::Lock lock(pulse_);
    if (capturing_) {
        throw SonvaraError(
            QStringLiteral("The recording format cannot change while recording; stop first."));
    }
    rate_ = sampleRate;
    channels_ = channels;
}

void PulseAudioRecord2::SetQueueLimitMs(int ms) {
    PulseContext::Lock lock(pulse_);
    queueLimitMs_ = std::max(ms, 1);
    overflowElements_ = static_cast<int64_t>(queueLimitMs_) * streamRate_ / 1000 * streamChannels_;
}

int64_t PulseAudioRecord2::MsToSamples(int64_t ms) const {
    return ms * rate_ / 1000;
}

int64_t PulseAudioRecord2::SamplesToMs(int64_t samples) const {
    return samples * 1000 / rate_;
}

void PulseAudioRecord2::SetBlockSize(int frames) {
    blockFrames_ = std::max(frames, 1);
}

// ---- Capture control -------------------------------------------------------------------------

QString PulseAudioRecord2::LineName() const {
    PulseContext::Lock lock(pulse_);
    return ChosenSourceText();
}

QString PulseAudioRecord2::SourceName() const {
    PulseContext::Lock lock(pulse_);
    return chosenSource_;
}

bool PulseAudioRecord2::ChosenSourceAvailable() const {
    if (!pulse_.IsConnected()) {
        return false;
    }
    struct Query {
        const PulseContext* pulse;
        QString defaultSource;
        bool found = false;
    } query{&pulse_, {}};
    PulseContext::Lock lock(pulse_);
    QString source = chosenSource_;
    if (source.isEmpty()) {
        const bool named = pulse_.Wait(pa_context_get_server_info(
            pulse_.Context(),
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* asked = static_cast<Query*>(data);
                if (info) {
                    asked->defaultSource = Utf8(info->default_source_name);
                }
                asked->pulse->Signal();
            },
            &query));
        source = query.defaultSource;
        if (!named || source.isEmpty()) {
            return false;
        }
    }
    const QByteArray name = source.toUtf8();
    const bool answered = pulse_.Wait(pa_context_get_source_info_by_name(
        pulse_.Context(), name.constData(),
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            auto* asked = static_cast<Query*>(data);
            if (eol == 0 && info) {
                asked->found = true;
                return;
            }
            asked->pulse->Signal();
        },
        &query));
    return answered && query.found;
}

bool PulseAudioRecord2::IsCapturing() const {
    PulseContext::Lock lock(pulse_);
    return capturing_;
}

void PulseAudioRecord2::Start() {
    if (!pulse_.IsConnected()) {
        throw SonvaraError(
            pulse_.ErrorText().isEmpty()
                ? QStringLiteral("No sound server was found (PulseAudio or PipeWire).")
                : pulse_.ErrorText());
    }
    PulseContext::Lock lock(pulse_);
    if (capturing_) {
        return;
    }
    currentSamples_ = 0;
    peakLeft_ = 0;
    peakRight_ = 0;
    blockNo_ = 0;
    failed_ = false;
    ++epoch_;
    current_.clear();
    int error = 0;
    QString why;
    if (!OpenStream(&error, &why)) {
        throw SonvaraError(why);
    }
    if (capturing_) {
        timer_.start();
    }
}

void PulseAudioRecord2::Stop() {
    PulseContext::Lock lock(pulse_);
    if (!capturing_) {
        return;
    }
    // Waiting for the cork lets the sound already on its way arrive and be kept.
    pulse_.Wait(pa_stream_cork(stream_, 1, SignalOnSuccess, &pulse_));
    timer_.stop();
    if (!capturing_) {
        return;  // it failed meanwhile, which let the stream go and handed the sound over
    }
    if (awaitingSound_) {
        LineUpFirstSound();
    }
    capturing_ = false;
    FlushPartial();
    CloseStream();
}

SampleArray PulseAudioRecord2::GetArray() {
    std::lock_guard guard(queueMutex_);
    if (queue_.empty()) {
        return {};
    }
    SampleArray block = std::move(queue_.front());
    queue_.pop_front();
    queuedElements_ -= static_cast<int64_t>(block.size());
    return block;
}

// ---- Stream ----------------------------------------------------------------------------------

QString PulseAudioRecord2::ChosenSourceText() const {
    return chosenSource_.isEmpty() ? QStringLiteral("the default recording source")
                                   : QStringLiteral("\"%1\"").arg(chosenDescription_);
}

void PulseAudioRecord2::DescribeFailure(const QString& verb, int* error, QString* text) const {
    const bool unanswered = stream_ && PA_STREAM_IS_GOOD(pa_stream_get_state(stream_));
    if (!pulse_.IsConnected() || unanswered) {
        *error = pulse_.IsConnected() ? PA_ERR_TIMEOUT : PA_ERR_CONNECTIONTERMINATED;
        *text = pulse_.WaitFailureText();
        return;
    }
    *error = ErrorOr(pa_context_errno(pulse_.Context()), PA_ERR_UNKNOWN);
    if (*error == PA_ERR_NOENTITY && !chosenSource_.isEmpty()) {
        *text = QStringLiteral(
                    "The recording source \"%1\" is not there any more. Connect it again, or "
                    "choose another line in the Recording Source window.")
                    .arg(chosenDescription_);
        return;
    }
    *text = QStringLiteral("Recording from %1 could not be %2: %3.")
                .arg(ChosenSourceText(), verb, Utf8(pa_strerror(*error)));
}

bool PulseAudioRecord2::OpenStream(int* error, QString* text) {
    pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(rate_),
                        static_cast<uint8_t>(channels_)};
    stream_ = pa_stream_new(pulse_.Context(), "Recording", &spec, nullptr);
    if (!stream_) {
        *error = ErrorOr(pa_context_errno(pulse_.Context()), PA_ERR_UNKNOWN);
        *text = QStringLiteral("Recording from %1 could not be prepared: %2.")
                    .arg(ChosenSourceText(), Utf8(pa_strerror(*error)));
        return false;
    }
    streamChannels_ = channels_;
    streamRate_ = rate_;
    overflowElements_ = static_cast<int64_t>(queueLimitMs_) * rate_ / 1000 * channels_;
    sourceIndex_ = PA_INVALID_INDEX;
    pa_stream_set_state_callback(stream_, &PulseAudioRecord2::StateCallback, this);
    pa_stream_set_read_callback(stream_, &PulseAudioRecord2::ReadCallback, this);

    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentMs * PA_USEC_PER_MSEC, &spec));
    const QByteArray source = chosenSource_.toUtf8();
    // Never moved elsewhere: if the chosen source goes, the recording stops and says so rather
    // than carrying on from another input. Started corked: a source read seldom while nobody
    // needed its sound soon (a sound card's may be) hands a new stream what it kept, at once,
    // and that sound is from before the stream opened.
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                       PA_STREAM_START_CORKED | PA_STREAM_AUTO_TIMING_UPDATE);
    capturing_ = true;
    awaitingSound_ = true;
    startedAt_ = std::chrono::steady_clock::now();
    const auto settled = [this] {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        return state != PA_STREAM_CREATING && state != PA_STREAM_UNCONNECTED;
    };
    const bool uncorked =
        pa_stream_connect_record(stream_, source.isEmpty() ? nullptr : source.constData(), &attr,
                                 flags) == 0 &&
        pulse_.WaitUntil(settled) && pa_stream_get_state(stream_) == PA_STREAM_READY &&
        pulse_.Wait(pa_stream_cork(stream_, 0, SignalOnSuccess, &pulse_));
    if (failed_) {
        return true;  // its first sound already ended it, and OnError says why
    }
    if (uncorked && pa_stream_get_state(stream_) == PA_STREAM_READY) {
        sourceIndex_ = pa_stream_get_device_index(stream_);
        return true;
    }
    capturing_ = false;
    DescribeFailure(QStringLiteral("started"), error, text);
    CloseStream();
    return false;
}

// The first sound reaches a new stream a fragment after it opened, or later by as much as the
// source says it lags. The monitor of an output that rendered two seconds ahead while nobody
// listened closely has none for it until those seconds have passed, and what was rendered went
// out before the stream existed: silence holds its place, so the recording keeps time. Another
// fragment's wait is only the scheduler.
void PulseAudioRecord2::LineUpFirstSound() {
    awaitingSound_ = false;
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - startedAt_);
    const auto arrived = static_cast<int64_t>(
        pa_bytes_to_usec(pa_stream_readable_size(stream_), pa_stream_get_sample_spec(stream_)) +
        (timing ? timing->source_usec : 0));
    const int64_t fragment = int64_t{kFragmentMs} * PA_USEC_PER_MSEC;
    const int64_t missing = waited.count() - arrived - fragment;
    if (missing > fragment) {
        Append(nullptr, static_cast<size_t>(missing * streamRate_ / PA_USEC_PER_SEC) *
                            static_cast<size_t>(streamChannels_));
    }
}

void PulseAudioRecord2::CloseStream() {
    if (!stream_) {
        return;
    }
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    PulseContext::Release(stream_);
    stream_ = nullptr;
    sourceIndex_ = PA_INVALID_INDEX;
}

void PulseAudioRecord2::StateCallback(pa_stream* stream, void* data) {
    auto* self = static_cast<PulseAudioRecord2*>(data);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && self->capturing_ &&
        self->sourceIndex_ != PA_INVALID_INDEX) {
        // The context fails before its streams do, so its state tells the two causes apart.
        const bool serverGone =
            !PA_CONTEXT_IS_GOOD(pa_context_get_state(pa_stream_get_context(stream)));
        self->Fail(serverGone ? QStringLiteral("The sound server went away while recording.")
                              : QStringLiteral("The recording source \"%1\" was removed.")
                                    .arg(self->chosenDescription_));
    }
    self->pulse_.Signal();
}

void PulseAudioRecord2::ReadCallback(pa_stream* stream, size_t, void* data) {
    auto* self = static_cast<PulseAudioRecord2*>(data);
    while (pa_stream_readable_size(stream) > 0) {
        const void* bytes = nullptr;
        size_t length = 0;
        if (pa_stream_peek(stream, &bytes, &length) < 0 || length == 0) {
            return;
        }
        if (self->capturing_ && self->awaitingSound_) {
            self->LineUpFirstSound();
        }
        if (self->capturing_) {
            // A hole (no data, but a length) is sound the server lost; silence keeps the time.
            self->Append(static_cast<const int16_t*>(bytes), length / sizeof(int16_t));
        }
        if (self->stream_ != stream) {
            return;  // capture failed, which let the stream go
        }
        pa_stream_drop(stream);
    }
}

// ---- Blocks ----------------------------------------------------------------------------------

void PulseAudioRecord2::Append(const int16_t* samples, size_t count) {
    const int channels = streamChannels_;
    count -= count % channels;
    if (count == 0) {
        return;
    }
    if (samples) {
        int left = 0;
        int right = 0;
        for (size_t i = 0; i < count; i += channels) {
            left = std::max(left, std::abs(static_cast<int>(samples[i])));
            right = std::max(right, std::abs(static_cast<int>(samples[i + channels - 1])));
        }
        left = std::min(left, 32767);
        right = std::min(right, 32767);
        for (auto [peak, value] : {std::pair{&peakLeft_, left}, std::pair{&peakRight_, right}}) {
            int seen = peak->load(std::memory_order_relaxed);
            while (value > seen && !peak->compare_exchange_weak(seen, value)) {
            }
        }
    }
    size_t done = 0;
    while (done < count && capturing_) {
        const size_t blockElements = static_cast<size_t>(blockFrames_.load()) * channels;
        if (current_.size() < blockElements) {
            const size_t take = std::min(count - done, blockElements - current_.size());
            if (samples) {
                current_.insert(current_.end(), samples + done, samples + done + take);
            } else {
                current_.resize(current_.size() + take, 0);
            }
            done += take;
        }
        if (current_.size() >= blockElements) {
            SampleArray block;
            block.reserve(blockElements);
            block.swap(current_);
            PushBlock(std::move(block));
        }
    }
    // Only what was queued counts: sound dropped after an overflow never reaches a file.
    currentSamples_ += static_cast<int64_t>(done / channels);
}

void PulseAudioRecord2::PushBlock(SampleArray block) {
    int64_t queued;
    {
        std::lock_guard guard(queueMutex_);
        queuedElements_ += static_cast<int64_t>(block.size());
        queued = queuedElements_;
        queue_.push_back(std::move(block));
    }
    const int number = blockNo_++;
    QMetaObject::invokeMethod(
        this, [this, number] { ReportFailures([&] { emit OnEndArrayRecord(number); }); },
        Qt::QueuedConnection);
    if (queued > overflowElements_) {
        Fail(QStringLiteral("Recording fell more than %1 seconds behind.")
                 .arg(QString::number(queueLimitMs_ / 1000.0)));
    }
}

void PulseAudioRecord2::FlushPartial() {
    if (!current_.empty()) {
        SampleArray block;
        block.swap(current_);
        PushBlock(std::move(block));
    }
}

void PulseAudioRecord2::Fail(const QString& message) {
    if (failed_ || !capturing_) {
        return;
    }
    failed_ = true;
    capturing_ = false;
    CloseStream();
    FlushPartial();
    const uint64_t epoch = epoch_;
    QMetaObject::invokeMethod(
        this,
        [this, epoch, message] {
            {
                // The capture that failed was stopped, and a new one started meanwhile.
                PulseContext::Lock lock(pulse_);
                if (epoch != epoch_)
                    return;
            }
            timer_.stop();
            ReportFailures([&] { emit OnError(message); });
        },
        Qt::QueuedConnection);
}

void PulseAudioRecord2::OnTick() {
    emit OnTimer(currentSamples_.load(), peakLeft_.exchange(0), peakRight_.exchange(0));
}
