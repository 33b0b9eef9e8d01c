#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "components/AudioFile2LameEnc.h"

// Encodes one MP3 stream on several LAME instances at once. The sound is cut into segments on
// the frame grid; each is encoded on a worker from a few frames before its start, so that its
// encoder has settled, and the segments are stitched in order into one valid stream, bit
// reservoir included. The bytes depend only on the sound and the settings, never on the
// workers' timing, and at most a fixed number of segments is held, however long the sound.
class ParallelMp3Encoder {
public:
    struct Tuning {
        int segmentFrames = 0;  // MP3 frames per segment; 0: about 10 seconds
        int warmUpFrames = 10;  // encoded ahead of a segment's start and dropped
        int jointFrames = 4;    // frames from a segment's start where the joint may fall
        int inFlight = 0;       // segments held at once; 0: one more than the workers
    };

    // Throws SonvaraError when LAME refuses the settings or not one worker thread can start;
    // fewer threads than asked for do the work of all.
    ParallelMp3Encoder(const AudioFile2LameEnc& encoder, int workers, Tuning tuning);
    // Stops the workers; what was not finished is dropped.
    ~ParallelMp3Encoder();

    ParallelMp3Encoder(const ParallelMp3Encoder&) = delete;
    ParallelMp3Encoder& operator=(const ParallelMp3Encoder&) = delete;

    // Frames at the encoder's rate, with its channel count or one channel (used for both).
    // Appends the bytes of the stream that are final to out; waits only when the bound of
    // segments held is reached.
    void Encode(const int16_t* pcm, int frames, int channels, std::vector<unsigned char>& out);
    // Encodes what is left and appends the rest of the stream; nothing may follow.
    void Finish(std::vector<unsigned char>& out);

    // Of the stream appended so far: all of it after Finish.
    int64_t FrameCount() const { return framesOut_; }
    int64_t ByteCount() const { return bytesOut_; }
    int EncoderDelay() const { return delay_; }
    int EncoderPadding() const { return padding_; }  // once finished
    // The Xing table of contents, for a file with headerBytes in front of the stream.
    std::array<uint8_t, 100> SeekTable(int64_t headerBytes) const;

private:
    struct Segment;
    struct Frame;

    void StartWorkers(int count);
    std::shared_ptr<Segment> NewSegment();
    void Recycle(std::vector<int16_t>&& pcm);
    void Recycle(std::vector<unsigned char>&& bytes);
    void Submit(bool last);
    void Work();
    void Encoded(Segment& segment);
    void Collect(std::vector<unsigned char>& out, size_t keep);
    void Stitch(std::shared_ptr<Segment> next, std::vector<unsigned char>& out);
    bool FitReservoir(Segment& next, int64_t joint, bool shift);
    bool ShiftData(Segment& next, size_t index, int shift) const;
    void Emit(int64_t endFrame, std::vector<unsigned char>& out);
    void NoteFrame(int64_t offset);

    AudioFile2LameEnc encoder_;
    Tuning tuning_;
    int channels_;
    int frameSamples_;  // 1152 for MPEG-1, 576 for MPEG-2 and 2.5
    int64_t segmentSamples_;
    int64_t warmUpSamples_;
    int64_t postRollSamples_;
    int inFlight_;

    // The segment being filled; the next one to encode.
    std::shared_ptr<Segment> filling_;
    int64_t nextStart_ = 0;  // where the following segment's own sound starts
    bool failed_ = false;    // a segment could not be encoded
    // Encoding or encoded, oldest first; the front is stitched next.
    std::deque<std::shared_ptr<Segment>> held_;
    // Stitched but not all written: its frames from keptFrom_ on.
    std::shared_ptr<Segment> tail_;
    size_t keptFrom_ = 0;
    std::vector<std::vector<int16_t>> sparePcm_;
    std::vector<std::vector<unsigned char>> spareBytes_;

    std::mutex mutex_;
    std::condition_variable wake_;  // a segment to encode, or stop
    std::condition_variable done_;  // a segment encoded
    std::deque<std::shared_ptr<Segment>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;

    int64_t framesOut_ = 0;
    int64_t bytesOut_ = 0;
    int delay_ = 0;
    int padding_ = 0;
    // Byte offsets of every seekStride_-th frame, thinned as the stream grows.
    std::vector<int64_t> seekPoints_;
    int64_t seekStride_ = 1;
};
