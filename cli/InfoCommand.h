#pragma once

#include <QStringList>
#include <QTextStream>

class AudioInformation2;

// `sonvara-cli info FILE...`: prints each file's facts and tag. Returns the exit status: 1 when
// any file could not be read (each such file gets a one-line error on err).
int RunInfoCommand(const QStringList& files, AudioInformation2& info, QTextStream& out,
                   QTextStream& err);

// The tag lines of `info`, for a file read into info.
void PrintTag(const AudioInformation2& info, QTextStream& out);
