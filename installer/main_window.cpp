// WinMain, the window class "QUORInst" and the main window's procedure.
#include "installer/main_window.h"

#include "installer/activation.h"
#include "installer/install_sequence.h"
#include "installer/installer_state.h"
#include "installer/installer_texts.h"
#include "installer/resources/resource_ids.h"

namespace installer {

namespace {

// Set when WM_DESTROY has posted the quit message; without it the message
// loop would wait for ever.
bool QuitPosted = false;

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
  RunInstallSequence();
  return -1;
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
  // Without full rights this process only launches the installation.
  const int launched = installer::RunLauncherIfNeeded(commandLine);
  if (launched >= 0) return launched;
  if (previousInstance == nullptr) installer::RegisterMainWindowClass(instance);
  installer::InstanceHandle = instance;
  HWND window = CreateWindowExA(0, installer::kMainWindowClass, "", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, instance, nullptr);
  // No window and no quit message: it could not be created at all.
  if (window == nullptr && !installer::QuitPosted) return 0;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  MSG message = {};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return installer::ExitCodeOfRun(static_cast<int>(message.wParam));
}
