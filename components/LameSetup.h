#pragma once

#include <cstddef>
#include <memory>

#include "components/AudioFile2LameEnc.h"

struct lame_global_struct;

struct LameCloser {
    void operator()(lame_global_struct* lame) const;
};
using LameEncoder = std::unique_ptr<lame_global_struct, LameCloser>;

// One LAME instance set up for the settings, as every MP3 this program writes is encoded.
// infoFrame: LAME keeps its first frame for the Xing/LAME info frame. reservoir: frames may
// borrow bytes from the ones before them. Null when LAME cannot start or refuses the settings.
// Safe to call from several threads at once.
LameEncoder StartLame(const AudioFile2LameEnc& encoder, bool infoFrame, bool reservoir = true);

// Sound is handed to LAME in pieces of this many frames, which bounds the scratch buffers
// however large an array a caller hands in.
constexpr int kLameChunkFrames = 16384;

// LAME's own worst case for the output of one call on frames sample frames.
inline size_t Mp3BufferSize(int frames) {
    return static_cast<size_t>(frames) * 5 / 4 + 7200;
}
