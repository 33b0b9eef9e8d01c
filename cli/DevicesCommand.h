#pragma once

#include <QTextStream>

class AudioRecord2;

// `sonvara-cli devices`: the capture device, its input lines (the one recorded from marked
// with "*") and each line's level. Exit status 1 when there is no sound server.
int RunDevicesCommand(AudioRecord2& recorder, QTextStream& out, QTextStream& err);
