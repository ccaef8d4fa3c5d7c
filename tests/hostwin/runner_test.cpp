// Programs played through the stand-in: message boxes and dialogs answered
// from the list, the main window's life, misuse and the exit paths; and the
// compiled resources they run on. What tests/installer or machine_test.cpp
// pins is not repeated.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "hostwin/resources.h"
#include "hostwin/runner.h"
#include "temp_files.h"

extern const unsigned char HostwinTestResources[];
extern const std::size_t HostwinTestResourcesSize;

namespace {

using hostwin::MachineSettings;
using hostwin::RunResult;
using Lines = std::vector<std::string>;

// What the test programs below do, and the machine they run on; set before
// each run (the child process gets a copy).
struct Script {
  UINT boxStyle = MB_OK;
  bool removeSelection = true;
  int focusId = 1009;
  bool endOnFirstCommand = false;
  bool postStart = true;
  int workTemplate = 202;
  bool spin = false;
  MachineSettings settings;
} script;

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { script = Script(); }

  // A new machine made from script.settings, and the program run on it.
  RunResult Run(hostwin::WinMainFunction program, std::vector<std::string> answers) {
    std::string error;
    folder_ = temp_.path() + "/machine" + std::to_string(++runs_);
    EXPECT_TRUE(hostwin::CreateMachine(folder_, script.settings, &error)) << error;
    return RunAgain(program, std::move(answers));
  }
  RunResult RunAgain(hostwin::WinMainFunction program, std::vector<std::string> answers, int timeout = 20) {
    hostwin::RunOptions options;
    options.machineFolder = folder_;
    options.answers = std::move(answers);
    options.resources.assign(HostwinTestResources, HostwinTestResources + HostwinTestResourcesSize);
    options.timeoutSeconds = timeout;
    return hostwin::RunProgram(options, program);
  }

  testsupport::TempFolder temp_;
  std::string folder_;
  int runs_ = 0;
};

// ------------------------------------------------------------ the programs
int WINAPI BoxProgram(HINSTANCE, HINSTANCE, LPSTR, int) {
  return MessageBoxA(nullptr, "Line one\r\nLine two", "Caption", script.boxStyle);
}

// TRUE from WM_INITDIALOG and centring are pinned by the installer's
// dialogs (kInfoDialog, the "move" lines).
INT_PTR CALLBACK TermsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetDlgItemTextA(dialog, 1009, reinterpret_cast<const char*>(lParam));
    SetFocus(GetDlgItem(dialog, script.focusId));
    if (script.removeSelection) PostMessageA(GetDlgItem(dialog, 1009), EM_SETSEL, static_cast<WPARAM>(-1), 0);
    return FALSE;
  }
  if (message == WM_COMMAND && script.endOnFirstCommand) {
    EndDialog(dialog, static_cast<INT_PTR>(wParam));
    return TRUE;
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

int paintsReceived = 0;

INT_PTR CALLBACK WorkProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_PAINT) ++paintsReceived;
  if (message == WM_INITDIALOG) {
    SetWindowTextA(dialog, "Demo Screen Saver Installation");
    SetDlgItemTextA(dialog, 1001, "Demo Screen Saver");
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
  return static_cast<int>(
      DialogBoxParamA(instance, MAKEINTRESOURCE(script.workTemplate), nullptr, WorkProc, 0));
}

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

// The image's name cut to a small buffer: terminated, and reported by the
// buffer's size; then a code beyond what a host exit status holds.
int WINAPI CutNameAndExit(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  char small[8];
  if (GetModuleFileNameA(instance, small, sizeof small) != sizeof small || std::strcmp(small, "C:\\DOWN") != 0)
    return 61;
  ExitProcess(300);
}

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

// ------------------------------------------------- whole transcripts
TEST_F(RunnerTest, WholeTranscripts) {
  struct Case {
    const char* name;
    hostwin::WinMainFunction program;
    void (*prepare)();  // changes to script, or nullptr
    Lines answers;
    Lines expected;
  };
  const Case cases[] = {
      {"a box without an answer ends as dismissed", BoxProgram, [] { script.boxStyle = MB_OKCANCEL; }, {},
       {"message box \"Caption\" \"Line one\\r\\nLine two\" MB_OKCANCEL -> (none) = IDCANCEL",
        "!! a message box waits for an answer and none is left", "exit 2"}},
      {"answers left over", BoxProgram, nullptr, {"ok", "yes"},
       {"message box \"Caption\" \"Line one\\r\\nLine two\" MB_OK -> ok = IDOK",
        "!! answers left unused: yes", "exit 1"}},
      // UpdateWindow paints a dialog that was shown or changed, at once, with
      // the texts of its visible controls; the procedure gets WM_PAINT twice.
      {"a dialog that posts its own command", WorkProgram, nullptr, {},
       {"dialog 202 open \"\" 287x128", "dialog 202 text \"Demo Screen Saver Installation\"",
        "dialog 202 item 1001 text \"Demo Screen Saver\"",
        "dialog 202 paint \"Working\" \"Demo Screen Saver\"", "dialog 202 item 1001 text \"Done\"",
        "dialog 202 paint \"Working\" \"Done\"", "dialog 202 end 21", "exit 21"}},
      // It now waits, and has no close box to click nor a visible control to focus.
      {"a dialog without a close box", WorkProgram, [] { script.postStart = false; }, {"close"},
       {"dialog 202 open \"\" 287x128", "dialog 202 text \"Demo Screen Saver Installation\"",
        "dialog 202 item 1001 text \"Demo Screen Saver\"",
        "dialog 202 wait focus none -> close = command 2",
        "!! dialog 202: the answer \"close\" does not fit this dialog", "dialog 202 end 2", "exit 2"}},
      {"a dialog that cannot be created", WorkProgram, [] { script.settings.failingDialogs = {202}; }, {},
       {"dialog 202 cannot be created", "exit -1"}},
      {"a missing template", WorkProgram, [] { script.workTemplate = 999; }, {},
       {"!! dialog 999: no such template in the program's resources", "exit -1"}},
      {"a window refused at creation is destroyed and ends the loop", WindowProgram, nullptr, {"ok", "ok"},
       {"message box \"created\" \"TestMain\" MB_OK -> ok = IDOK",
        "message box \"bye\" \"destroyed\" MB_OK -> ok = IDOK", "exit 7"}},
      {"a window accepted: the loop would wait for ever", WindowProgram,
       [] { script.boxStyle = MB_OKCANCEL; }, {"ok"},
       {"message box \"created\" \"TestMain\" MB_OK -> ok = IDOK", "window \"TestMain\" shown SW_SHOWDEFAULT",
        "window \"TestMain\" paint",
        "!! GetMessageA would wait for ever: nothing is queued and no window takes input", "exit 259"}},
      {"libraries and blocks released wrong", LibraryMisuse, nullptr, {},
       {"!! FreeLibrary of a library that is not loaded", "!! LocalFree of a block that is not allocated",
        "LoadLibraryA \"shell99.dll\" = NULL (no such library on this machine)",
        "library winmm.dll still loaded at exit (1 LoadLibraryA without FreeLibrary)", "exit 0"}},
      {"a cut image name, and ExitProcess", CutNameAndExit, nullptr, {}, {"exit 300"}},
      // exit() in the middle, and the block left unfreed, are pinned by
      // FilesNotWrittenWhole.DecoderWriteErrorEndsTheProgram.
      {"only the first allocation fails", ExitingProgram,
       [] { script.settings.failLocalAllocCalls = {1}; }, {"ok"},
       {"message box \"second\" \"no first\" MB_OK -> ok = IDOK", "exit 3"}},
  };
  for (const Case& c : cases) {
    script = Script();
    if (c.prepare) c.prepare();
    EXPECT_EQ(Run(c.program, c.answers).transcript, c.expected) << c.name;
  }
}

// ------------------------------------------------------------ message boxes
TEST_F(RunnerTest, MessageBoxesTakeTheAnswersThatFitThem) {
  struct Case {
    UINT style;
    const char* answer;
    int result;
    bool loud;
  };
  // The answers the installer's own boxes take are pinned by its transcripts.
  const Case cases[] = {
      {MB_OK, "escape", IDOK, false},
      {MB_OK | MB_ICONEXCLAMATION, "close", IDOK, false},
      {MB_OK, "cancel", IDOK, true},
      {MB_OKCANCEL, "yes", IDCANCEL, true},
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
}

// ----------------------------------------------------------------- dialogs
// Decline, escape and the close box are pinned by the installer's licence
// dialog; here: where the focus goes and what Enter does.
TEST_F(RunnerTest, ADialogTurnsAnswersIntoCommandsByItsFocus) {
  struct Case {
    const char* name;
    void (*prepare)();
    Lines answers;
    std::size_t line;  // the transcript line checked
    const char* expected;
    int exitCode;
  };
  const Case cases[] = {
      {"ok clicks the default button", nullptr, {"ok"}, 2,
       "dialog 201 wait focus 1009 (no selection) -> ok = command 1", 1},
      {"Enter on a focused button clicks it", [] { script.focusId = 2; }, {"ok"}, 2,
       "dialog 201 wait focus 2 -> ok = command 2", 2},
      {"an edit box given the focus shows its text selected", [] { script.removeSelection = false; },
       {"decline"}, 2, "dialog 201 wait focus 1009 (selected 0-18) -> decline = command 2", 2},
      {"no answer left", nullptr, {}, 2,
       "!! dialog 201 waits for an answer and none is left (focus 1009 (no selection))", 2},
      {"no button says Yes", nullptr, {"yes"}, 3,
       "!! dialog 201: the answer \"yes\" does not fit this dialog", 2},
      // The edit box notifies its dialog with the code in the high word.
      {"EN_SETFOCUS", [] { script.endOnFirstCommand = true; }, {}, 0, "dialog 201 open \"Terms\" 593x516",
       static_cast<int>(MAKEWPARAM(1009, 0x0100))},  // 0x0100: EN_SETFOCUS
  };
  for (const Case& c : cases) {
    script = Script();
    if (c.prepare) c.prepare();
    RunResult r = Run(TermsProgram, c.answers);
    ASSERT_GT(r.transcript.size(), c.line) << c.name;
    EXPECT_EQ(r.transcript[c.line], c.expected) << c.name << "\n" << hostwin::JoinTranscript(r.transcript);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.name;
  }
}

// ---------------------------------------------------------------- the exit
// Ends by a signal, or never.
int WINAPI DyingProgram(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, "about to fail", "Crash", MB_OK);
  while (script.spin) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::abort();
}

TEST_F(RunnerTest, ACrashOrATimeoutIsReportedAfterTheLinesBeforeIt) {
  const std::string box = "message box \"Crash\" \"about to fail\" MB_OK -> ok = IDOK";
  RunResult r = Run(DyingProgram, {"ok"});
  ASSERT_EQ(r.transcript.size(), 2u);
  EXPECT_EQ(r.transcript[0], box);
  EXPECT_EQ(r.transcript[1].rfind("!! killed by signal 6", 0), 0u) << r.transcript[1];
  EXPECT_EQ(r.exitCode, -1);
  script.spin = true;
  r = RunAgain(DyingProgram, {"ok"}, 1);
  EXPECT_EQ(r.transcript, (Lines{box, "!! timed out after 1 s"}));
  EXPECT_TRUE(r.killed);
}

// The file operations an uninstaller leans on, each step a check in the
// program; the exit code is the first step that went wrong (0: none).
int FileOperations(HINSTANCE, HINSTANCE, LPSTR, int) {
  char temp[MAX_PATH], first[MAX_PATH], second[MAX_PATH], shortForm[MAX_PATH], longForm[MAX_PATH];
  const std::string expectedTemp = "C:\\Users\\Owner\\AppData\\Local\\Temp\\";
  if (GetTempPathA(sizeof temp, temp) != expectedTemp.size() || expectedTemp != temp) return 1;
  if (GetTempFileNameA(temp, "abcd", 0, first) != 1 || expectedTemp + "abc1.tmp" != first) return 2;
  if (GetTempFileNameA(temp, "abc", 0, second) != 2) return 3;
  if (MoveFileExA(first, second, 0) || GetLastError() != ERROR_ALREADY_EXISTS) return 4;
  if (!MoveFileExA(first, second, MOVEFILE_REPLACE_EXISTING) || GetFileAttributesA(first) != INVALID_FILE_ATTRIBUTES)
    return 5;
  if (RemoveDirectoryA("C:\\Users\\Owner\\AppData\\Local\\Temp") || GetLastError() != ERROR_DIR_NOT_EMPTY) return 6;
  if (!CreateDirectoryA("C:\\Long Folder Name", nullptr) || !GetShortPathNameA("C:\\Long Folder Name", shortForm, MAX_PATH) ||
      GetLongPathNameA(shortForm, longForm, MAX_PATH) != 19 || std::strcmp(longForm, "C:\\Long Folder Name") != 0)
    return 7;
  if (!RemoveDirectoryA(shortForm) || GetFileAttributesA("C:\\Long Folder Name") != INVALID_FILE_ATTRIBUTES) return 8;
  if (lstrcmpiA("C:\\Temp\\\xE9", "c:\\TEMP\\\xC9") != 0 || lstrcmpiA("a", "b") >= 0 || lstrcmpiA("ab", "a") <= 0) return 9;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  char line[] = "second /x";
  if (CreateProcessA(second, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) ||
      GetLastError() != ERROR_FILE_NOT_FOUND)
    return 10;
  // Left for the next start: the file stays.
  if (!MoveFileExA(second, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) || GetFileAttributesA(second) == INVALID_FILE_ATTRIBUTES)
    return 11;
  return 0;
}

TEST_F(RunnerTest, FileOperationsOfAnUninstaller) {
  const RunResult r = Run(FileOperations, {});
  EXPECT_EQ(r.exitCode, 0) << hostwin::JoinTranscript(r.transcript);
  const std::string temp = "C:\\Users\\Owner\\AppData\\Local\\Temp\\";
  EXPECT_EQ(r.transcript, (Lines{"file create " + temp + "abc1.tmp", "file create " + temp + "abc2.tmp",
                                 "file move " + temp + "abc1.tmp -> " + temp + "abc2.tmp",
                                 "directory create C:\\Long Folder Name", "directory delete C:\\LONGFO~1",
                                 "CreateProcessA \"" + temp + "abc2.tmp\" \"second /x\" = FALSE ERROR_FILE_NOT_FOUND "
                                 "(not a program of this machine)",
                                 "file delete at restart " + temp + "abc2.tmp", "exit 0"}));
  const std::string changes = hostwin::JoinTranscript(hostwin::FormatChanges(r.changes));
  EXPECT_NE(changes.find("\"PendingFileRenameOperations\" = REG_MULTI_SZ \"\\??\\" + temp + "abc2.tmp\" \"\""),
            std::string::npos)
      << changes;
}

// ---------------------------------------------------------------- resources
std::vector<hostwin::Resource> Parsed() {
  std::vector<hostwin::Resource> resources;
  std::string error;
  EXPECT_TRUE(hostwin::ParseResources(HostwinTestResources, HostwinTestResourcesSize, &resources, &error)) << error;
  return resources;
}

// Sizes, captions, controls and their visibility are pinned by the runner's
// transcripts; here: what no transcript shows.
TEST(Resources, TheCompiledScriptHoldsItsDialogsAndIcon) {
  auto resources = Parsed();
  ASSERT_EQ(resources.size(), 3u);
  const hostwin::Resource* icon = hostwin::FindResource(resources, 14, 101);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->language, 1033);
  EXPECT_EQ(icon->size, 20u);

  const hostwin::Resource* terms = hostwin::FindResource(resources, 5, 201);
  ASSERT_NE(terms, nullptr);
  hostwin::DialogTemplate t;
  std::string error;
  ASSERT_TRUE(hostwin::ParseDialogTemplate(terms->data, terms->size, &t, &error)) << error;
  EXPECT_EQ(t.exStyle, 0u);
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.font, "MS Sans Serif");
  ASSERT_EQ(t.items.size(), 3u);
  EXPECT_EQ(t.items[0].text, "&Accept");
  EXPECT_EQ(t.items[2].x, 12);
  EXPECT_EQ(t.items[2].cy, 260);
}

TEST(Resources, CutDataIsRejectedAtEveryLength) {
  auto resources = Parsed();
  const hostwin::Resource* terms = hostwin::FindResource(resources, 5, 201);
  ASSERT_NE(terms, nullptr);
  hostwin::DialogTemplate t;
  std::string error;
  for (std::size_t size = 0; size < terms->size - 2; ++size)  // the last item may end in padding-free text
    EXPECT_FALSE(hostwin::ParseDialogTemplate(terms->data, size, &t, &error)) << size;
  for (std::size_t size = 1; size < HostwinTestResourcesSize; ++size) {
    std::vector<hostwin::Resource> out;
    bool ok = hostwin::ParseResources(HostwinTestResources, size, &out, &error);
    // A cut file either fails or holds fewer entries, never one that reaches past the end.
    for (const auto& r : out) EXPECT_LE(r.data + r.size, HostwinTestResources + size);
    EXPECT_TRUE(!ok || out.size() <= 3u);
  }
  const unsigned char extended[] = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0};
  EXPECT_FALSE(hostwin::ParseDialogTemplate(extended, sizeof extended, &t, &error));
  EXPECT_NE(error.find("extended"), std::string::npos);
}

}  // namespace
