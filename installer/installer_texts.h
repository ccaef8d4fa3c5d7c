// The texts the installer shows: message boxes, captions and the formats
// they are built from. Sentences inside a message are separated by two
// blanks. Each %s is filled as its comment says.
#pragma once

namespace installer {

// Window class of the hidden main window.
constexpr char kMainWindowClass[] = "QUORInst";

// %s: the trimmed title. Caption of the confirmation and completion
// messages, and the progress dialog's window text.
constexpr char kInstallerCaptionFormat[] = "%s Screen Saver Installation";
// %s: the trimmed title. The progress dialog's title line.
constexpr char kTitleLineFormat[] = "%s Screen Saver";

// %s: the file name (title + ".SCR").
constexpr char kReplaceQuestionFormat[] =
    "There is already a screen saver by the same name (%s) installed on your system.  "
    "Would you like to replace it?";
constexpr char kReplaceCaption[] = "Replace Screen Saver?";

// %s: needed kilobytes, then free kilobytes, each with thousands separators.
constexpr char kDiskFullFormat[] =
    "You will need %s kilobytes free in your Windows directory to install this screen saver.  "
    "It appears that you only have %s kilobytes free on this drive.  "
    "Would you like to continue the installation?";
constexpr char kDiskFullCaption[] = "Disk Full";

// %s: the title, the upper-cased Windows directory, the byte count.
constexpr char kConfirmationFormat[] =
    "This program will install %s Screen Saver to %s and will make it your default Screen "
    "Saver.  This installation will take %s bytes.";

constexpr char kInstallationComplete[] = "Installation Complete!";

// The unsupported-types message: the head, the list (one extension per
// line), the middle, the download page's address, the tail.
constexpr char kMissingCodecsHead[] =
    "The following file types are not currently supported by your Windows media player:\r\n\r\n";
constexpr char kMissingCodecsMiddle[] =
    "\r\nThese file types must be supported before you can run this file.  Click on the OK "
    "button below to download a copy from ";
constexpr char kMissingCodecsTail[] =
    ".  If you wish to get this file at a later time, click Cancel.";
constexpr char kMissingCodecsCaption[] = "Missing support codecs";
// Stands for the lines of the list that did not fit into the message.
constexpr char kMoreLinesMark[] = "...\r\n";

// The media player's download page, a page of the player's maker.
constexpr char kMediaPlayerPage[] = "https://www.microsoft.com/windows/windows-media-player";
constexpr char kCannotConnect[] = "Could not connect to this site.";

// Shown instead of "Installation Complete!" when some file was not written
// whole: the head, the list of paths (one per line), then the tail. %u: the
// number of files that did not fit into the list.
constexpr char kFailedFilesHead[] = "The following files could not be installed completely:\r\n\r\n";
constexpr char kFailedFilesMoreFormat[] = "and %u more\r\n";
constexpr char kFailedFilesTail[] =
    "\r\nThe screen saver was not activated.  Please run the installation again.";

// The switches, shown for /? and after an argument not understood (%s:
// that argument). Caption: kSwitchesCaption.
constexpr char kUnknownSwitchFormat[] = "Unknown argument: %s\r\n\r\n";
constexpr char kSwitchesHelp[] =
    "Switches (any order, upper or lower case):\r\n\r\n"
    "/S\tSilent: no window, message or dialog; an existing screen saver is replaced, a "
    "licence is accepted, a short disk stops the installation, and the screen saver is not "
    "started.\r\n"
    "/LOG=FILE\tWrite a log of the run to FILE (quote a path with blanks).\r\n"
    "/?\tShow this message.\r\n\r\n"
    "Exit codes:\r\n";
// One line of the exit codes that follow kSwitchesHelp. %d: the code, %s: its meaning.
constexpr char kExitCodeLineFormat[] = "%d\t%s\r\n";
constexpr char kSwitchesCaption[] = "Screen Saver Installation";

// The launcher's box when its elevated start failed other than by the
// user's No. %lu: the system's error code. Caption: kSwitchesCaption.
constexpr char kElevationFailedFormat[] =
    "The installation needs administrator rights and could not be started with them (error %lu).";

}  // namespace installer
