#pragma once

#include <QString>

class Settings;

// The folder recordings go to, as section "output" names it.

// ~/My Recorder: the output folder when the settings name none.
QString DefaultOutputDirectory();

// The output folder with exactly one "/" at its end, ready for a file name.
QString OutputDirectoryPath(const Settings& settings);
