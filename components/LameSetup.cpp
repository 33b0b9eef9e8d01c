#include "components/LameSetup.h"

#include <lame/lame.h>

#include <algorithm>
#include <mutex>

void LameCloser::operator()(lame_global_struct* lame) const {
    lame_close(lame);
}

LameEncoder StartLame(const AudioFile2LameEnc& encoder, bool infoFrame, bool reservoir) {
    // LAME fills shared tables when an instance first starts; that is not safe to race.
    static std::mutex starting;
    const std::lock_guard lock(starting);
    LameEncoder lame(lame_init());
    if (!lame)
        return nullptr;
    lame_global_flags* flags = lame.get();
    const int channels = encoder.Channels();
    lame_set_num_channels(flags, channels);
    lame_set_in_samplerate(flags, encoder.SampleRate());
    lame_set_out_samplerate(flags, encoder.SampleRate());
    lame_set_mode(flags, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_quality(flags, std::clamp(encoder.Quality(), 0, 9));
    if (encoder.Vbr()) {
        // LAME itself rounds both limits to the nearest bit rate legal at this sample rate;
        // a floor above the ceiling is taken to mean the ceiling.
        lame_set_VBR(flags, vbr_default);
        lame_set_VBR_quality(flags, static_cast<float>(std::clamp(encoder.VbrQuality(), 0, 9)));
        lame_set_VBR_max_bitrate_kbps(flags, encoder.VbrBitrate());
        lame_set_VBR_min_bitrate_kbps(flags, std::min(encoder.Bitrate(), encoder.VbrBitrate()));
        // Without this LAME still drops to its lowest rate for silence.
        lame_set_VBR_hard_min(flags, 1);
    } else {
        lame_set_VBR(flags, vbr_off);
        lame_set_brate(flags, encoder.Bitrate());
    }
    // The info frame carries the exact length and the encoder delay and padding; tags are
    // written separately once the recording is complete.
    lame_set_bWriteVbrTag(flags, infoFrame ? 1 : 0);
    lame_set_write_id3tag_automatic(flags, 0);
    lame_set_disable_reservoir(flags, reservoir ? 0 : 1);
    if (lame_init_params(flags) < 0)
        return nullptr;
    return lame;
}
