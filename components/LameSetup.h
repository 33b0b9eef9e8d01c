#pragma once

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
