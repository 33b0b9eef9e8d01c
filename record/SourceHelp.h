#pragma once

#include <QString>
#include <array>

// The help on choosing what to record, in the order it is paged: what the computer plays,
// microphone, line input, TV tuner.
const std::array<QString, 4>& SourceHelpTexts();
