// The transcript of a run in the stand-in: one line per event that a user or
// the system would notice, in the order they happen. Lines are deterministic:
// no addresses, no host paths, no times; paths are the Windows paths the
// program used. Texts in double quotes are as the program passed them, with
// control characters written \r \n \t or \xNN and bytes from 0x7F up as \xNN;
// backslashes and quotes inside them stand as they are. Paths and key names
// outside quotes are escaped the same way, so every line is printable ASCII.
//
//   message box "CAPTION" "TEXT" STYLE -> ANSWER = RESULT
//       STYLE is the flags by name joined by "|" (button set first, then the
//       icon, default button, modality, others; unknown bits as 0xNNNN), e.g.
//       MB_OKCANCEL|MB_ICONINFORMATION. RESULT is IDOK, IDCANCEL, IDYES, IDNO.
//       Escape and the close box give IDCANCEL where the box has Cancel, IDOK
//       on an MB_OK box; a Yes/No box has neither. With no answer left the
//       line ends "-> (none) = RESULT", a loud line follows, and the box
//       returns as if dismissed: by Escape where it can be, otherwise by its
//       last button (No). An answer that does not fit gives the same result
//       and a loud line.
//   dialog ID open "CAPTION" WxH        template ID created (outer size, px; " owner"
//                                       follows when it was given one)
//   dialog ID text "TEXT"               the dialog's window text set
//   dialog ID item CTL text "TEXT"      a control's text set (CTL: its id)
//   dialog ID move X,Y WxH              MoveWindow of the dialog (outer rect)
//   dialog ID paint "TEXT"...           UpdateWindow painted the dialog: the texts of
//                                       its visible controls, in template order (empty
//                                       ones left out); only a dialog shown or changed
//                                       since its last paint is painted
//   dialog ID wait focus CTL -> ANSWER = command N
//       the dialog waits for the user with nothing queued; CTL is the control
//       that has the focus ("none" when none has it), followed by
//       " (no selection)" or " (selected A-B)" when that control is an edit
//       box. N is the WM_COMMAND wParam the answer produced; the close box is
//       "= close box" (WM_SYSCOMMAND SC_CLOSE, which the default handling
//       turns into command 2). With no answer left, or one that does not fit
//       (no visible button with that text, a close box the dialog lacks), a
//       loud line follows and the dialog gets command 2 as from Escape; one
//       that still does not end is ended with -1.
//   dialog ID end RESULT                EndDialog's value, returned by DialogBoxParamA
//   dialog ID cannot be created         the machine's settings refuse this template (-1)
//   window "CLASS" shown SW_NAME        ShowWindow on a real window
//   window "CLASS" paint                UpdateWindow painted it (as a dialog's paint)
//   window "CLASS" move X,Y WxH         MoveWindow of a top-level window
//   window "CLASS" cannot be created    the machine refuses windows
//   cursor IDC_NAME                     SetCursor with a system cursor
//   file create PATH                    a file created or truncated for writing
//                                       (_lcreat, CreateFileA, fopen "w"/"a")
//   file open PATH                      an existing file opened for writing
//   file close PATH N bytes             such a file closed, with its size
//   file delete PATH
//   disk full PATH                      a write cut short by the machine's writable bytes
//                                       (once per open file)
//   directory create PATH               CreateDirectoryA that created one
//   registry create KEY = created|opened
//   registry set KEY "NAME" REG_SZ "TEXT" N bytes     (N: the stored length; @ for
//                                                     the default value)
//   registry set KEY "NAME" REG_DWORD 0xNNNNNNNN
//   registry delete KEY
//   profile PATH [SECTION] KEY = "VALUE"      (or "KEY deleted", "section deleted";
//                                             PATH is the resolved Windows path)
//   ... (refused: it would break the file's lines)   a line break anywhere, ']' in
//                                             SECTION or '=' in KEY: nothing written
//   MCI open "PATH" = 0 device N              open by extension
//   MCI open "TYPE" "PATH" = 0 device N       open with a device type
//   ... = CODE MCIERR_NAME                    a failed open, e.g. 281 MCIERR_EXTENSION_NOT_FOUND
//   MCI close device N = 0
//   WinExec "COMMAND" SW_NAME = N             33 when the program file exists, else 2
//   ShellExecuteA "VERB" "FILE" [owner] [params "P"] [dir "D"] SW_NAME = N
//   SystemParametersInfoA SPI_NAME VALUE FLAGS = TRUE
//   LoadLibraryA "NAME" = NULL (no such library on this machine)
//   At the program's end, before the exit line, what it left behind:
//   memory: N block(s) not freed at exit
//   library NAME still loaded at exit (N LoadLibraryA without FreeLibrary)
//   MCI device N left open at exit
//   !! TEXT                             a loud error: something a test must not
//                                       pass over: no answer left, an answer
//                                       that does not fit, a message loop that
//                                       would wait for ever (the program then
//                                       ends with 259, STILL_ACTIVE), winmm.dll
//                                       asked for by a bare name, a freed block
//                                       or library freed twice, answers left
//                                       unused, a crash, the timeout
//   exit N                              the program's exit code, always last
//                                       when it exited ("!! killed by signal N
//                                       (NAME)" or "!! timed out" when not)
//
// Writing a transcript test: create a machine (CreateMachine with the
// settings the case needs), run the program with RunProgram and its answers,
// and compare RunResult::transcript with the whole expected list of lines;
// JoinTranscript makes a readable failure message. RunResult::changes
// (FormatChanges) lists the files, registry values and system.ini entries the
// run added, changed or removed.
#pragma once

#include <string>

namespace hostwin {

// A text as the transcript shows it inside double quotes (without them).
std::string TranscriptText(const std::string& text);

}  // namespace hostwin
