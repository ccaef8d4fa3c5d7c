// user32's windows and messages: classes, top-level windows, the posted
// message queue and the message loop, texts, rectangles, focus, metrics.
#include <cstdlib>
#include <cstring>
#include <map>

#include "machine.h"
#include "names.h"
#include "windows_model.h"

namespace hostwin {

namespace {

struct WindowClass {
  std::string name;
  WNDCLASSA definition;
};

struct Windows {
  std::map<std::uintptr_t, Window> windows;
  std::uintptr_t nextHandle = 0x10010;  // handles count up in steps of 4, as Windows' do
  std::vector<WindowClass> classes;
  std::deque<MSG> queue;
  bool quitPosted = false;
  int quitCode = 0;
  HWND focus = nullptr;
};

Windows& State() {
  static auto& state = *new Windows;
  return state;
}

int MulDiv(int value, int numerator, int denominator) {
  long long product = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

bool IsEdit(const Window& w) { return w.kind == WindowKind::kControl && SameText(w.className, "EDIT"); }

// Edit boxes tell their parent what happens to them with WM_COMMAND, the
// notification code in wParam's high word.
constexpr WORD kEditSetFocus = 0x0100;   // EN_SETFOCUS
constexpr WORD kEditKillFocus = 0x0200;  // EN_KILLFOCUS
constexpr WORD kEditChange = 0x0300;     // EN_CHANGE
constexpr WORD kEditUpdate = 0x0400;     // EN_UPDATE

void NotifyParent(HWND control, WORD code) {
  Window* w = WindowOf(control);
  if (w && IsEdit(*w) && w->parent)
    Deliver(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(control));
}

LRESULT ControlProcedure(Window& control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: {
      control.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      control.selectionStart = control.selectionEnd = 0;
      // A multi-line edit box sends nothing for a text set by WM_SETTEXT.
      if (IsEdit(control) && !(control.style & ES_MULTILINE)) {
        HWND self = control.handle;
        NotifyParent(self, kEditUpdate);
        NotifyParent(self, kEditChange);
      }
      return TRUE;
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(control.text.size());
    case WM_GETTEXT: {
      if (wParam == 0 || !lParam) return 0;
      std::size_t count = std::min<std::size_t>(control.text.size(), wParam - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), control.text.data(), count);
      reinterpret_cast<char*>(lParam)[count] = '\0';
      return static_cast<LRESULT>(count);
    }
    case EM_SETSEL: {
      if (!IsEdit(control)) return 0;
      const int length = static_cast<int>(control.text.size());
      int start = static_cast<int>(static_cast<LONG>(wParam));
      int end = static_cast<int>(static_cast<LONG>(lParam));
      if (start == -1) {  // removes the selection, the caret stays
        control.selectionStart = control.selectionEnd;
        return 0;
      }
      if (end == -1 || end > length) end = length;
      if (start > length) start = length;
      if (start < 0) start = 0;
      if (end < 0) end = 0;
      if (start > end) std::swap(start, end);
      control.selectionStart = start;
      control.selectionEnd = end;
      return 0;
    }
    case EM_GETSEL:
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(control.selectionStart);
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(control.selectionEnd);
      return MAKELONG(control.selectionStart, control.selectionEnd);
    case BM_CLICK:
      if (control.parent)
        Deliver(control.parent, WM_COMMAND, MAKEWPARAM(control.id, BN_CLICKED),
                reinterpret_cast<LPARAM>(control.handle));
      return 0;
    default: return 0;
  }
}

// Marks the top-level window that shows `window` (itself, or a control's
// dialog) as due for a paint.
void InvalidateTopLevel(HWND window) {
  Window* w = WindowOf(window);
  if (w && w->kind == WindowKind::kControl) w = WindowOf(w->parent);
  if (w) w->needsPaint = true;
}

// The dialog manager's handling of what a dialog procedure leaves alone.
LRESULT DefaultDialogProcedure(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) return Deliver(w.handle, WM_CLOSE, 0, 0);
      return 0;
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(w.handle, IDCANCEL);
      Window* c = WindowOf(cancel);
      if (!c || !(c->style & WS_DISABLED))
        Deliver(w.handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    case DM_GETDEFID:
      for (HWND child : w.children) {
        Window* c = WindowOf(child);
        if (c && SameText(c->className, "BUTTON") && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
          return MAKELRESULT(c->id, DC_HASDEFID);
      }
      return 0;
    case WM_SETTEXT: w.text = lParam ? reinterpret_cast<const char*>(lParam) : ""; return TRUE;
    default: return 0;
  }
}

}  // namespace

Window* WindowOf(HWND handle) {
  auto it = State().windows.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == State().windows.end() ? nullptr : &it->second;
}

HWND CreateWindowObject(const Window& model) {
  std::uintptr_t value = State().nextHandle;
  State().nextHandle += 4;
  Window& w = State().windows[value];
  w = model;
  w.handle = reinterpret_cast<HWND>(value);
  if (Window* parent = WindowOf(w.parent)) parent->children.push_back(w.handle);
  return w.handle;
}

void DestroyWindowObject(HWND handle) {
  Window* w = WindowOf(handle);
  if (!w) return;
  std::vector<HWND> children = w->children;
  for (HWND child : children) DestroyWindowObject(child);
  if (Window* parent = WindowOf(w->parent)) {
    auto& siblings = parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it)
      if (*it == handle) {
        siblings.erase(it);
        break;
      }
  }
  if (State().focus == handle) State().focus = nullptr;
  // Messages still queued for the window go with it.
  auto& q = State().queue;
  for (auto it = q.begin(); it != q.end();) it = it->hwnd == handle ? q.erase(it) : it + 1;
  State().windows.erase(reinterpret_cast<std::uintptr_t>(handle));
}

LRESULT Deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = WindowOf(handle);
  if (!w) return 0;
  switch (w->kind) {
    case WindowKind::kClassed:
      return w->procedure ? w->procedure(handle, message, wParam, lParam)
                          : DefWindowProcA(handle, message, wParam, lParam);
    case WindowKind::kDialog: {
      INT_PTR handled = w->dialogProcedure ? w->dialogProcedure(handle, message, wParam, lParam) : FALSE;
      if (message == WM_INITDIALOG) return handled;
      w = WindowOf(handle);  // the procedure may have destroyed it
      if (!handled && w) return DefaultDialogProcedure(*w, message, wParam, lParam);
      return handled;
    }
    case WindowKind::kControl: return ControlProcedure(*w, message, wParam, lParam);
  }
  return 0;
}

void FrameOf(DWORD style, DWORD exStyle, int* frameX, int* frameY, int* caption) {
  int frame = 0;
  if (style & WS_THICKFRAME) frame = kSizingFrame;
  else if ((exStyle & WS_EX_DLGMODALFRAME) || (style & WS_DLGFRAME)) frame = kDialogFrame;
  else if (style & WS_BORDER) frame = kBorder;
  *frameX = *frameY = frame;
  *caption = (style & WS_CAPTION) == WS_CAPTION ? kCaption : 0;
}

int DialogUnitsToPixelsX(int units) { return MulDiv(units, kDialogBaseUnitX, 4); }
int DialogUnitsToPixelsY(int units) { return MulDiv(units, kDialogBaseUnitY, 8); }

std::deque<MSG>& Queue() { return State().queue; }

bool QuitPosted(int* exitCode) {
  if (exitCode) *exitCode = State().quitCode;
  return State().quitPosted;
}

std::string WindowLabel(const Window& w) {
  if (w.kind == WindowKind::kDialog) return "dialog " + std::to_string(w.templateId);
  return "window " + Quoted(w.className);
}

void DialogSetFocus(HWND control) {
  SetFocus(control);
  if (Window* w = WindowOf(control); w && IsEdit(*w)) Deliver(control, EM_SETSEL, 0, -1);
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
  if (!windowClass || !windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  for (const WindowClass& c : State().classes) {
    if (SameText(c.name, windowClass->lpszClassName)) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  }
  State().classes.push_back(WindowClass{windowClass->lpszClassName, *windowClass});
  return static_cast<ATOM>(0xC000 + State().classes.size());
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  std::string name = className && !IS_INTRESOURCE(className) ? className : "";
  if (Machine().settings.windowCreationFails) {
    Emit("window " + Quoted(name) + " cannot be created");
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const WindowClass* found = nullptr;
  for (const WindowClass& registered : State().classes)
    if (SameText(registered.name, name)) found = &registered;
  if (!found) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  Window model;
  model.kind = WindowKind::kClassed;
  model.className = found->name;
  model.procedure = found->definition.lpfnWndProc;
  model.text = windowName ? windowName : "";
  model.style = style;
  model.exStyle = exStyle;
  model.parent = parent;
  // CW_USEDEFAULT: the top-left corner and three quarters of the screen.
  const MachineSettings& settings = Machine().settings;
  int left = x == CW_USEDEFAULT ? 0 : x, top = x == CW_USEDEFAULT ? 0 : y;
  int windowWidth = width == CW_USEDEFAULT ? settings.screenWidth * 3 / 4 : width;
  int windowHeight = width == CW_USEDEFAULT ? settings.screenHeight * 3 / 4 : height;
  model.rect = RECT{left, top, left + windowWidth, top + windowHeight};
  HWND handle = CreateWindowObject(model);
  CREATESTRUCTA create{param, instance, menu, parent, windowHeight, windowWidth, top, left,
                       static_cast<LONG>(style), windowName, className, exStyle};
  // WM_NCCREATE then WM_CREATE; a refusal of either destroys the window.
  if (!Deliver(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) ||
      Deliver(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (!WindowOf(handle)) return nullptr;
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return handle;
}

BOOL WINAPI DestroyWindow(HWND window) {
  if (!WindowOf(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Deliver(window, WM_DESTROY, 0, 0);
  if (WindowOf(window)) Deliver(window, WM_NCDESTROY, 0, 0);
  DestroyWindowObject(window);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND window) { return WindowOf(window) != nullptr; }

BOOL WINAPI ShowWindow(HWND window, int show) {
  Window* w = WindowOf(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  BOOL was = w->visible;
  w->visible = show != SW_HIDE;
  if (w->visible && !was) w->needsPaint = true;
  if (w->kind == WindowKind::kClassed && !w->parent) Emit(WindowLabel(*w) + " shown " + ShowCommandName(show));
  return was;
}

// Paints a visible window that is due for it, with its controls, at once
// (WM_PAINT sent, not queued); nothing when nothing changed since its last
// paint. The stand-in paints only here: a message loop that goes idle does
// not paint.
BOOL WINAPI UpdateWindow(HWND window) {
  Window* w = WindowOf(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (w->kind == WindowKind::kControl || !w->visible || !w->needsPaint) return TRUE;
  w->needsPaint = false;
  std::string line = WindowLabel(*w) + " paint";
  for (HWND child : w->children)
    if (Window* c = WindowOf(child); c && c->visible && !c->text.empty()) line += " " + Quoted(c->text);
  Emit(line);
  Deliver(window, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
  auto& q = State().queue;
  for (auto it = q.begin(); it != q.end(); ++it) {
    bool windowMatches = !window || it->hwnd == window;
    bool rangeMatches = (filterMin == 0 && filterMax == 0) || (it->message >= filterMin && it->message <= filterMax);
    if (windowMatches && rangeMatches) {
      *message = *it;
      q.erase(it);
      return TRUE;
    }
  }
  if (State().quitPosted) {
    State().quitPosted = false;
    *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(State().quitCode), 0, 0, POINT{0, 0}};
    return FALSE;
  }
  // Nothing can ever arrive: no window takes input but through the answers.
  Loud("GetMessageA would wait for ever: nothing is queued and no window takes input");
  ExitProgram(259);  // STILL_ACTIVE, the code of a process that never ended
}

BOOL WINAPI TranslateMessage(const MSG* /*message*/) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG* message) {
  if (!message || !message->hwnd) return 0;
  return Deliver(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM /*wParam*/, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_SETTEXT:
      if (Window* w = WindowOf(window)) w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      return TRUE;
    default: return 0;
  }
}

void WINAPI PostQuitMessage(int exitCode) {
  State().quitPosted = true;
  State().quitCode = exitCode;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window && !WindowOf(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  State().queue.push_back(MSG{window, message, wParam, lParam, 0, POINT{0, 0}});
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Deliver(window, message, wParam, lParam);
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
  Window* w = WindowOf(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  std::string value = text ? text : "";
  InvalidateTopLevel(window);
  if (w->kind == WindowKind::kControl) {
    if (Window* parent = WindowOf(w->parent))
      Emit(WindowLabel(*parent) + " item " + std::to_string(w->id) + " text " + Quoted(value));
    Deliver(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
  } else {
    w->text = value;
    Emit(WindowLabel(*w) + " text " + Quoted(value));
  }
  return TRUE;
}

int WINAPI GetWindowTextA(HWND window, LPSTR buffer, int size) {
  Window* w = WindowOf(window);
  if (!w || !buffer || size <= 0) return 0;
  std::size_t n = std::min<std::size_t>(w->text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, w->text.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
  Window* w = WindowOf(window);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = w->rect;
  // A control's rectangle is kept in its parent's client coordinates.
  for (Window* p = WindowOf(w->parent); p && w->kind == WindowKind::kControl; p = nullptr) {
    int fx, fy, caption;
    FrameOf(p->style, p->exStyle, &fx, &fy, &caption);
    const LONG dx = p->rect.left + fx, dy = p->rect.top + fy + caption;
    *rect = RECT{rect->left + dx, rect->top + dy, rect->right + dx, rect->bottom + dy};
  }
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
  Window* w = WindowOf(window);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  int fx = 0, fy = 0, caption = 0;
  if (w->kind != WindowKind::kControl) FrameOf(w->style, w->exStyle, &fx, &fy, &caption);
  *rect = RECT{0, 0, w->rect.right - w->rect.left - 2 * fx, w->rect.bottom - w->rect.top - 2 * fy - caption};
  return TRUE;
}

BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL /*repaint*/) {
  Window* w = WindowOf(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->rect = RECT{x, y, x + width, y + height};
  if (w->kind != WindowKind::kControl)
    Emit(WindowLabel(*w) + " move " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) +
         "x" + std::to_string(height));
  return TRUE;
}

HWND WINAPI SetFocus(HWND window) {
  HWND previous = State().focus;
  if (window && !WindowOf(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  State().focus = window;
  if (previous != window) {
    NotifyParent(previous, kEditKillFocus);
    NotifyParent(window, kEditSetFocus);
  }
  return previous;
}

HWND WINAPI GetFocus(void) { return State().focus; }

int WINAPI GetSystemMetrics(int index) {
  const MachineSettings& s = Machine().settings;
  switch (index) {
    case SM_CXSCREEN: return s.screenWidth;
    case SM_CYSCREEN: return s.screenHeight;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return kScrollBar;
    case SM_CYCAPTION: return kCaption;
    case SM_CXBORDER:
    case SM_CYBORDER: return kBorder;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return kDialogFrame;
    default: return 0;
  }
}

}  // extern "C"
