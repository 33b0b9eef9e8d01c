#pragma once

#include <QStringList>
#include <QTextStream>

class ProgramCore;

// `sonvara-cli join -o OUT.mp3 [options] IN...`: the list window's join of the inputs, in
// order, with the MP3 settings of the given settings store, overridden by the options. Every
// input is measured before anything is written; an existing file of that name is replaced when
// the join ends, also when Ctrl-C stops it, and the output then holds what was joined so far.
// Progress goes to err, rewritten in place when it is a terminal.
int RunJoinCommand(const QStringList& args, ProgramCore& core, QTextStream& err, bool terminal);
