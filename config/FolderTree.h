#pragma once

#include <QString>
#include <QStringList>

// The file-system side of the output directory dialog's folder tree: which folders a node
// shows, where "New Folder" goes and how the user names it. Apart from RenameFolder, nothing
// here throws or reports; failures read as "none".

// parent + "/" + name, without doubling the separator when parent already ends in one ("/").
QString ChildFolderPath(const QString& parent, const QString& name);

// Where "New Folder" is made under parent; empty when parent is empty.
QString NewFolderPath(const QString& parent);

// Makes "New Folder" under parent, one level only. False when parent is empty, the folder
// already exists, or it cannot be made (missing or read-only parent, parent is a file).
bool MakeNewFolder(const QString& parent);

// The folders the tree lists under path: no hidden ones, sorted by name without regard to
// case. Empty when path cannot be read.
QStringList SubFolderNames(const QString& path);

// Whether SubFolderNames(path) would list anything; stops at the first folder found.
bool HasSubFolders(const QString& path);

// Gives the folder at path the name the user typed, in the same parent; returns the new path.
// Throws SonvaraError saying why when the name is empty, holds a "/", is taken, or the rename
// fails.
QString RenameFolder(const QString& path, const QString& name);
