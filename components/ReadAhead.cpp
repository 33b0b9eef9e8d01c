#include "components/ReadAhead.h"

#include <algorithm>
#include <utility>

namespace {
constexpr int kBlocksPerSecond = 4;
constexpr int kMaxAheadSeconds = 8;
}  // namespace

ReadAhead::ReadAhead(Decode decode, int channels, int rate)
    : decode_(std::move(decode)),
      channels_(channels),
      blockElements_(size_t(std::max(1, rate / kBlocksPerSecond)) * channels),
      maxAheadElements_(size_t(std::max(1, rate)) * channels * kMaxAheadSeconds) {}

ReadAhead::~ReadAhead() {
    Stop();
}

SampleArray ReadAhead::Read(int maxElements) {
    const size_t wanted = size_t(std::max(1, maxElements / channels_)) * channels_;
    SampleArray out;
    out.reserve(std::min<size_t>(wanted, size_t(1) << 20));
    while (out.size() < wanted) {
        if (taken_ == current_.size() && !NextBlock(wanted))
            break;
        const size_t take = std::min(current_.size() - taken_, wanted - out.size());
        out.insert(out.end(), current_.begin() + taken_, current_.begin() + taken_ + take);
        taken_ += take;
    }
    return out;
}

// Makes the next decoded block current; false at the end. Throws a failure the worker met
// here, where a plain read would have met it.
bool ReadAhead::NextBlock(size_t wanted) {
    std::unique_lock lock(mutex_);
    // A caller reading large arrays is served from the queue at once only if a whole array
    // waits there.
    aheadElements_ = std::clamp(wanted, blockElements_, maxAheadElements_);
    if (!worker_.joinable() && blocks_.empty() && !ended_)
        worker_ = std::thread(&ReadAhead::Run, this);
    room_.notify_one();
    ready_.wait(lock, [this] { return !blocks_.empty() || ended_ || failure_; });
    if (!blocks_.empty()) {
        current_ = std::move(blocks_.front());
        blocks_.pop_front();
        taken_ = 0;
        queuedElements_ -= current_.size();
        room_.notify_one();
        return true;
    }
    if (ended_)
        return false;
    // The worker ended with the failure; the next Read starts a new one, which goes on
    // decoding where a plain reader would after the same failure.
    const std::exception_ptr failure = std::exchange(failure_, nullptr);
    lock.unlock();
    worker_.join();
    std::rethrow_exception(failure);
}

SampleArray ReadAhead::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        room_.notify_one();
    }
    if (worker_.joinable())
        worker_.join();

    SampleArray rest(current_.begin() + taken_, current_.end());
    for (const SampleArray& block : blocks_)
        rest.insert(rest.end(), block.begin(), block.end());
    current_.clear();
    taken_ = 0;
    blocks_.clear();
    queuedElements_ = 0;
    ended_ = false;
    stopping_ = false;
    failure_ = nullptr;
    return rest;
}

void ReadAhead::Run() {
    for (;;) {
        std::exception_ptr failure;
        bool more = true;
        SampleArray block = DecodeBlock(failure, more);

        std::unique_lock lock(mutex_);
        if (!block.empty()) {
            queuedElements_ += block.size();
            blocks_.push_back(std::move(block));
        }
        failure_ = failure;
        ended_ = !failure && !more;
        ready_.notify_one();
        if (failure_ || ended_)
            return;
        room_.wait(lock, [this] { return stopping_ || queuedElements_ < aheadElements_; });
        if (stopping_)
            return;
    }
}

// A block of decoded frames; the frames decoded before a failure or the end come with it.
SampleArray ReadAhead::DecodeBlock(std::exception_ptr& failure, bool& more) {
    SampleArray block;
    // Room for the packet that crosses the block's end, of the sizes decoders commonly give.
    block.reserve(blockElements_ + size_t(4608) * channels_);
    try {
        while (block.size() < blockElements_ && (more = decode_(block))) {
        }
    } catch (...) {
        failure = std::current_exception();
    }
    return block;
}
