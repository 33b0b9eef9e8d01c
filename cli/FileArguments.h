#pragma once

#include <QString>
#include <QStringList>

// The command line as QStrings. Qt takes file names as UTF-8, so a name with other bytes would
// name no file; such an argument that names an existing file is replaced by a path through an
// open descriptor (/proc/self/fd/N), which reaches the very same file for as long as the tool
// runs. Messages and listings show the name as given, its odd bytes replaced.
QStringList CommandLineArguments(int argc, char** argv);
// text with each such stand-in path replaced by the name it stands for.
QString WithNamesShown(QString text);
