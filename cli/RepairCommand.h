#pragma once

#include <QStringList>
#include <QTextStream>

// `sonvara-cli repair FILE...`: makes recordings cut off by a crash or a kill whole again, as
// the program does at its next start, and prints each one's length. Returns 1 when any file
// could not be repaired (each gets a one-line error on err).
int RunRepairCommand(const QStringList& files, QTextStream& out, QTextStream& err);
