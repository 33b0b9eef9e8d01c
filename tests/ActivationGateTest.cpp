#include <gtest/gtest.h>

#include "record/ActivationGate.h"
#include "record/SilenceWatch.h"
#include "support/TestAudio.h"

namespace {

constexpr int kRate = 8000;
constexpr int64_t kBlock = kRate / 5;  // 200 ms

// 'T' a tone block (-9 dBFS), '.' silence, 'c' a 0.1 s click then silence, 'h' silence then
// 0.1 s of tone.
SampleArray Block(char kind) {
    const SampleArray tone = testaudio::Tone(kRate, 1, kBlock / 2, 440);
    const SampleArray quiet = testaudio::Silence(1, kBlock / 2);
    SampleArray block = kind == 'T' || kind == 'c' ? tone : quiet;
    const SampleArray& second = kind == 'T' || kind == 'h' ? tone : quiet;
    block.insert(block.end(), second.begin(), second.end());
    return block;
}

struct GateCase {
    const char* pattern;
    int silenceSeconds;
    const char* expected;  // per block: '-' nothing, S started, E ended, 'w' or a count written
    int64_t firstWrite;    // frames of the first write, pre-roll included
};

}  // namespace

TEST(ActivationGate, WritesPassagesWithPrerollAndLeavesLongSilencesOut) {
    const GateCase cases[] = {
        // Pre-roll of 0.5 s before the onset; a 0.5 s tail; a new passage after 1 s of silence.
        {"...TT......T", 1, "---Swwww-E-S", 4000 + kBlock},
        // A pause shorter than the silence is written whole once the sound returns.
        {"T......T", 2, "Swww---5", kBlock},
        // A click shorter than the hold starts nothing.
        {"..c....c..", 1, "----------", 0},
        // Sound beginning mid-block: the pre-roll counts from its onset, not from the trigger.
        {"....hT", 1, "-----S", 4000 + kBlock / 2 + kBlock},
        // A dip of 0.1 s, as at a spoken "p", keeps the onset at the first sound.
        {"....cT", 1, "-----S", 4000 + 2 * kBlock},
    };
    for (const GateCase& c : cases) {
        ActivationSettings settings;
        settings.enabled = true;
        settings.silenceSeconds = c.silenceSeconds;
        ActivationGate gate(settings, kRate, 1);
        std::string got;
        int64_t firstWrite = 0;
        for (const char* kind = c.pattern; *kind; ++kind) {
            const GateStep step = gate.Feed(Block(*kind));
            if (firstWrite == 0 && !step.write.empty())
                firstWrite = static_cast<int64_t>(step.write.front().size());
            const size_t n = step.write.size();
            got += step.passageStarted ? 'S'
                   : step.passageEnded ? 'E'
                   : n == 0            ? '-'
                   : n == 1            ? 'w'
                                       : static_cast<char>('0' + n);
        }
        EXPECT_EQ(got, c.expected) << c.pattern;
        EXPECT_EQ(firstWrite, c.firstWrite) << c.pattern;
    }
}

// Per second of sound: '.' digital silence, 'q' noise under -90 dBFS, 'n' noise over it, 'T' a
// tone. A recording silent for its first 10 s is told at once, one silent for 60 s later on
// too, and each stretch once.
TEST(SilenceWatch, TellsEachLongStretchOfSilenceOnce) {
    constexpr int kRateHz = 100;
    const auto second = [](char kind) {
        if (kind == 'T')
            return testaudio::Tone(kRateHz, 1, kRateHz, 10);
        SampleArray block(kRateHz, 0);
        for (size_t i = 0; kind != '.' && i < block.size(); i += 2)
            block[i] = kind == 'q' ? 1 : 5;
        return block;
    };
    const std::string later = "T" + std::string(70, '.') + "T" + std::string(60, 'q');
    const std::pair<std::string, std::vector<int>> cases[] = {{std::string(12, '.'), {9}},
                                                              {std::string(12, 'q'), {9}},
                                                              {std::string(12, 'n'), {}},
                                                              {later, {60, 131}}};
    for (const auto& [pattern, expected] : cases) {
        SilenceWatch watch;
        watch.Start(kRateHz, 1);
        std::vector<int> told;
        for (size_t i = 0; i < pattern.size(); ++i) {
            if (watch.Feed(second(pattern[i])))
                told.push_back(static_cast<int>(i));
        }
        EXPECT_EQ(told, expected) << pattern;
    }
}
