#pragma once

#include <QString>
#include <array>

class Settings;

// The tables that index-valued settings point into. A stored index is only ever used through
// ReadTableIndex, so a hand-edited file cannot make a reader index past a table.
inline constexpr std::array<int, 10> kFrequencyTable = {6000,  8000,  11025, 12000, 16000,
                                                        22050, 24000, 32000, 44100, 48000};
inline constexpr std::array<int, 17> kBitrateTable = {8,  16,  24,  32,  40,  48,  56,  64, 80,
                                                      96, 112, 128, 160, 192, 224, 256, 320};
inline constexpr std::array<const char*, 2> kChannelNames = {"Mono", "Stereo"};

// The stored index of section/key when it lies in 0..tableSize-1, else defaultIndex.
int ReadTableIndex(const Settings& settings, const QString& section, const QString& key,
                   int defaultIndex, int tableSize);
