#pragma once

#include <QString>
#include <functional>

#include "config/OutputFolder.h"

class Clock;
class Settings;

// Where a recording goes and what its file is called, from section "output" as it stands when
// the recording starts, and the shorter name the main window shows for it.

// The full path of a new recording: the prefix alone (custom-name mode) or followed by
// "-dd-MM-yyyy--HH;mm;ss" of the clock's local time, then the extension (e.g. ".mp3"). The
// file always lies directly in the output folder, whatever the prefix holds; its name is never
// empty (an empty custom name is "EUT") and holds no control characters.
QString BuildOutputFileName(const Settings& settings, const Clock& clock, const QString& extension);

// The tail of outputFile from the prefix it was named with on (from the first "-" when the
// prefix is empty); the whole path when that is not found.
QString ShownFileName(const Settings& settings, const QString& outputFile);

// path itself when nothing is there, else the first of "NAME-2.ext", "NAME-3.ext", ... that is
// free: a recording never replaces a file, nor anything else at its name.
QString FreeFileName(const QString& path,
                     const std::function<bool(const QString&)>& taken = NameTaken);
