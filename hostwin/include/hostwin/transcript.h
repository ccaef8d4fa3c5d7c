// The transcript of a run in the stand-in: one line per event that a user or
// the system would notice, in the order they happen. Lines are deterministic:
// no addresses, no host paths, no times; paths are the Windows paths the
// program used. Texts in double quotes are as the program passed them, with
// control characters written \r \n \t or \xNN and bytes from 0x7F up as \xNN;
// backslashes and quotes inside them stand as they are.
//
//   message box "CAPTION" "TEXT" STYLE -> ANSWER = RESULT
//       STYLE is the flags by name joined by "|" (button set first, then the
//       icon, default button, modality, others; unknown bits as 0xNNNN), e.g.
//       MB_OKCANCEL|MB_ICONINFORMATION. RESULT is IDOK, IDCANCEL, IDYES, IDNO.
//       Escape and the close box give IDCANCEL where the box has Cancel, IDOK
//       on an MB_OK box; a Yes/No box has neither.
//   dialog ID open "CAPTION" WxH        template ID created (outer size, px)
//   dialog ID text "TEXT"               the dialog's window text set
//   dialog ID item CTL text "TEXT"      a control's text set (CTL: its id)
//   dialog ID move X,Y WxH              MoveWindow of the dialog (outer rect)
//   dialog ID wait focus CTL -> ANSWER = command N
//       the dialog waits for the user with nothing queued; CTL is the control
//       that has the focus ("none" when none has it), followed by
//       " (no selection)" or " (selected A-B)" when that control is an edit
//       box. N is the WM_COMMAND wParam the answer produced; the close box is
//       "= close box" (WM_SYSCOMMAND SC_CLOSE, which the default handling
//       turns into command 2).
//   dialog ID end RESULT                EndDialog's value, returned by DialogBoxParamA
//   window "CLASS" shown SW_NAME        ShowWindow on a real window
//   window "CLASS" cannot be created    the machine refuses windows
//   cursor IDC_NAME                     SetCursor with a system cursor
//   file create PATH                    a file created or truncated for writing
//   file open PATH                      an existing file opened for writing
//   file close PATH N bytes             such a file closed, with its size
//   disk full PATH                      a write cut short by the machine's writable bytes
//   directory create PATH
//   registry create KEY = created|opened
//   registry set KEY "NAME" REG_SZ "TEXT" N bytes     (N: the stored length)
//   registry set KEY "NAME" REG_DWORD 0xNNNNNNNN
//   registry delete KEY
//   profile PATH [SECTION] KEY = "VALUE"          (or "KEY deleted", "section deleted")
//   MCI open "PATH" = 0 device N                  open by extension
//   MCI open "TYPE" "PATH" = 0 device N           open with a device type
//   ... = CODE MCIERR_NAME                        a failed open
//   MCI close device N = 0
//   WinExec "COMMAND" SW_NAME = N
//   ShellExecuteA "VERB" "FILE" [params "P"] [dir "D"] SW_NAME = N
//   SystemParametersInfoA SPI_NAME VALUE FLAGS = TRUE
//   memory: N block(s) not freed at exit
//   !! TEXT                             a loud error: something a test must not
//                                       pass over (no answer left, an answer
//                                       that does not fit, a wait for ever,
//                                       a crash, answers left unused, ...)
//   exit N                              the process's exit code, always last
//                                       ("!! killed by signal N" instead when
//                                       it did not exit)
#pragma once

#include <string>

namespace hostwin {

// A text as the transcript shows it inside double quotes (without them).
std::string TranscriptText(const std::string& text);

}  // namespace hostwin
