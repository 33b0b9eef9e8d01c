#pragma once

#include <QStringList>
#include <QTextStream>

class Settings;

// `sonvara-cli join -o OUT.mp3 [options] IN...`: writes every input, in order, into one MP3
// with the MP3 settings of the given settings store, overridden by the options. The output
// appears only when the whole join succeeded; an existing file of that name is then replaced.
int RunJoinCommand(const QStringList& args, const Settings& settings, QTextStream& err,
                   bool showProgress);
