#pragma once

#include <QStringList>
#include <QTextStream>

class AudioRecord2;
class Settings;

// `sonvara-cli record -o OUT.mp3 [--seconds N] [--line K]`: records from the chosen input line
// (or the current one) into an MP3 with the MP3 settings of the settings store, for N seconds
// exactly or until interrupted (Ctrl-C, SIGTERM), and always leaves a finished file.
int RunRecordCommand(const QStringList& args, AudioRecord2& recorder, const Settings& settings,
                     QTextStream& err, bool showProgress);
