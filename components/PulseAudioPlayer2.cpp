#include "components/PulseAudioPlayer2.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>
#include <pulse/sample.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>

#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "components/ErrorBoundary.h"
#include "components/PulseContext.h"
#include "components/SonvaraError.h"

namespace {

// Whole latency asked of the server. It puts (100 - 2 x 20) / 2 = 30 ms of it in the sink:
// what a Stop cannot take back on a sink that does not rewind, so well under 50 ms.
constexpr pa_usec_t kServerLatencyUs = 100 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kServerRequestUs = 20 * PA_USEC_PER_MSEC;
// Below this much sound waiting in the queue the program is asked for more; with the server
// buffer that is about a third of a second between a slow UI thread and a gap.
constexpr int64_t kLowWaterUs = 250 * 1000;
constexpr int kTickMs = 100;

const char* const kServerGone = "The sound server went away while playing.";

// 1.0 is the server's 100 %, as its mixers show it.
pa_volume_t ToPulseVolume(double volume) {
    const double raw = std::round(volume * static_cast<double>(PA_VOLUME_NORM));
    return static_cast<pa_volume_t>(std::min(raw, static_cast<double>(PA_VOLUME_MAX)));
}

}  // namespace

PulseAudioPlayer2::PulseAudioPlayer2(PulseContext& pulse, QObject* parent)
    : AudioPlayer2(parent), pulse_(pulse) {
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { ReportFailures([this] { Tick(); }); });
    connect(&pulse_, &PulseContext::ConnectionLost, this,
            Reporting([this] { FailPlayback(QString::fromUtf8(kServerGone)); }));
}

PulseAudioPlayer2::~PulseAudioPlayer2() {
    timer_.stop();
    PulseContext::Lock lock(pulse_);
    DestroyStream();
}

void PulseAudioPlayer2::SetFormat(int sampleRate, int channels) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(std::max(sampleRate, 0)),
                              static_cast<uint8_t>(std::clamp(channels, 0, 255))};
    if (sampleRate <= 0 || channels <= 0 || channels > static_cast<int>(PA_CHANNELS_MAX) ||
        !pa_sample_spec_valid(&spec)) {
        throw SonvaraError(QStringLiteral("Sound at %1 Hz with %2 channels cannot be played.")
                               .arg(sampleRate)
                               .arg(channels));
    }
    rate_ = sampleRate;
    channels_ = channels;

    PulseContext::Lock lock(pulse_);
    if (playing_) {
        return;
    }
    // The program sets the format only when it starts a file. Leftovers of the last one (its
    // unheard end, or an end mark that would stop the new file at once) must not leak into it.
    BeginNewSound(sampleRate, channels);
}

void PulseAudioPlayer2::Flush() {
    Stop();
    PulseContext::Lock lock(pulse_);
    BeginNewSound(rate_, channels_);
}

void PulseAudioPlayer2::BeginNewSound(int rate, int channels) {
    queue_.clear();
    ++epoch_;
    ended_ = false;
    mayRequest_ = false;
    if (stream_) {
        WaitWhileConnecting();
        // What the server holds of the old sound goes with its stream.
        if (stream_ &&
            (streamWritten_ > 0 || drain_ || streamRate_ != rate || streamChannels_ != channels)) {
            DestroyStream();
        }
    }
}

void PulseAudioPlayer2::LoadArray(const SampleArray& array) {
    PulseContext::Lock lock(pulse_);
    if (array.empty()) {
        // The program keeps feeding empty arrays after the end of a file; one end is enough.
        if (ended_ || (!queue_.empty() && queue_.back().end)) {
            return;
        }
        queue_.push_back(Block{{}, 0, rate_, channels_, true});
    } else {
        Block block{array, 0, rate_, channels_, false};
        // The server takes whole frames only.
        block.samples.resize(block.samples.size() - block.samples.size() % channels_);
        queue_.push_back(std::move(block));
        ended_ = false;
    }
    Pump();
}

void PulseAudioPlayer2::Play() {
    if (!pulse_.IsConnected()) {
        const QString text = pulse_.ErrorText();
        throw SonvaraError(
            text.isEmpty() ? QStringLiteral("No sound server was found (PulseAudio or PipeWire).")
                           : text);
    }
    QString failure;
    {
        PulseContext::Lock lock(pulse_);
        failure = StartStream();
        if (!failure.isEmpty()) {
            playing_ = false;
            DestroyStream();
        }
    }
    if (!failure.isEmpty()) {
        throw SonvaraError(failure);
    }
    timer_.start();
}

QString PulseAudioPlayer2::StartStream() {
    if (stream_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
        DestroyStream();  // it went with a lost server
    }
    if (!stream_) {
        const bool queued = !queue_.empty();
        if (!CreateStream(queued ? queue_.front().rate : rate_,
                          queued ? queue_.front().channels : channels_)) {
            return StreamErrorText();
        }
    }
    if (!WaitWhileConnecting()) {
        const bool unanswered = stream_ && pa_stream_get_state(stream_) == PA_STREAM_CREATING;
        return unanswered ? pulse_.WaitFailureText() : StreamErrorText();
    }
    playing_ = true;
    playBase_ = StreamPosition();
    carried_ = 0;
    lastCount_ = 0;
    peakLeft_ = peakRight_ = 0;
    mayRequest_ = true;
    Pump();
    if (stream_ && pa_stream_is_corked(stream_) == 1 &&
        !pulse_.Wait(pa_stream_cork(stream_, 0, &PulseAudioPlayer2::SignalCallback, this))) {
        return pulse_.WaitFailureText();
    }
    return {};
}

void PulseAudioPlayer2::Stop() {
    timer_.stop();
    PulseContext::Lock lock(pulse_);
    playing_ = false;
    // Corking keeps the server's buffer; only what the sink itself holds is lost or replayed.
    if (stream_ && WaitWhileConnecting()) {
        pulse_.Wait(pa_stream_cork(stream_, 1, &PulseAudioPlayer2::SignalCallback, this));
    }
}

int64_t PulseAudioPlayer2::SamplesToMs(int64_t samples) const {
    return rate_ > 0 ? samples * 1000 / rate_ : 0;
}

int64_t PulseAudioPlayer2::CurrentSamples() {
    PulseContext::Lock lock(pulse_);
    return playing_ ? CountSincePlay() : lastCount_;
}

void PulseAudioPlayer2::SetVolume(double volume) {
    PulseContext::Lock lock(pulse_);
    volume_ = std::max(volume, 0.0);
    // A stream still connecting takes the volume from its connection.
    if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY && !ApplyVolume()) {
        throw SonvaraError(QStringLiteral("The sound server did not take the new volume: %1.")
                               .arg(QString::fromUtf8(
                                   pa_strerror(pa_context_errno(pa_stream_get_context(stream_))))));
    }
}

double PulseAudioPlayer2::Volume() const {
    PulseContext::Lock lock(pulse_);
    return volume_.value_or(1.0);
}

bool PulseAudioPlayer2::ApplyVolume() {
    pa_cvolume volume;
    pa_cvolume_set(&volume, static_cast<unsigned>(streamChannels_), ToPulseVolume(*volume_));
    pa_operation* operation = pa_context_set_sink_input_volume(
        pa_stream_get_context(stream_), pa_stream_get_index(stream_), &volume, nullptr, nullptr);
    if (!operation) {
        return false;
    }
    pa_operation_unref(operation);
    return true;
}

int64_t PulseAudioPlayer2::QueuedMs() const {
    PulseContext::Lock lock(pulse_);
    return QueuedUsec() / 1000;
}

bool PulseAudioPlayer2::CreateStream(int rate, int channels) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(rate),
                              static_cast<uint8_t>(channels)};
    pa_stream* stream = pa_stream_new(pulse_.Context(), "Sonvara playback", &spec, nullptr);
    if (!stream) {
        return false;
    }
    stream_ = stream;
    ++streamSerial_;
    streamRate_ = rate;
    streamChannels_ = channels;
    streamWritten_ = 0;
    drained_ = false;
    pa_stream_set_state_callback(stream, &PulseAudioPlayer2::StateCallback, this);
    pa_stream_set_write_callback(stream, &PulseAudioPlayer2::WriteCallback, this);

    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kServerLatencyUs, &spec));
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(pa_usec_to_bytes(kServerRequestUs, &spec));
    attr.fragsize = static_cast<uint32_t>(-1);
    int flags =
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE;
    if (!playing_) {
        flags |= PA_STREAM_START_CORKED;
    }
    pa_cvolume volume;
    if (volume_) {
        pa_cvolume_set(&volume, static_cast<unsigned>(channels), ToPulseVolume(*volume_));
    }
    if (pa_stream_connect_playback(stream, nullptr, &attr, static_cast<pa_stream_flags_t>(flags),
                                   volume_ ? &volume : nullptr, nullptr) < 0) {
        DestroyStream();
        return false;
    }
    return true;
}

void PulseAudioPlayer2::DestroyStream() {
    if (drain_) {
        pa_operation_cancel(drain_);
        pa_operation_unref(drain_);
        drain_ = nullptr;
    }
    if (!stream_) {
        return;
    }
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    PulseContext::Release(stream_);
    stream_ = nullptr;
    streamWritten_ = 0;
    drained_ = false;
}

bool PulseAudioPlayer2::WaitWhileConnecting() {
    // The lock is released while waiting; libpulse's thread may replace the stream meanwhile.
    // A failing connection fails the stream too, which ends the wait.
    pulse_.WaitUntil([this] {
        if (!stream_) {
            return true;
        }
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        return state != PA_STREAM_UNCONNECTED && state != PA_STREAM_CREATING;
    });
    return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY;
}

void PulseAudioPlayer2::Pump() {
    if (!playing_ || !stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY) {
        return;
    }
    const size_t frameBytes = static_cast<size_t>(streamChannels_) * sizeof(int16_t);
    while (!queue_.empty()) {
        Block& block = queue_.front();
        if (block.end || block.rate != streamRate_ || block.channels != streamChannels_) {
            ReachBoundary();
            break;
        }
        const size_t unwritten = block.samples.size() - block.written;
        if (unwritten > 0) {
            const size_t writable = pa_stream_writable_size(stream_);
            if (writable == static_cast<size_t>(-1)) {
                break;
            }
            size_t bytes = std::min(writable, unwritten * sizeof(int16_t));
            bytes -= bytes % frameBytes;
            if (bytes == 0) {
                break;
            }
            const int16_t* data = block.samples.data() + block.written;
            const size_t count = bytes / sizeof(int16_t);
            for (size_t i = 0; i < count; i += streamChannels_) {
                const int left = std::abs(static_cast<int>(data[i]));
                const int right =
                    streamChannels_ > 1 ? std::abs(static_cast<int>(data[i + 1])) : left;
                peakLeft_ = std::max(peakLeft_, std::min(left, 32767));
                peakRight_ = std::max(peakRight_, std::min(right, 32767));
            }
            if (pa_stream_write(stream_, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                PostStreamFailure();
                return;
            }
            block.written += count;
            streamWritten_ += static_cast<int64_t>(bytes / frameBytes);
            drained_ = false;
            if (block.written < block.samples.size()) {
                break;  // the server's buffer is full
            }
        }
        queue_.pop_front();
        mayRequest_ = true;
        PostSignal(&AudioPlayer2::OnEndArrayPlay);
    }
    MaybeRequest();
}

void PulseAudioPlayer2::MaybeRequest() {
    if (!playing_ || !mayRequest_ || ended_ || EndQueued() || QueuedUsec() >= kLowWaterUs) {
        return;
    }
    // One request per array handed over: the program answers each with one array, so the
    // queue climbs to the low-water mark and stays there instead of growing without end.
    mayRequest_ = false;
    PostSignal(&AudioPlayer2::OnRequestOnLoadArray);
}

void PulseAudioPlayer2::ReachBoundary() {
    // An end mark, or arrays of another format: let the server play out what it has first.
    if (drain_) {
        return;
    }
    drain_ = pa_stream_drain(stream_, &PulseAudioPlayer2::DrainCallback, this);
    if (!drain_) {
        PostStreamFailure();
    }
}

void PulseAudioPlayer2::DrainDone(bool success) {
    if (drain_) {
        pa_operation_unref(drain_);
        drain_ = nullptr;
    }
    if (!success) {
        return;
    }
    drained_ = true;
    if (queue_.empty()) {
        return;
    }
    const Block& front = queue_.front();
    if (front.end) {
        queue_.pop_front();
        ended_ = queue_.empty();
        PostSignal(&AudioPlayer2::OnEndPlay);
        Pump();
        return;
    }
    if (front.rate != streamRate_ || front.channels != streamChannels_) {
        carried_ += std::max<int64_t>(0, streamWritten_ - playBase_);
        playBase_ = 0;
        const int rate = front.rate;
        const int channels = front.channels;
        DestroyStream();
        if (!CreateStream(rate, channels)) {
            PostStreamFailure();
        }
    }
}

bool PulseAudioPlayer2::EndQueued() const {
    return std::any_of(queue_.begin(), queue_.end(), [](const Block& b) { return b.end; });
}

int64_t PulseAudioPlayer2::QueuedUsec() const {
    int64_t usec = 0;
    for (const Block& block : queue_) {
        if (!block.end) {
            const auto frames =
                static_cast<int64_t>(block.samples.size() - block.written) / block.channels;
            usec += frames * 1000000 / block.rate;
        }
    }
    return usec;
}

int64_t PulseAudioPlayer2::StreamPosition() const {
    if (drained_) {
        // The time still lags by the sink's latency, though the server has played it all.
        return streamWritten_;
    }
    if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY) {
        return 0;
    }
    pa_usec_t usec = 0;
    if (pa_stream_get_time(stream_, &usec) < 0) {
        return 0;
    }
    const auto frames =
        static_cast<int64_t>(usec * static_cast<pa_usec_t>(streamRate_) / PA_USEC_PER_SEC);
    // Interpolation runs on past the end of what was written when the stream runs dry.
    return std::min(frames, streamWritten_);
}

int64_t PulseAudioPlayer2::CountSincePlay() {
    const int64_t count = carried_ + std::max<int64_t>(0, StreamPosition() - playBase_);
    lastCount_ = std::max(lastCount_, count);
    return lastCount_;
}

QString PulseAudioPlayer2::StreamErrorText() const {
    // The connection's own state is set before its streams fail, so this tells the causes apart.
    if (!pulse_.IsConnected()) {
        return QString::fromUtf8(kServerGone);
    }
    pa_context* context = stream_ ? pa_stream_get_context(stream_) : pulse_.Context();
    return QStringLiteral("The sound server refused to play the sound: %1.")
        .arg(QString::fromUtf8(pa_strerror(pa_context_errno(context))));
}

void PulseAudioPlayer2::PostSignal(void (AudioPlayer2::*signal)()) {
    const uint64_t epoch = epoch_;
    QMetaObject::invokeMethod(
        this,
        [this, epoch, signal] {
            if (epoch == epoch_) {
                ReportFailures([this, signal] { (this->*signal)(); });
            }
        },
        Qt::QueuedConnection);
}

void PulseAudioPlayer2::PostStreamFailure() {
    const uint64_t serial = streamSerial_;
    const QString message = StreamErrorText();
    QMetaObject::invokeMethod(
        this,
        [this, serial, message] {
            {
                PulseContext::Lock lock(pulse_);
                if (serial != streamSerial_) {
                    return;
                }
            }
            ReportFailures([this, &message] { FailPlayback(message); });
        },
        Qt::QueuedConnection);
}

void PulseAudioPlayer2::Tick() {
    int64_t count = 0;
    int left = 0;
    int right = 0;
    {
        PulseContext::Lock lock(pulse_);
        count = CountSincePlay();
        left = peakLeft_;
        right = peakRight_;
        peakLeft_ = peakRight_ = 0;
        // A program that let the queue run dry gets asked again, ten times a second at most.
        if (queue_.empty()) {
            mayRequest_ = true;
        }
        MaybeRequest();
    }
    emit OnTimer(count, left, right);
}

void PulseAudioPlayer2::FailPlayback(const QString& message) {
    bool wasPlaying = false;
    {
        PulseContext::Lock lock(pulse_);
        if (!playing_ && !stream_) {
            return;
        }
        wasPlaying = playing_;
        DestroyStream();
        playing_ = false;
        queue_.clear();
        ++epoch_;
        ended_ = false;
    }
    timer_.stop();
    if (wasPlaying) {
        emit OnError(message);
    }
}

void PulseAudioPlayer2::StateCallback(pa_stream* stream, void* self) {
    auto* player = static_cast<PulseAudioPlayer2*>(self);
    if (stream != player->stream_) {
        return;
    }
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            // A volume set while the stream was connecting reaches it now.
            if (player->volume_ && !player->ApplyVolume()) {
                qWarning("Sonvara: the sound server did not take the playback volume.");
            }
            player->Pump();
            break;
        case PA_STREAM_FAILED:
            player->PostStreamFailure();
            break;
        default:
            break;
    }
    player->pulse_.Signal();
}

void PulseAudioPlayer2::WriteCallback(pa_stream* stream, size_t, void* self) {
    auto* player = static_cast<PulseAudioPlayer2*>(self);
    if (stream == player->stream_) {
        player->Pump();
    }
}

void PulseAudioPlayer2::DrainCallback(pa_stream* stream, int success, void* self) {
    auto* player = static_cast<PulseAudioPlayer2*>(self);
    if (stream == player->stream_) {
        player->DrainDone(success != 0);
    }
}

void PulseAudioPlayer2::SignalCallback(pa_stream*, int, void* self) {
    static_cast<PulseAudioPlayer2*>(self)->pulse_.Signal();
}
