// WinMain, the window class "QUORInst" and the main window's procedure.
// WinMain reads the command line first (command_line.h): /? or an unknown
// switch ends the run with the bad-arguments code before any window; then
// the sequence runs in WM_CREATE, and WinMain returns the code it ended
// with (core/format/exit_codes.h).
#include "installer/main_window.h"

#include "core/format/exit_codes.h"
#include "core/text/bounded_text.h"
#include "installer/activation.h"
#include "installer/install_sequence.h"
#include "installer/installer_state.h"
#include "installer/installer_texts.h"
#include "installer/prompts.h"
#include "installer/run_log.h"
#include "installer/resources/resource_ids.h"

namespace installer {

namespace {

// Set when WM_DESTROY has posted the quit message; without it the message
// loop would wait for ever.
bool QuitPosted = false;

// The code the install sequence ended with; WinMain's result. Set when
// WM_CREATE has run it.
int SequenceExitCode = format::kExitInstalled;
bool SequenceRan = false;

void RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_INSTALLER));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = kMainWindowClass;
  RegisterClassA(&windowClass);
}

LRESULT OnCreate() {
  SequenceExitCode = RunInstallSequence();
  SequenceRan = true;
  return -1;
}

// The switches as the log's first line shows them.
void LogSwitches() {
  LogLine("switches%s%s%s", Switches.silent ? " /S" : "", Switches.logPath[0] != '\0' ? " /LOG=" : "",
          Switches.logPath);
}

// /? or an argument not understood: the switches in a message box (none
// under /S), and the bad-arguments code.
int RefuseArguments() {
  char text[1536] = "";
  if (Switches.unknown[0] != '\0') {
    text::FormatText(text, sizeof text, kUnknownSwitchFormat, Switches.unknown);
    LogLine("bad argument %s", Switches.unknown);
  }
  text::AppendText(text, kSwitchesHelp);
  for (const format::ExitCodeMeaning& meaning : format::kExitCodeMeanings) {
    if (meaning.installer == nullptr) continue;
    char line[128];
    text::FormatText(line, sizeof line, kExitCodeLineFormat, meaning.code, meaning.installer);
    text::AppendText(text, line);
  }
  Tell(text, kSwitchesCaption, MB_OK | (Switches.unknown[0] != '\0' ? MB_ICONHAND : MB_ICONINFORMATION));
  return format::kExitBadArguments;
}

LRESULT OnDestroy() {
  PostQuitMessage(0);
  QuitPosted = true;
  return 0;
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: return OnCreate();
    case WM_DESTROY: return OnDestroy();
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace installer

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
  using namespace installer;
  Switches = ParseCommandLine(commandLine);
  if (Switches.BadArguments()) {
    if (Switches.logPath[0] != '\0') OpenRunLog(Switches.logPath);
    LogSwitches();
    const int code = RefuseArguments();
    CloseRunLog(code);
    return code;
  }
  // Without full rights this process only launches the installation, whose
  // elevated child writes the log; the launcher adds its lines after it.
  const int launched = RunLauncherIfNeeded(commandLine);
  if (launched >= 0) {
    CloseRunLog(launched);
    return launched;
  }
  if (Switches.logPath[0] != '\0') OpenRunLog(Switches.logPath);
  LogSwitches();
  installer::InstanceHandle = instance;
  // Silent: no window at all; the sequence runs as it would in WM_CREATE.
  if (Switches.silent) {
    const int code = RunInstallSequence();
    CloseRunLog(code);
    return code;
  }
  if (previousInstance == nullptr) installer::RegisterMainWindowClass(instance);
  HWND window = CreateWindowExA(0, installer::kMainWindowClass, "", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, instance, nullptr);
  // No window and no quit message: it could not be created at all.
  // No quit message: the loop would wait for ever. Wine destroys a window
  // whose WM_CREATE failed without sending WM_DESTROY, so the sequence may
  // have run all the same.
  if (window == nullptr && !installer::QuitPosted) {
    if (!SequenceRan) {
      // Nothing of the payload was written: the files-not-written code,
      // not success.
      LogFailure("to create the main window", "nothing was installed", GetLastError());
      SequenceExitCode = format::kExitFilesFailed;
    }
    CloseRunLog(SequenceExitCode);
    return SequenceExitCode;
  }
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  MSG message = {};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  CloseRunLog(SequenceExitCode);
  return SequenceExitCode;
}
