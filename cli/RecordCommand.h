#pragma once

#include <QStringList>
#include <QTextStream>

class ProgramCore;

// `sonvara-cli record [-o OUT.mp3] [--seconds N] [--line K] [--activate [DB]] [--silence S]
// [--split-at-silence]`: records from the chosen input line
// (or the current one) as the main window does, with the naming, MP3 settings and length limit
// of the settings store, for N seconds of sound exactly or until interrupted (Ctrl-C, SIGTERM),
// and always leaves finished files, each with the stored default tag. With activation only the
// passages of sound are written, each told on standard error as it starts and ends. A default tag
// with a year or track that is no number is told and leaves the files untagged; the status stays 0.
int RunRecordCommand(const QStringList& args, ProgramCore& core, QTextStream& err,
                     bool showProgress);
