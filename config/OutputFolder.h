#pragma once

#include <QString>

class Settings;

// The folder recordings go to, as section "output" names it. Every reader of output/dir and
// output/path goes through here, so a Kelvo.ini brought over from Windows never points into
// whatever directory the program was started from.

// ~/My Recorder: the output folder when the settings name none.
QString DefaultOutputDirectory();

// A stored folder as a folder of this machine: empty or the Windows default "C:\My Recorder"
// (any case, trailing backslash or not) is the default folder; a path with a drive letter or
// backslashes is the same folders under the home folder ("D:\Radio\Night" is ~/Radio/Night);
// any other relative path lies under the home folder, ".." never leading out of it. Absolute
// paths stay as they are.
QString LocalFolder(const QString& stored);

// output/dir and output/path, taken as LocalFolder does.
QString ReadOutputDirectory(const Settings& settings);
QString ReadChosenDirectory(const Settings& settings);

// The output folder with exactly one "/" at its end, ready for a file name.
QString OutputDirectoryPath(const Settings& settings);

// Something is at the path: a file, a folder or a link, even a link that leads nowhere.
bool NameTaken(const QString& path);
