#pragma once

#include <QStringList>
#include <QTextStream>

class AudioInformation2;

// `sonvara-cli tag FILE... [--title T] [--artist A] [--album A] [--genre NAME|NUMBER]
// [--year N] [--track N] [--comment C]`: without options prints each file's tag; with options
// sets those fields in every file and keeps the others. Values are checked before any file is
// touched. Returns the exit status: 1 when any file could not be read or tagged (each such file
// gets a one-line error on err).
int RunTagCommand(const QStringList& args, AudioInformation2& info, QTextStream& out,
                  QTextStream& err);
