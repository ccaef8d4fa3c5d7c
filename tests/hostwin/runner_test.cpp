// Programs played through the stand-in: message boxes and dialogs answered
// from the list, the main window's life, the registry file, media, the
// shell, the exit paths, and the changes a run leaves in the machine.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "hostwin/runner.h"
#include "temp_files.h"

extern const unsigned char HostwinTestResources[];
extern const std::size_t HostwinTestResourcesSize;

namespace {

using hostwin::MachineSettings;
using hostwin::RunResult;
using Lines = std::vector<std::string>;

// What the test programs below do; set before each run (the child process
// gets a copy).
struct Script {
  UINT boxStyle = MB_OK;
  bool removeSelection = true;
  BOOL initResult = FALSE;
  int focusId = 1009;
  bool postStart = true;
  const char* libraryPath = "C:\\WINDOWS\\SYSTEM32\\winmm.dll";
  std::vector<std::string> mediaFiles;
} script;

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { script = Script(); }

  RunResult Run(hostwin::WinMainFunction program, std::vector<std::string> answers,
                const MachineSettings& settings = MachineSettings()) {
    std::string error;
    folder_ = temp_.path() + "/machine" + std::to_string(++runs_);
    EXPECT_TRUE(hostwin::CreateMachine(folder_, settings, &error)) << error;
    return RunAgain(program, std::move(answers));
  }
  RunResult RunAgain(hostwin::WinMainFunction program, std::vector<std::string> answers) {
    hostwin::RunOptions options;
    options.machineFolder = folder_;
    options.answers = std::move(answers);
    options.resources.assign(HostwinTestResources, HostwinTestResources + HostwinTestResourcesSize);
    options.timeoutSeconds = 20;
    return hostwin::RunProgram(options, program);
  }
  std::string ReadHost(const std::string& name) const {
    auto bytes = testsupport::ReadFileBytes(folder_ + "/" + name);
    return std::string(bytes.begin(), bytes.end());
  }

  testsupport::TempFolder temp_;
  std::string folder_;
  int runs_ = 0;
};

// ------------------------------------------------------------ message boxes
int WINAPI BoxProgram(HINSTANCE, HINSTANCE, LPSTR, int) {
  return MessageBoxA(nullptr, "Line one\r\nLine two", "Caption", script.boxStyle);
}

TEST_F(RunnerTest, MessageBoxesTakeTheAnswersThatFitThem) {
  struct Case {
    UINT style;
    const char* answer;
    int result;
    bool loud;
  };
  const Case cases[] = {
      {MB_OK, "ok", IDOK, false},
      {MB_OK, "escape", IDOK, false},
      {MB_OK | MB_ICONEXCLAMATION, "close", IDOK, false},
      {MB_OK, "cancel", IDOK, true},
      {MB_OKCANCEL | MB_ICONINFORMATION, "ok", IDOK, false},
      {MB_OKCANCEL, "cancel", IDCANCEL, false},
      {MB_OKCANCEL, "escape", IDCANCEL, false},
      {MB_OKCANCEL, "yes", IDCANCEL, true},
      {MB_YESNO | MB_ICONQUESTION, "yes", IDYES, false},
      {MB_YESNO, "no", IDNO, false},
      {MB_YESNO, "escape", IDNO, true},  // a Yes/No box has no Escape and no close box
      {MB_YESNO, "accept", IDNO, true},
      {MB_YESNOCANCEL, "close", IDCANCEL, false},
  };
  for (const Case& c : cases) {
    script.boxStyle = c.style;
    RunResult r = Run(BoxProgram, {c.answer});
    EXPECT_EQ(r.exitCode, c.result) << c.answer << "\n" << hostwin::JoinTranscript(r.transcript);
    EXPECT_EQ(r.loudErrors, c.loud ? 1 : 0) << c.answer << "\n" << hostwin::JoinTranscript(r.transcript);
  }
  script.boxStyle = MB_OKCANCEL | MB_ICONINFORMATION;
  RunResult r = Run(BoxProgram, {"ok"});
  EXPECT_EQ(r.transcript, (Lines{"message box \"Caption\" \"Line one\\r\\nLine two\" "
                                 "MB_OKCANCEL|MB_ICONINFORMATION -> ok = IDOK",
                                 "exit 1"}));
}

TEST_F(RunnerTest, ABoxWithoutAnAnswerIsALoudErrorAndEndsAsDismissed) {
  script.boxStyle = MB_OKCANCEL;
  RunResult r = Run(BoxProgram, {});
  EXPECT_EQ(r.transcript, (Lines{"message box \"Caption\" \"Line one\\r\\nLine two\" MB_OKCANCEL -> (none) = IDCANCEL",
                                 "!! a message box waits for an answer and none is left", "exit 2"}));
  EXPECT_EQ(r.loudErrors, 1);
  r = Run(BoxProgram, {"ok", "yes"});
  EXPECT_EQ(r.transcript.at(1), "!! answers left unused: yes");
  EXPECT_EQ(r.answersUsed, 1u);
}

// ----------------------------------------------------------------- dialogs
void CenterOnScreen(HWND dialog) {
  RECT r;
  GetWindowRect(dialog, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  MoveWindow(dialog, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2, GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2,
             width, height, FALSE);
}

INT_PTR CALLBACK TermsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetDlgItemTextA(dialog, 1009, reinterpret_cast<const char*>(lParam));
    CenterOnScreen(dialog);
    if (script.initResult) return TRUE;
    SetFocus(GetDlgItem(dialog, script.focusId));
    if (script.removeSelection) PostMessageA(GetDlgItem(dialog, 1009), EM_SETSEL, static_cast<WPARAM>(-1), 0);
    return FALSE;
  }
  if (message == WM_COMMAND && (wParam == 1 || wParam == 2)) {
    // The text box still holds the whole text when the dialog ends.
    char text[64];
    bool whole = GetDlgItemTextA(dialog, 1009, text, sizeof text) == 18 &&
                 SendMessageA(GetDlgItem(dialog, 1009), WM_GETTEXTLENGTH, 0, 0) == 18;
    EndDialog(dialog, whole ? static_cast<INT_PTR>(wParam) : 50);
    return TRUE;
  }
  return FALSE;
}

int WINAPI TermsProgram(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  static char text[] = "Line one\r\nLine two";
  return static_cast<int>(
      DialogBoxParamA(instance, MAKEINTRESOURCE(201), nullptr, TermsProc, reinterpret_cast<LPARAM>(text)));
}

TEST_F(RunnerTest, ADialogRunsItsProcedureAndTurnsAnswersIntoCommands) {
  RunResult r = Run(TermsProgram, {"accept"});
  // 391 x 303 units are 587 x 492 pixels; a 3-pixel frame and an 18-pixel
  // caption make 593 x 516, centred on 1024 x 768 at 512-296, 384-258.
  EXPECT_EQ(r.transcript, (Lines{"dialog 201 open \"Terms\" 593x516",
                                 "dialog 201 item 1009 text \"Line one\\r\\nLine two\"",
                                 "dialog 201 move 216,126 593x516",
                                 "dialog 201 wait focus 1009 (no selection) -> accept = command 1",
                                 "dialog 201 end 1", "exit 1"}));

  struct Case {
    const char* answer;
    BOOL initResult;
    int focusId;
    int result;
    const char* waitLine;
  };
  const Case cases[] = {
      {"decline", FALSE, 1009, 2, "dialog 201 wait focus 1009 (no selection) -> decline = command 2"},
      {"escape", FALSE, 1009, 2, "dialog 201 wait focus 1009 (no selection) -> escape = command 2"},
      {"close", FALSE, 1009, 2, "dialog 201 wait focus 1009 (no selection) -> close = close box"},
      {"ok", FALSE, 1009, 1, "dialog 201 wait focus 1009 (no selection) -> ok = command 1"},  // the default button
      {"ok", FALSE, 2, 2, "dialog 201 wait focus 2 -> ok = command 2"},  // Enter on a focused button clicks it
      {"ok", TRUE, 0, 1, "dialog 201 wait focus 1 -> ok = command 1"},   // TRUE: the first tab stop, Accept
  };
  for (const Case& c : cases) {
    script = Script();
    script.initResult = c.initResult;
    script.focusId = c.focusId;
    r = Run(TermsProgram, {c.answer});
    EXPECT_EQ(r.exitCode, c.result) << c.answer;
    EXPECT_EQ(r.transcript.at(3), c.waitLine);
    EXPECT_EQ(r.loudErrors, 0) << hostwin::JoinTranscript(r.transcript);
  }
}

TEST_F(RunnerTest, AnEditBoxGivenTheFocusShowsItsTextSelectedUntilToldOtherwise) {
  script.removeSelection = false;
  RunResult r = Run(TermsProgram, {"decline"});
  EXPECT_EQ(r.transcript.at(3), "dialog 201 wait focus 1009 (selected 0-18) -> decline = command 2");
}

TEST_F(RunnerTest, ADialogWithoutAFittingAnswerIsClosedLoudly) {
  RunResult r = Run(TermsProgram, {});
  EXPECT_EQ(r.transcript.at(3), "!! dialog 201 waits for an answer and none is left (focus 1009 (no selection))");
  EXPECT_EQ(r.exitCode, 2);
  r = Run(TermsProgram, {"yes"});  // no button says Yes
  EXPECT_EQ(r.transcript.at(4), "!! dialog 201: the answer \"yes\" does not fit this dialog");
  EXPECT_EQ(r.exitCode, 2);
}

// Ends with the first command it sees, whatever it is.
INT_PTR CALLBACK FirstCommandProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetFocus(GetDlgItem(dialog, 1009));
    return FALSE;
  }
  if (message == WM_COMMAND) EndDialog(dialog, static_cast<INT_PTR>(wParam));
  return message == WM_COMMAND;
}

int WINAPI FirstCommandProgram(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return static_cast<int>(DialogBoxParamA(instance, MAKEINTRESOURCE(201), nullptr, FirstCommandProc, 0));
}

TEST_F(RunnerTest, AnEditBoxNotifiesItsDialogWithTheCodeInTheHighWord) {
  RunResult r = Run(FirstCommandProgram, {});
  EXPECT_EQ(r.exitCode, static_cast<int>(MAKEWPARAM(1009, 0x0100)));  // EN_SETFOCUS
}

int paintsReceived = 0;

INT_PTR CALLBACK WorkProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_PAINT) ++paintsReceived;
  if (message == WM_INITDIALOG) {
    SetWindowTextA(dialog, "Demo Screen Saver Installation");
    SetDlgItemTextA(dialog, 1001, "Demo Screen Saver");
    CenterOnScreen(dialog);
    if (script.postStart) PostMessageA(dialog, WM_COMMAND, 1, reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1)));
    return TRUE;
  }
  if (message == WM_COMMAND && wParam == 1) {
    UpdateWindow(dialog);  // shown since it was built: painted
    UpdateWindow(dialog);  // nothing changed since
    SetDlgItemTextA(dialog, 1001, "Done");
    UpdateWindow(dialog);
    EndDialog(dialog, 10 * paintsReceived + 1);
    return TRUE;
  }
  if (message == WM_COMMAND && wParam == 2) {
    EndDialog(dialog, 2);
    return TRUE;
  }
  return FALSE;
}

int WINAPI WorkProgram(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return static_cast<int>(DialogBoxParamA(instance, MAKEINTRESOURCE(202), nullptr, WorkProc, 0));
}

TEST_F(RunnerTest, ADialogThatPostsItsOwnCommandNeedsNoAnswer) {
  RunResult r = Run(WorkProgram, {});
  // UpdateWindow paints a dialog that was shown or changed, at once, with
  // the texts of its visible controls; the procedure gets WM_PAINT twice.
  EXPECT_EQ(r.transcript, (Lines{"dialog 202 open \"\" 287x128", "dialog 202 text \"Demo Screen Saver Installation\"",
                                 "dialog 202 item 1001 text \"Demo Screen Saver\"", "dialog 202 move 369,320 287x128",
                                 "dialog 202 paint \"Working\" \"Demo Screen Saver\"",
                                 "dialog 202 item 1001 text \"Done\"", "dialog 202 paint \"Working\" \"Done\"",
                                 "dialog 202 end 21", "exit 21"}));
  script.postStart = false;  // it now waits, and has no close box to click
  r = Run(WorkProgram, {"close"});
  EXPECT_EQ(r.transcript.at(5), "!! dialog 202: the answer \"close\" does not fit this dialog");
  EXPECT_EQ(r.exitCode, 2);

  MachineSettings failing;
  failing.failingDialogs = {202};
  r = Run(WorkProgram, {}, failing);
  EXPECT_EQ(r.transcript, (Lines{"dialog 202 cannot be created", "exit -1"}));
}

// ------------------------------------------------------------ main window
LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    MessageBoxA(nullptr, create->lpszClass, "created", MB_OK);
    return script.boxStyle == MB_OK ? -1 : 0;
  }
  if (message == WM_DESTROY) {
    MessageBoxA(nullptr, "destroyed", "bye", MB_OK);
    PostQuitMessage(7);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WindowProgram(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  WNDCLASSA c = {};
  c.style = CS_HREDRAW | CS_VREDRAW;
  c.lpfnWndProc = MainProc;
  c.hInstance = instance;
  c.hIcon = LoadIconA(instance, MAKEINTRESOURCE(101));
  c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  c.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  c.lpszClassName = "TestMain";
  if (!RegisterClassA(&c) || !c.hIcon || !c.hCursor || !c.hbrBackground) return 99;
  if (LoadIconA(instance, MAKEINTRESOURCE(102))) return 98;  // no such icon
  HWND window = CreateWindowExA(0, "TestMain", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

TEST_F(RunnerTest, AWindowRefusedAtCreationIsDestroyedAndEndsTheLoop) {
  RunResult r = Run(WindowProgram, {"ok", "ok"});
  EXPECT_EQ(r.transcript, (Lines{"message box \"created\" \"TestMain\" MB_OK -> ok = IDOK",
                                 "message box \"bye\" \"destroyed\" MB_OK -> ok = IDOK", "exit 7"}));

  script.boxStyle = MB_OKCANCEL;  // WM_CREATE now accepts: the window shows and the loop waits for ever
  r = Run(WindowProgram, {"ok"});
  EXPECT_EQ(r.transcript, (Lines{"message box \"created\" \"TestMain\" MB_OK -> ok = IDOK",
                                 "window \"TestMain\" shown SW_SHOWDEFAULT", "window \"TestMain\" paint",
                                 "!! GetMessageA would wait for ever: nothing is queued and no window takes input",
                                 "exit 259"}));

  MachineSettings noWindows;
  noWindows.windowCreationFails = true;
  r = Run(WindowProgram, {}, noWindows);
  EXPECT_EQ(r.transcript.at(0), "window \"TestMain\" cannot be created");
  EXPECT_EQ(r.exitCode, 259);
}

// ---------------------------------------------------------------- registry
int WINAPI RegistryProgram(HINSTANCE, HINSTANCE, LPSTR, int) {
  HKEY key;
  DWORD disposition = 0;
  char emptyClass[] = "";
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My \"Saver\"", 0,
                      emptyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      &disposition) != ERROR_SUCCESS)
    return 90;
  const char name[] = "My \"Saver\" Screen Saver";
  RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof name);
  RegSetValueExA(key, "NoTerminator", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\X"), 4);
  RegCloseKey(key);
  return static_cast<int>(disposition);
}

int WINAPI RegistryReader(HINSTANCE, HINSTANCE, LPSTR, int) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion\\uninstall\\MY \"SAVER\"", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return 91;
  char data[64] = {};
  DWORD size = sizeof data, type = 0;
  if (RegQueryValueExA(key, "displayname", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
      type != REG_SZ || std::strcmp(data, "My \"Saver\" Screen Saver") != 0)
    return 92;
  DWORD raw = 0;
  RegQueryValueExA(key, "NoTerminator", nullptr, nullptr, nullptr, &raw);
  RegCloseKey(key);
  return static_cast<int>(size * 10 + raw);  // stored lengths: 24 and 4
}

int WINAPI RegistryRemover(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstall, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 1;
  // A key with subkeys stays; a leaf goes; then it is gone.
  if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft") != ERROR_ACCESS_DENIED) return 2;
  if (RegDeleteKeyA(key, "my \"saver\"") != ERROR_SUCCESS) return 3;
  if (RegDeleteKeyA(key, "My \"Saver\"") != ERROR_FILE_NOT_FOUND) return 4;
  return RegCloseKey(key) == ERROR_SUCCESS && RegCloseKey(key) == ERROR_INVALID_HANDLE ? 0 : 5;
}

TEST_F(RunnerTest, TheRegistryFileKeepsWhatWasWrittenByteForByte) {
  RunResult r = Run(RegistryProgram, {});
  const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My \"Saver\"";
  EXPECT_EQ(r.transcript, (Lines{"registry create " + key + " = created",
                                 "registry set " + key + " \"DisplayName\" REG_SZ \"My \"Saver\" Screen Saver\" 24 bytes",
                                 "registry set " + key + " \"NoTerminator\" REG_SZ \"C:\\X\" 4 bytes",
                                 "exit 1"}));  // REG_CREATED_NEW_KEY
  const std::string text = ReadHost("registry.reg");
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My \"Saver\"]\r\n"
                      "\"DisplayName\"=\"My \\\"Saver\\\" Screen Saver\"\r\n"
                      "\"NoTerminator\"=hex(1):43,3a,5c,58\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(RunAgain(RegistryReader, {}).exitCode, 244);
  EXPECT_EQ(RunAgain(RegistryProgram, {}).transcript.at(0), "registry create " + key + " = opened");
  EXPECT_EQ(RunAgain(RegistryRemover, {}).transcript,
            (Lines{"registry delete HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                   "My \"Saver\"",
                   "exit 0"}));
  EXPECT_EQ(ReadHost("registry.reg").find("Saver"), std::string::npos);
}

// ------------------------------------------------------------------- media
int WINAPI MediaProgram(HINSTANCE, HINSTANCE, LPSTR, int) {
  HMODULE winmm = LoadLibraryA(script.libraryPath);
  if (!winmm) return 80;
  using Send = MCIERROR(WINAPI*)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);
  FARPROC found = GetProcAddress(winmm, "mciSendCommandA");
  Send send = nullptr;
  std::memcpy(&send, &found, sizeof send);
  int failures = 0;
  for (const std::string& file : script.mediaFiles) {
    HFILE f = _lcreat(file.c_str(), 0);
    _lclose(f);
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = "MPEGVideo";
    open.lpstrElementName = file.c_str();
    MCIERROR e = send(0, MCI_OPEN, MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
    if (e) e = send(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
    if (e) {
      ++failures;
      continue;
    }
    MCI_GENERIC_PARMS close = {};
    send(open.wDeviceID, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&close));
  }
  FreeLibrary(winmm);
  return failures;
}

TEST_F(RunnerTest, MediaOpensAsTheSettingsSay) {
  script.mediaFiles = {"C:\\WINDOWS\\A.MID", "C:\\WINDOWS\\B.mpg", "C:\\WINDOWS\\C.XYZ"};
  MachineSettings s;
  s.mediaByExtension = {".mid"};
  s.mediaAsMpegVideo = {".MPG"};
  RunResult r = Run(MediaProgram, {}, s);
  EXPECT_EQ(r.exitCode, 1);
  const Lines expected = {
      "file create C:\\WINDOWS\\A.MID", "file close C:\\WINDOWS\\A.MID 0 bytes",
      "MCI open \"C:\\WINDOWS\\A.MID\" = 0 device 1", "MCI close device 1 = 0",
      "file create C:\\WINDOWS\\B.mpg", "file close C:\\WINDOWS\\B.mpg 0 bytes",
      "MCI open \"C:\\WINDOWS\\B.mpg\" = 281 MCIERR_EXTENSION_NOT_FOUND",
      "MCI open \"MPEGVideo\" \"C:\\WINDOWS\\B.mpg\" = 0 device 2", "MCI close device 2 = 0",
      "file create C:\\WINDOWS\\C.XYZ", "file close C:\\WINDOWS\\C.XYZ 0 bytes",
      "MCI open \"C:\\WINDOWS\\C.XYZ\" = 281 MCIERR_EXTENSION_NOT_FOUND",
      "MCI open \"MPEGVideo\" \"C:\\WINDOWS\\C.XYZ\" = 296 MCIERR_INVALID_FILE", "exit 1"};
  EXPECT_EQ(r.transcript, expected);

  script.libraryPath = "winmm.dll";  // a bare name could load a planted copy
  r = Run(MediaProgram, {}, s);
  EXPECT_EQ(r.transcript.at(0),
            "!! LoadLibraryA \"winmm.dll\" refused: not a full path in the system directory C:\\WINDOWS\\SYSTEM32");
  EXPECT_EQ(r.exitCode, 80);
}

// ------------------------------------------------------ shell and the exit
int WINAPI ShellProgram(HINSTANCE, HINSTANCE, LPSTR, int) {
  SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  HINSTANCE shell = ShellExecuteA(nullptr, "open", "https://example.com/player", nullptr, nullptr, SW_SHOWMAXIMIZED);
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  HFILE f = _lcreat("C:\\WINDOWS\\Long Name.scr", 0);
  _lclose(f);
  UINT started = WinExec("C:\\WINDOWS\\LONGNA~1.SCR", SW_SHOW);
  UINT missing = WinExec("C:\\WINDOWS\\NONE.SCR", SW_SHOW);
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE);
  WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", "C:\\WINDOWS\\LONGNA~1.SCR", "system.ini");
  return reinterpret_cast<std::intptr_t>(shell) > 32 && started > 31 && missing <= 31 ? 0 : 1;
}

TEST_F(RunnerTest, ShellCallsAndTheChangesTheyLeave) {
  RunResult r = Run(ShellProgram, {});
  const Lines expected = {
      "cursor IDC_WAIT",
      "ShellExecuteA \"open\" \"https://example.com/player\" SW_SHOWMAXIMIZED = 42",
      "cursor IDC_ARROW",
      "file create C:\\WINDOWS\\Long Name.scr",
      "file close C:\\WINDOWS\\Long Name.scr 0 bytes",
      "WinExec \"C:\\WINDOWS\\LONGNA~1.SCR\" SW_SHOW = 33",
      "WinExec \"C:\\WINDOWS\\NONE.SCR\" SW_SHOW = 2",
      "SystemParametersInfoA SPI_SETSCREENSAVEACTIVE 1 SPIF_UPDATEINIFILE = TRUE",
      "profile C:\\WINDOWS\\system.ini [boot] SCRNSAVE.EXE = \"C:\\WINDOWS\\LONGNA~1.SCR\"",
      "exit 0"};
  EXPECT_EQ(r.transcript, expected);
  const Lines changes = {
      "file added C:\\WINDOWS\\Long Name.scr 0 bytes",
      "file changed C:\\WINDOWS\\system.ini 66 bytes",
      "registry changed HKEY_CURRENT_USER\\Control Panel\\Desktop \"ScreenSaveActive\" = REG_SZ \"1\"",
      "system.ini added [boot] SCRNSAVE.EXE = C:\\WINDOWS\\LONGNA~1.SCR"};
  EXPECT_EQ(hostwin::FormatChanges(r.changes), changes);

  MachineSettings offline;
  offline.shellExecuteResult = 2;
  r = Run(ShellProgram, {}, offline);
  EXPECT_EQ(r.transcript.at(1), "ShellExecuteA \"open\" \"https://example.com/player\" SW_SHOWMAXIMIZED = 2");
  EXPECT_EQ(r.exitCode, 1);
}

int WINAPI ExitingProgram(HINSTANCE, HINSTANCE, LPSTR, int) {
  void* first = LocalAlloc(LMEM_FIXED, 2048);
  void* second = LocalAlloc(LMEM_FIXED, 2048);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 11);
  auto* text = static_cast<char*>(GlobalLock(block));
  bool zeroed = text && text[10] == 0;
  GlobalUnlock(block);
  GlobalFree(block);
  if (second) LocalFree(second);
  MessageBoxA(nullptr, first ? "first" : "no first", second ? "second" : "no second", MB_OK);
  std::exit(zeroed ? 3 : 4);  // the first block is never freed
}

TEST_F(RunnerTest, ExitInTheMiddleKeepsTheLinesAndTheCode) {
  RunResult r = Run(ExitingProgram, {"ok"});
  EXPECT_EQ(r.transcript, (Lines{"message box \"second\" \"first\" MB_OK -> ok = IDOK",
                                 "memory: 1 block not freed at exit", "exit 3"}));
  MachineSettings failing;
  failing.failLocalAllocCalls = {1};
  r = Run(ExitingProgram, {"ok"}, failing);
  EXPECT_EQ(r.transcript, (Lines{"message box \"second\" \"no first\" MB_OK -> ok = IDOK", "exit 3"}));
}

int WINAPI CrashingProgram(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, "about to fail", "Crash", MB_OK);
  std::abort();
}

TEST_F(RunnerTest, ACrashIsReportedAfterTheLinesBeforeIt) {
  RunResult r = Run(CrashingProgram, {"ok"});
  ASSERT_EQ(r.transcript.size(), 2u);
  EXPECT_EQ(r.transcript[0], "message box \"Crash\" \"about to fail\" MB_OK -> ok = IDOK");
  EXPECT_EQ(r.transcript[1].rfind("!! killed by signal 6", 0), 0u) << r.transcript[1];
  EXPECT_EQ(r.exitCode, -1);
}

// ------------------------------------------------ libraries and the image
int WINAPI LibraryMisuse(HINSTANCE, HINSTANCE, LPSTR, int) {
  HMODULE kernel = LoadLibraryA("kernel32.dll");
  if (GetProcAddress(kernel, "NoSuchFunction") != nullptr) return 70;
  FreeLibrary(kernel);
  FreeLibrary(kernel);  // once too often
  LoadLibraryA("C:\\WINDOWS\\SYSTEM32\\WINMM.DLL");  // never released
  HLOCAL block = LocalAlloc(LMEM_FIXED, 16);
  LocalFree(block);
  LocalFree(block);  // twice
  if (LoadLibraryA("shell99.dll")) return 71;
  return 0;
}

TEST_F(RunnerTest, LibrariesAndBlocksReleasedWrongAreNoticed) {
  RunResult r = Run(LibraryMisuse, {});
  EXPECT_EQ(r.transcript, (Lines{"!! FreeLibrary of a library that is not loaded",
                                 "!! LocalFree of a block that is not allocated",
                                 "LoadLibraryA \"shell99.dll\" = NULL (no such library on this machine)",
                                 "library winmm.dll still loaded at exit (1 LoadLibraryA without FreeLibrary)",
                                 "exit 0"}));
}

int WINAPI StaticMediaCall(HINSTANCE, HINSTANCE, LPSTR, int) {
  MCI_GENERIC_PARMS close = {};
  return static_cast<int>(mciSendCommandA(1, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&close)));
}

TEST_F(RunnerTest, MediaCallsNeedTheLibraryLoadedFromTheSystemDirectory) {
  RunResult r = Run(StaticMediaCall, {});
  EXPECT_EQ(r.transcript, (Lines{"!! mciSendCommandA called while winmm.dll is not loaded from the system directory",
                                 "MCI close device 1 = 257 MCIERR_INVALID_DEVICE_ID", "exit 257"}));
}

int WINAPI ImageReader(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH];
  if (GetModuleFileNameA(instance, path, sizeof path) != 21 || std::strcmp(path, "C:\\DOWNLOAD\\SETUP.EXE") != 0)
    return 60;
  char small[8];
  if (GetModuleFileNameA(instance, small, sizeof small) != sizeof small || std::strcmp(small, "C:\\DOWN") != 0)
    return 61;  // cut, terminated, and reported by the buffer's size
  HFILE image = _lopen(path, OF_READ | OF_SHARE_DENY_NONE);
  char head[2] = {};
  if (image == HFILE_ERROR || _lread(image, head, 2) != 2 || head[0] != 'M' || head[1] != 'Z') return 62;
  _lclose(image);
  FILE* stream = fopen(path, "rb");
  if (!stream || fseek(stream, 2, SEEK_SET) != 0 || fgetc(stream) != 'x') return 63;
  fclose(stream);
  ExitProcess(300);  // beyond what a host exit status holds
}

TEST_F(RunnerTest, TheImageIsPlacedInTheMachineAndOpensBothWays) {
  std::string error;
  folder_ = temp_.path() + "/image-machine";
  ASSERT_TRUE(hostwin::CreateMachine(folder_, MachineSettings(), &error)) << error;
  hostwin::RunOptions options;
  options.machineFolder = folder_;
  options.imagePath = temp_.Write("setup.exe", std::string("MZx"));
  RunResult r = hostwin::RunProgram(options, ImageReader);
  EXPECT_EQ(r.transcript, (Lines{"exit 300"}));
  EXPECT_EQ(r.exitCode, 300);
  EXPECT_TRUE(r.changes.empty());  // the image is in place before the run's first snapshot
}

int WINAPI MissingTemplate(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return static_cast<int>(DialogBoxParamA(instance, MAKEINTRESOURCE(999), nullptr, WorkProc, 0));
}

int WINAPI Spinning(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, "spin", "Loop", MB_OK);
  for (;;) {
  }
}

TEST_F(RunnerTest, AMissingTemplateAndAProgramThatNeverEndsAreLoud) {
  RunResult r = Run(MissingTemplate, {});
  EXPECT_EQ(r.transcript, (Lines{"!! dialog 999: no such template in the program's resources", "exit -1"}));
  hostwin::RunOptions options;
  options.machineFolder = folder_;
  options.answers = {"ok"};
  options.timeoutSeconds = 1;
  r = hostwin::RunProgram(options, Spinning);
  EXPECT_EQ(r.transcript, (Lines{"message box \"Loop\" \"spin\" MB_OK -> ok = IDOK", "!! timed out after 1 s"}));
  EXPECT_TRUE(r.killed);
}

}  // namespace
