#pragma once

#include <QStringList>
#include <QTextStream>

class ProgramCore;

// `sonvara-cli repair FILE...`: makes recordings cut off by a crash or a kill whole again,
// gives those without a tag the default tag, as the program does at its next start, and
// prints each one's length. A whole file is left byte for byte. Returns 1 when any file could
// not be repaired (each gets a one-line error on err).
int RunRepairCommand(const QStringList& files, ProgramCore& core, QTextStream& out,
                     QTextStream& err);
