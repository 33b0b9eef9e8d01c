#pragma once

#include <QString>
#include <array>

// The help on choosing what to record, shown one text at a time and paged in a ring: Windows
// audio, microphone, line-in, TV tuner.
const std::array<QString, 4>& SourceHelpTexts();

// The text after index, from the last back to the first, and the one before it.
int NextSourceHelp(int index);
int PreviousSourceHelp(int index);
