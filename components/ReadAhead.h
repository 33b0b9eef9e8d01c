#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "components/SampleArray.h"

// Decodes on a worker thread a little ahead of the reads that take the sound, so that a caller
// busy encoding never waits for the decoder. The reads give exactly what reading the decoder
// in place would give, and a failure met ahead is thrown by the read that reaches it.
class ReadAhead {
public:
    // Appends the next decoded frames to its argument; false at the end (as
    // FfmpegAudioReader::ReadDecoded). Called on the worker only, between a Read and Stop.
    using Decode = std::function<bool(SampleArray&)>;

    // Blocks of a quarter second at this rate travel to the reader, and at most eight seconds
    // wait ahead of it.
    ReadAhead(Decode decode, int channels, int rate);
    ~ReadAhead();  // stops the worker
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Whole frames, at most maxElements (at least one frame); empty at the end. Starts the
    // worker when it is not running and keeps about maxElements decoded ahead.
    SampleArray Read(int maxElements);
    // Stops the worker and hands back the frames it decoded that no Read took, in order. A
    // failure met ahead and not yet thrown is dropped. The next Read starts a new worker.
    SampleArray Stop();

private:
    void Run();
    SampleArray DecodeBlock(std::exception_ptr& failure, bool& more);
    bool NextBlock(size_t wanted);

    Decode decode_;
    int channels_;
    size_t blockElements_;
    size_t maxAheadElements_;

    // The block the reads are taking from, the reader's own.
    SampleArray current_;
    size_t taken_ = 0;

    std::mutex mutex_;
    std::condition_variable ready_;  // a block, the end or a failure has come
    std::condition_variable room_;   // the reader took a block, or Stop was called
    std::deque<SampleArray> blocks_;
    size_t queuedElements_ = 0;
    size_t aheadElements_ = 0;
    bool ended_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread worker_;
};
