#include "components/ParallelMp3Encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <limits>
#include <system_error>

#include "components/LameSetup.h"
#include "components/MpegAudioFrame.h"
#include "components/SonvaraError.h"

namespace {

constexpr int kSegmentSeconds = 10;
// The old segment goes on this many frames past the last place for a joint, so that the
// frames kept from it were encoded knowing the sound that follows them.
constexpr int kLookAheadFrames = 4;
// The joint may reach back as far as the bit reservoir: at the lowest bit rates that is some
// 30 frames. Shorter segments would have it reach into frames already written.
constexpr int kShortestSegment = 64;
constexpr size_t kSeekPoints = 512;

[[noreturn]] void EncoderFailed(int code) {
    throw SonvaraError(QStringLiteral("the MP3 encoder failed (error %1)").arg(code));
}

}  // namespace

struct ParallelMp3Encoder::Frame {
    size_t offset = 0;   // of its header in the segment's bytes
    int length = 0;      // header included
    int dataOffset = 0;  // where its main data area starts, from the header
    int reservoir = 0;   // main_data_begin: bytes of its data that lie before its header
};

struct ParallelMp3Encoder::Segment {
    int64_t start = 0;     // first sample encoded, on the frame grid
    int64_t ownStart = 0;  // first sample after the warm-up; joints fall from its frame on
    std::vector<int16_t> pcm;
    bool last = false;
    bool reservoir = true;

    bool done = false;  // set under the mutex; the rest is the worker's until then
    std::exception_ptr error;
    std::vector<unsigned char> bytes;
    std::vector<Frame> frames;
    int delay = 0;
    int padding = 0;
};

namespace {

// The facts of the layer III frame at p that the stitch needs; false when p holds none whole.
bool ReadFrame(const unsigned char* p, size_t available, int& length, int& dataOffset,
               int& reservoir) {
    const std::optional<MpegFrameHeader> header =
        available >= 4 ? ParseMpegHeader(p) : std::nullopt;
    if (!header || header->layer != 3 || static_cast<size_t>(header->frameBytes) > available)
        return false;
    length = header->frameBytes;
    dataOffset = header->SideInfoOffset() + header->sideInfoBytes;
    reservoir = MainDataBegin(p, *header);
    return dataOffset <= length;
}

}  // namespace

ParallelMp3Encoder::ParallelMp3Encoder(const AudioFile2LameEnc& encoder, int workers, Tuning tuning)
    : encoder_(encoder),
      tuning_(tuning),
      channels_(encoder.Channels()),
      frameSamples_(encoder.SampleRate() >= 32000 ? 1152 : 576) {
    const LameEncoder probe = StartLame(encoder_, false);
    if (!probe)
        throw SonvaraError(QStringLiteral("the MP3 encoder rejected the format"));
    delay_ = lame_get_encoder_delay(probe.get());
    tuning_.warmUpFrames = std::max(tuning_.warmUpFrames, 1);
    tuning_.jointFrames = std::max(tuning_.jointFrames, 1);
    int frames = tuning_.segmentFrames > 0 ? tuning_.segmentFrames
                                           : kSegmentSeconds * encoder.SampleRate() / frameSamples_;
    frames = std::max({frames, kShortestSegment,
                       2 * (tuning_.warmUpFrames + tuning_.jointFrames + kLookAheadFrames)});
    segmentSamples_ = static_cast<int64_t>(frames) * frameSamples_;
    segmentSamples_ += segmentSamples_ % 1152;  // segments start on the 1152-sample grid
    // The first frames of an encoder see the sound start out of silence; the frame at the
    // joint and the one its window overlaps must lie past that.
    warmUpSamples_ =
        std::max<int64_t>(static_cast<int64_t>(tuning_.warmUpFrames) * frameSamples_, 2304);
    postRollSamples_ = static_cast<int64_t>(tuning_.jointFrames + kLookAheadFrames) * frameSamples_;
    filling_ = NewSegment();
    nextStart_ = segmentSamples_;
    StartWorkers(std::max(workers, 1));
    // Decoding outruns encoding: one segment waiting keeps every worker busy.
    inFlight_ = tuning_.inFlight > 0 ? tuning_.inFlight : static_cast<int>(workers_.size()) + 1;
}

ParallelMp3Encoder::~ParallelMp3Encoder() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        if (worker.joinable())
            worker.join();
    }
}

// A thread the system refuses (the user's limit of processes reached, say) leaves the work to
// the workers already running; without any there is nothing to encode on.
void ParallelMp3Encoder::StartWorkers(int count) {
    workers_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        try {
            workers_.emplace_back([this] { Work(); });
        } catch (const std::system_error& error) {
            if (workers_.empty()) {
                throw SonvaraError(
                    QStringLiteral("the MP3 encoder could not start a thread (%1); close other "
                                   "programs, or set threads=1 in the [mp3] section of Kelvo.ini")
                        .arg(QString::fromLocal8Bit(error.what())));
            }
            qWarning("Sonvara: the MP3 encoder runs on %d of %d threads: %s", i, count,
                     error.what());
            return;
        }
    }
}

void ParallelMp3Encoder::Encode(const int16_t* pcm, int frames, int channels,
                                std::vector<unsigned char>& out) {
    for (int done = 0; done < frames;) {
        const int64_t have =
            filling_->start + static_cast<int64_t>(filling_->pcm.size()) / channels_;
        const int64_t end = nextStart_ + postRollSamples_;
        const int count = static_cast<int>(std::min<int64_t>(frames - done, end - have));
        const int16_t* from = pcm + static_cast<size_t>(done) * channels;
        if (channels == channels_) {
            filling_->pcm.insert(filling_->pcm.end(), from, from + count * channels);
        } else {  // one channel for both
            for (int i = 0; i < count; ++i)
                filling_->pcm.insert(filling_->pcm.end(), 2, from[i]);
        }
        done += count;
        if (have + count < end)
            continue;
        // The next segment starts its warm-up inside this one's end.
        std::shared_ptr<Segment> next = NewSegment();
        next->ownStart = nextStart_;
        next->start = nextStart_ - warmUpSamples_;
        next->pcm.insert(next->pcm.end(),
                         filling_->pcm.begin() + (next->start - filling_->start) * channels_,
                         filling_->pcm.end());
        Collect(out, inFlight_ - 1);
        Submit(false);
        filling_ = std::move(next);
        nextStart_ += segmentSamples_;
    }
    Collect(out, std::numeric_limits<size_t>::max());
}

void ParallelMp3Encoder::Finish(std::vector<unsigned char>& out) {
    if (!filling_)
        return;
    // After a failure the segments that follow have a gap before them: the stream ends with
    // the one stitched last, whole to its end.
    if (!failed_) {
        Collect(out, inFlight_ - 1);
        Submit(true);
    }
    filling_.reset();
    if (!failed_)
        Collect(out, 0);
    if (tail_) {
        Emit(tail_->start / frameSamples_ + static_cast<int64_t>(tail_->frames.size()), out);
        padding_ = tail_->padding;
        tail_.reset();
    }
}

// Every segment takes the buffers of one stitched before it, so that memory stays flat however
// long the sound (the allocator, given them back, would let its heap grow for a while).
std::shared_ptr<ParallelMp3Encoder::Segment> ParallelMp3Encoder::NewSegment() {
    auto segment = std::make_shared<Segment>();
    if (!sparePcm_.empty()) {
        segment->pcm = std::move(sparePcm_.back());
        sparePcm_.pop_back();
    }
    if (!spareBytes_.empty()) {
        segment->bytes = std::move(spareBytes_.back());
        spareBytes_.pop_back();
    }
    const int64_t frames = warmUpSamples_ + segmentSamples_ + postRollSamples_;
    segment->pcm.reserve(static_cast<size_t>(frames * channels_));
    segment->bytes.reserve(Mp3BufferSize(static_cast<int>(frames)));
    return segment;
}

void ParallelMp3Encoder::Recycle(std::vector<int16_t>&& pcm) {
    pcm.clear();
    sparePcm_.push_back(std::move(pcm));
}

void ParallelMp3Encoder::Recycle(std::vector<unsigned char>&& bytes) {
    bytes.clear();
    spareBytes_.push_back(std::move(bytes));
}

void ParallelMp3Encoder::Submit(bool last) {
    filling_->last = last;
    held_.push_back(filling_);
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(filling_);
    }
    wake_.notify_one();
}

void ParallelMp3Encoder::Work() {
    for (;;) {
        std::shared_ptr<Segment> segment;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            segment = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            Encoded(*segment);
        } catch (...) {
            segment->error = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex_);
            segment->done = true;
        }
        done_.notify_all();
    }
}

// Encodes the segment in an encoder of its own, flushed at its end, and lists its frames.
void ParallelMp3Encoder::Encoded(Segment& segment) {
    const LameEncoder lame = StartLame(encoder_, false, segment.reservoir);
    if (!lame)
        throw SonvaraError(QStringLiteral("the MP3 encoder rejected the format"));
    segment.bytes.clear();
    segment.frames.clear();
    segment.frames.reserve(segment.pcm.size() / channels_ / frameSamples_ + 8);
    std::vector<unsigned char> buffer(Mp3BufferSize(kLameChunkFrames));
    const auto append = [&](int size) {
        if (size < 0)
            EncoderFailed(size);
        segment.bytes.insert(segment.bytes.end(), buffer.begin(), buffer.begin() + size);
    };
    const int64_t frames = static_cast<int64_t>(segment.pcm.size()) / channels_;
    for (int64_t done = 0; done < frames;) {
        const int count = static_cast<int>(std::min<int64_t>(kLameChunkFrames, frames - done));
        // LAME only reads the samples; its interface predates const.
        short* pcm = const_cast<short*>(segment.pcm.data() + done * channels_);
        const int size = static_cast<int>(buffer.size());
        append(channels_ == 2
                   ? lame_encode_buffer_interleaved(lame.get(), pcm, count, buffer.data(), size)
                   : lame_encode_buffer(lame.get(), pcm, pcm, count, buffer.data(), size));
        done += count;
    }
    append(lame_encode_flush(lame.get(), buffer.data(), static_cast<int>(buffer.size())));
    segment.delay = lame_get_encoder_delay(lame.get());
    segment.padding = lame_get_encoder_padding(lame.get());
    for (size_t offset = 0; offset < segment.bytes.size();) {
        Frame frame;
        frame.offset = offset;
        if (!ReadFrame(segment.bytes.data() + offset, segment.bytes.size() - offset, frame.length,
                       frame.dataOffset, frame.reservoir)) {
            throw SonvaraError(QStringLiteral("the MP3 encoder wrote a frame that cannot be read"));
        }
        segment.frames.push_back(frame);
        offset += static_cast<size_t>(frame.length);
    }
}

// Stitches the finished segments from the oldest on, waiting until at most `keep` are held.
void ParallelMp3Encoder::Collect(std::vector<unsigned char>& out, size_t keep) {
    while (!held_.empty()) {
        std::shared_ptr<Segment> front = held_.front();
        {
            std::unique_lock lock(mutex_);
            if (!front->done && held_.size() <= keep)
                return;
            done_.wait(lock, [&front] { return front->done; });
        }
        held_.pop_front();
        if (front->error) {
            failed_ = true;
            std::rethrow_exception(front->error);
        }
        Stitch(std::move(front), out);
    }
}

// The joint is the first frame j in the window after the new segment's start where the new
// segment's data reaches back no further than the old one's: the old frames before j keep
// their own data, the bytes after it (which only frames from j on used) take the new
// segment's reservoir, and the new segment follows from j unchanged.
void ParallelMp3Encoder::Stitch(std::shared_ptr<Segment> next, std::vector<unsigned char>& out) {
    if (!tail_) {
        delay_ = next->delay;
        Recycle(std::move(next->pcm));
        tail_ = std::move(next);
        keptFrom_ = 0;
        return;
    }
    int64_t joint = -1;
    const int64_t first = next->ownStart / frameSamples_;
    // Moving the data costs the new segment some reservoir: only where nothing fits as it is.
    for (const bool shift : {false, true}) {
        for (int64_t j = first; j < first + tuning_.jointFrames && joint < 0; ++j) {
            if (FitReservoir(*next, j, shift))
                joint = j;
        }
    }
    if (joint < 0) {
        // Rare: the data cannot be moved far enough, or it is the last segment. Encoded
        // again without a reservoir, the new segment fits at its first frame.
        next->reservoir = false;
        Encoded(*next);
        if (!FitReservoir(*next, first, false)) {
            failed_ = true;
            throw SonvaraError(
                QStringLiteral("the MP3 encoder's segments could not be joined at frame %1")
                    .arg(first));
        }
        joint = first;
    }
    Emit(joint, out);
    Recycle(std::move(next->pcm));  // kept until here for the case above
    Recycle(std::move(tail_->bytes));
    tail_ = std::move(next);
    keptFrom_ = static_cast<size_t>(joint - tail_->start / frameSamples_);
}

namespace {

// The last `count` bytes of main data before frame `index`, earliest first; fewer when the
// frames from `first` on do not hold that many.
template <typename FrameList>
std::vector<unsigned char*> DataBefore(std::vector<unsigned char>& bytes, const FrameList& frames,
                                       size_t first, size_t index, int count) {
    std::vector<unsigned char*> found;
    for (size_t f = index; f > first && static_cast<int>(found.size()) < count; --f) {
        const auto& frame = frames[f - 1];
        unsigned char* begin = bytes.data() + frame.offset + frame.dataOffset;
        for (unsigned char* p = bytes.data() + frame.offset + frame.length;
             p > begin && static_cast<int>(found.size()) < count;) {
            found.push_back(--p);
        }
    }
    std::reverse(found.begin(), found.end());
    return found;
}

}  // namespace

// Moves the new segment's reservoir into the old one's frames before the joint, when it fits;
// with `shift`, also when it fits only once the new segment's data has been moved later.
bool ParallelMp3Encoder::FitReservoir(Segment& next, int64_t joint, bool shift) {
    const int64_t oldIndex = joint - tail_->start / frameSamples_;
    const int64_t newIndex = joint - next.start / frameSamples_;
    if (oldIndex >= static_cast<int64_t>(tail_->frames.size()) || newIndex < 1 ||
        newIndex >= static_cast<int64_t>(next.frames.size()) ||
        oldIndex <= static_cast<int64_t>(keptFrom_)) {
        return false;
    }
    const int room = tail_->frames[oldIndex].reservoir;
    const int wanted = next.frames[newIndex].reservoir;
    const std::vector<unsigned char*> old =
        DataBefore(tail_->bytes, tail_->frames, keptFrom_, oldIndex, room);
    if (static_cast<int>(old.size()) < room ||
        (wanted > room && !(shift && ShiftData(next, newIndex, wanted - room)))) {
        return false;
    }
    const int moved = std::min(wanted, room);
    const std::vector<unsigned char*> reservoir =
        DataBefore(next.bytes, next.frames, 0, newIndex, moved);
    if (static_cast<int>(reservoir.size()) < moved)
        return false;
    for (unsigned char* p : old)
        *p = 0;
    for (int i = 0; i < moved; ++i)
        *old[room - moved + i] = *reservoir[i];
    return true;
}

// Moves the main data of the new segment from frame `index` on `shift` bytes later, so that
// each frame asks that much less of the reservoir. That is room every frame up to the
// farthest place of the next joint must have to give; the last segment's end gives no such
// measure.
bool ParallelMp3Encoder::ShiftData(Segment& next, size_t index, int shift) const {
    if (next.last)
        return false;
    const int64_t nextJointEnd = (next.ownStart + segmentSamples_) / frameSamples_ +
                                 tuning_.jointFrames - next.start / frameSamples_;
    const auto limit =
        static_cast<size_t>(std::min<int64_t>(nextJointEnd, std::ssize(next.frames) - 1));
    int count = next.frames[index].reservoir;
    for (size_t k = index; k < limit; ++k) {
        if (next.frames[k + 1].reservoir < shift)
            return false;
        count += next.frames[k].length - next.frames[k].dataOffset;
    }
    const std::vector<unsigned char*> data = DataBefore(next.bytes, next.frames, 0, limit, count);
    if (static_cast<int>(data.size()) < count)
        return false;
    for (int i = count - 1; i >= shift; --i)
        *data[i] = *data[i - shift];
    for (int i = 0; i < shift; ++i)
        *data[i] = 0;
    for (size_t k = index; k <= limit; ++k) {
        Frame& frame = next.frames[k];
        unsigned char* header = next.bytes.data() + frame.offset;
        frame.reservoir -= shift;
        SetMainDataBegin(header, *ParseMpegHeader(header), frame.reservoir);
    }
    return true;
}

// Appends the held segment's frames up to the stream's frame endFrame.
void ParallelMp3Encoder::Emit(int64_t endFrame, std::vector<unsigned char>& out) {
    const auto end = static_cast<size_t>(endFrame - tail_->start / frameSamples_);
    for (size_t f = keptFrom_; f < std::min(end, tail_->frames.size()); ++f) {
        const Frame& frame = tail_->frames[f];
        NoteFrame(bytesOut_);
        const auto* from = tail_->bytes.data() + frame.offset;
        out.insert(out.end(), from, from + frame.length);
        bytesOut_ += frame.length;
        ++framesOut_;
    }
    keptFrom_ = end;
}

void ParallelMp3Encoder::NoteFrame(int64_t offset) {
    if (framesOut_ % seekStride_ != 0)
        return;
    seekPoints_.push_back(offset);
    if (seekPoints_.size() < kSeekPoints)
        return;
    for (size_t i = 0; i < seekPoints_.size() / 2; ++i)
        seekPoints_[i] = seekPoints_[2 * i];
    seekPoints_.resize(seekPoints_.size() / 2);
    seekStride_ *= 2;
}

// The points are every seekStride_-th frame and so stand for the frames evenly: the table is
// off by less than a stride, under half a percent of the playing time.
std::array<uint8_t, 100> ParallelMp3Encoder::SeekTable(int64_t headerBytes) const {
    std::vector<int64_t> offsets(seekPoints_);
    for (int64_t& offset : offsets)
        offset += headerBytes;
    return BuildXingToc(offsets, headerBytes + bytesOut_);
}
