// Where the demo screen saver finds what the installer put beside it.
//
// The installer writes the screen saver as WinDir\<title>.scr and its files
// into the title directory WinDir\MARLOWEN\VELDRAKE\<title>: the data file
// <title>.DAT and the media files JUKE0023.MID, JUK_0024.WAV, FILE0025.MP3...
// The screen saver learns <title> from its own file name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace screensaver {

// The title from the screen saver's own path (long form): the file name
// without its last extension, "C:\WINDOWS\Saverkit Aurora.scr" gives
// "Saverkit Aurora". Empty when the path holds no usable name.
std::string TitleFromModulePath(std::string_view modulePath);

// The title directory and the data file for `title` under the Windows
// directory as the system reports it ("C:\WINDOWS" or "C:\"). Empty when
// the path would not fit the installer's 259 characters.
std::string TitleDirectoryFor(std::string_view windowsDirectory, std::string_view title);
std::string DataFilePathFor(std::string_view windowsDirectory, std::string_view title);

// True for a media file name the installer can write: "JUKE", "JUK_" or
// "FILE" (any case), at least four digits, then anything. The data file
// of a title like "FILE0001" is not one of them: pass its name to exclude it.
bool IsMediaFileName(std::string_view name, std::string_view dataFileName);

// The media files among the names of a title directory, in playing order:
// by their number, then by name.
std::vector<std::string> SelectMediaFiles(const std::vector<std::string>& names,
                                          std::string_view dataFileName);

}  // namespace screensaver
