#pragma once

#include <string>

namespace jukebridge {

// Environment variable that names the "Automatically Add to iTunes" folder.
inline constexpr char kFolderVariable[] = "TUNECAP_ITUNES_FOLDER";
// Key of the folder in the bridge's settings file.
inline constexpr char kFolderKey[] = "AutoAddFolder";

// The folder the player watches, as a file system path: the environment
// variable, else the settings file's key (a leading "~/" stands for the home
// folder), else its usual place in the user's music folder. Empty when none
// of them can be determined. Says nothing about whether the folder exists.
// Any thread.
std::string ResolveAutoAddFolder();

// The settings file of the bridge, "jukebridge.ini" in the program's
// application data folder; empty when that folder is unknown.
std::string SettingsFilePath();

}  // namespace jukebridge
