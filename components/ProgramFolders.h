#pragma once

#include <QString>

// Where the program's own files lie: the skin bundle and the help sit beside the program in a
// build tree, and in ../share/sonvara relative to it in an installed tree.
namespace ProgramFolders {

inline constexpr const char* kSkinFileName = "mp3enc.dll";

// The folder that holds the skin bundle and the help for a program in programFolder: the
// program's own folder when the bundle is there, else ../share/sonvara. Never fails; a missing
// bundle is reported by whoever opens it, naming the path.
QString DataFolder(const QString& programFolder);

// DataFolder of the running program.
QString DataFolder();

}  // namespace ProgramFolders
