#pragma once

// Showing a file in the user's file manager. QtCore and QtDBus only.

#include <QString>

// Environment variable naming the command that opens a folder when no file
// manager answers on the session bus; "xdg-open" when unset. The command is
// run with the folder as its one argument.
constexpr char kOpenFolderCommandVariable[] = "TUNECAP_OPEN_FOLDER_COMMAND";

// Asks the file manager to show the file selected in its folder: the
// freedesktop FileManager1 ShowItems call on the session bus; when no file
// manager answers (or there is no session bus), the folder is opened with
// the open-folder command instead. Returns true when either was done;
// false (logged "Show <path> InFinder failed, err: <code>") when neither
// worked. GUI thread; waits at most a few seconds for the bus.
bool ShowFileInFolder(const QString& path);
