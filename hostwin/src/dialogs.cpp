// user32's modal dialogs and message boxes, answered from the user's list.
//
// DialogBoxParamA builds the dialog from the program's template, sends
// WM_INITDIALOG, shows it, and then runs its modal loop: messages posted to
// the dialog or its controls are delivered in order; when nothing is queued
// and the dialog has not ended, the next answer becomes what the user's
// action would send:
//   accept, decline, cancel, yes, no: a click on the visible button with
//       that text (accelerator "&" ignored): WM_COMMAND, wParam = its id
//       (notification BN_CLICKED, 0), lParam = the button
//   ok: Enter: the focused push button, else the default push button
//       (DM_GETDEFID), else IDOK
//   escape: WM_COMMAND IDCANCEL
//   close: the close box, only on a dialog with a caption and a system menu:
//       WM_SYSCOMMAND SC_CLOSE, which the default handling turns into
//       WM_CLOSE and then WM_COMMAND IDCANCEL
// An answer missing or not fitting is a loud error, after which the dialog
// is closed as by Escape (and ended with -1 if that does not end it).
#include <cstring>

#include "hostwin/resources.h"
#include "machine.h"
#include "names.h"
#include "windows_model.h"

namespace hostwin {

namespace {

const std::vector<Resource>& ProgramResources() {
  static auto& resources = *new std::vector<Resource>;
  static bool parsed = false;
  if (!parsed) {
    parsed = true;
    std::string error;
    const auto& bytes = Machine().resources;
    if (!bytes.empty() && !ParseResources(bytes.data(), bytes.size(), &resources, &error))
      Loud("the program's resources cannot be read: " + error);
  }
  return resources;
}

constexpr std::uintptr_t kIconBase = 0x20000;

bool IsProgramInstance(HINSTANCE instance) { return reinterpret_cast<std::uintptr_t>(instance) == kProgramInstance; }

std::string WithoutAccelerator(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size() && text[i + 1] != '&') continue;
    out += text[i];
  }
  return out;
}

bool IsPushButton(const Window& w) {
  if (!SameText(w.className, "BUTTON")) return false;
  DWORD type = w.style & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

HWND ButtonWithText(const Window& dialog, const std::string& text) {
  for (HWND child : dialog.children) {
    Window* c = WindowOf(child);
    if (c && IsPushButton(*c) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED) &&
        SameText(WithoutAccelerator(c->text), text))
      return child;
  }
  return nullptr;
}

HWND FirstTabStop(const Window& dialog) {
  for (HWND child : dialog.children) {
    Window* c = WindowOf(child);
    if (c && (c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED)) return child;
  }
  return nullptr;
}

std::string FocusDescription() {
  Window* f = WindowOf(GetFocus());
  if (!f) return "none";
  std::string text = f->kind == WindowKind::kControl ? std::to_string(f->id) : "dialog";
  if (SameText(f->className, "EDIT")) {
    text += f->selectionStart == f->selectionEnd
                ? " (no selection)"
                : " (selected " + std::to_string(f->selectionStart) + "-" + std::to_string(f->selectionEnd) + ")";
  }
  return text;
}

HWND BuildDialog(int id, const DialogTemplate& layout, DLGPROC procedure) {
  Window dialog;
  dialog.kind = WindowKind::kDialog;
  dialog.className = "#32770";
  dialog.dialogProcedure = procedure;
  dialog.templateId = id;
  dialog.text = layout.caption;
  dialog.style = layout.style;
  dialog.exStyle = layout.exStyle | ((layout.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0);
  dialog.parent = nullptr;  // an owner does not make the dialog a child
  int frameX, frameY, caption;
  FrameOf(dialog.style, dialog.exStyle, &frameX, &frameY, &caption);
  const int width = DialogUnitsToPixelsX(layout.cx) + 2 * frameX;
  const int height = DialogUnitsToPixelsY(layout.cy) + 2 * frameY + caption;
  int left = DialogUnitsToPixelsX(layout.x), top = DialogUnitsToPixelsY(layout.y);
  if (layout.style & DS_CENTER) {
    left = (Machine().settings.screenWidth - width) / 2;
    top = (Machine().settings.screenHeight - height) / 2;
  }
  dialog.rect = RECT{left, top, left + width, top + height};
  HWND handle = CreateWindowObject(dialog);
  for (const DialogItemTemplate& item : layout.items) {
    Window control;
    control.kind = WindowKind::kControl;
    control.className = item.className;
    control.text = item.text;
    control.style = item.style;
    control.exStyle = item.exStyle;
    control.id = item.id;
    control.parent = handle;
    control.visible = (item.style & WS_VISIBLE) != 0;
    const int itemLeft = DialogUnitsToPixelsX(item.x), itemTop = DialogUnitsToPixelsY(item.y);
    control.rect = RECT{itemLeft, itemTop, itemLeft + DialogUnitsToPixelsX(item.cx),
                        itemTop + DialogUnitsToPixelsY(item.cy)};
    CreateWindowObject(control);
  }
  return handle;
}

struct Action {
  UINT message = WM_COMMAND;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::string effect;  // as the transcript shows it
};

Action Command(HWND dialog, int id) {
  Action a;
  a.wParam = MAKEWPARAM(id, BN_CLICKED);
  a.lParam = reinterpret_cast<LPARAM>(GetDlgItem(dialog, id));
  a.effect = "command " + std::to_string(id);
  return a;
}

// What the user's action for `answer` sends to the dialog; false when the
// answer does not fit this dialog.
bool Plan(HWND dialog, const std::string& answer, Action* action) {
  Window* window = WindowOf(dialog);
  if (answer == "escape") {
    *action = Command(dialog, IDCANCEL);
    return true;
  }
  if (answer == "close") {
    if ((window->style & WS_CAPTION) != WS_CAPTION || !(window->style & WS_SYSMENU)) return false;
    action->message = WM_SYSCOMMAND;
    action->wParam = SC_CLOSE;
    action->effect = "close box";
    return true;
  }
  if (answer == "ok") {
    Window* focus = WindowOf(GetFocus());
    if (focus && SameText(focus->className, "EDIT") && (focus->style & ES_MULTILINE) && (focus->style & ES_WANTRETURN))
      return false;  // Enter would go into the text
    int id = IDOK;
    if (focus && focus->kind == WindowKind::kControl && focus->parent == dialog && IsPushButton(*focus)) {
      id = focus->id;
    } else {
      LRESULT def = Deliver(dialog, DM_GETDEFID, 0, 0);
      if (HIWORD(def) == DC_HASDEFID) id = LOWORD(def);
    }
    *action = Command(dialog, id);
    return true;
  }
  std::string text = answer;
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  HWND button = ButtonWithText(*window, text);
  if (!button) return false;
  *action = Command(dialog, WindowOf(button)->id);
  return true;
}

// The dialog template `id` of the program's resources; false, with the
// failure reported and the last error set, when there is none to build.
bool LoadDialogTemplate(int id, const std::string& label, DialogTemplate* layout) {
  for (int failing : Machine().settings.failingDialogs) {
    if (failing == id) {
      Emit(label + " cannot be created");
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
  }
  const Resource* resource = FindResource(ProgramResources(), 5 /* RT_DIALOG */, static_cast<std::uint16_t>(id));
  std::string error;
  if (!resource) {
    Loud(label + ": no such template in the program's resources");
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return false;
  }
  if (!ParseDialogTemplate(resource->data, resource->size, layout, &error)) {
    Loud(label + ": " + error);
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  return true;
}

// Sends WM_INITDIALOG (the focus goes to the first tab stop unless the
// procedure set it), then shows and activates the dialog.
void InitializeAndShow(HWND dialog, LPARAM initParam) {
  HWND first = FirstTabStop(*WindowOf(dialog));
  if (Deliver(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam) && WindowOf(dialog)) {
    if (first) DialogSetFocus(first);
  }
  // Shown and activated: the dialog manager gives the focus control its
  // focus again, and an edit box then has its whole text selected.
  if (Window* window = WindowOf(dialog)) {
    window->visible = true;
    window->needsPaint = true;
    if (GetFocus()) DialogSetFocus(GetFocus());
  }
}

// The modal loop: delivers what is queued, and when nothing is, sends what
// the user's next answer stands for, until the dialog ends.
void RunModalLoop(HWND dialog, const std::string& label) {
  bool forced = false;
  while (WindowOf(dialog) && !WindowOf(dialog)->ended) {
    auto& queue = Queue();
    if (!queue.empty()) {
      MSG message = queue.front();
      queue.pop_front();
      if (message.hwnd) Deliver(message.hwnd, message.message, message.wParam, message.lParam);
      continue;
    }
    if (QuitPosted(nullptr)) {
      Loud(label + ": the quit message arrived while the dialog was open");
      break;
    }
    if (forced) {
      Loud(label + " did not end when closed; it is ended with -1");
      EndDialog(dialog, -1);
      break;
    }
    const std::string focus = FocusDescription();
    const std::string answer = TakeAnswer();
    if (answer.empty()) {
      Loud(label + " waits for an answer and none is left (focus " + focus + ")");
      Deliver(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
      forced = true;
      continue;
    }
    Action action;
    if (!Plan(dialog, answer, &action)) {
      Emit(label + " wait focus " + focus + " -> " + answer + " = command 2");
      Loud(label + ": the answer \"" + answer + "\" does not fit this dialog");
      action = Command(dialog, IDCANCEL);
      forced = true;
    } else {
      Emit(label + " wait focus " + focus + " -> " + answer + " = " + action.effect);
    }
    Deliver(dialog, action.message, action.wParam, action.lParam);
  }
}

}  // namespace

}  // namespace hostwin

using namespace hostwin;

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure,
                               LPARAM initParam) {
  if (!IS_INTRESOURCE(templateName) || !IsProgramInstance(instance)) {
    Loud("DialogBoxParamA: only numeric templates of the program's own module are supported");
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  const int id = static_cast<int>(reinterpret_cast<std::uintptr_t>(templateName));
  const std::string label = "dialog " + std::to_string(id);
  DialogTemplate layout;
  if (!LoadDialogTemplate(id, label, &layout)) return -1;
  HWND dialog = BuildDialog(id, layout, procedure);
  {
    const RECT& rect = WindowOf(dialog)->rect;
    Emit(label + " open " + Quoted(layout.caption) + " " + std::to_string(rect.right - rect.left) + "x" +
         std::to_string(rect.bottom - rect.top) + (owner ? " owner" : ""));
  }
  HWND previousFocus = GetFocus();
  InitializeAndShow(dialog, initParam);
  RunModalLoop(dialog, label);
  INT_PTR result = WindowOf(dialog) ? WindowOf(dialog)->result : -1;
  if (WindowOf(dialog)) DestroyWindow(dialog);
  SetFocus(WindowOf(previousFocus) ? previousFocus : nullptr);
  Emit(label + " end " + std::to_string(static_cast<long long>(result)));
  return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  Window* d = WindowOf(dialog);
  if (!d || d->kind != WindowKind::kDialog) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  d->ended = true;
  d->result = result;
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  Window* d = WindowOf(dialog);
  if (!d) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  for (HWND child : d->children)
    if (Window* c = WindowOf(child); c && c->id == id) return child;
  SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
  return nullptr;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SetWindowTextA(item, text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) {
    if (buffer && size > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(item, buffer, size));
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  const auto id = reinterpret_cast<std::uintptr_t>(name);
  if (!instance) {
    if (IS_INTRESOURCE(name) && id >= 32512 && id <= 32518) return reinterpret_cast<HICON>(kIconBase + id);
  } else if (IsProgramInstance(instance) && IS_INTRESOURCE(name) &&
             FindResource(ProgramResources(), 14 /* RT_GROUP_ICON */, static_cast<std::uint16_t>(id))) {
    return reinterpret_cast<HICON>(kIconBase + id);
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  // Which answers each button set takes, and what Escape and the close box
  // give: IDCANCEL where there is a Cancel button, IDOK on an OK box, nothing
  // on Yes/No and Abort/Retry/Ignore boxes.
  struct Buttons {
    const char* answers[3];
    int results[3];
    int escape;  // 0: Escape and the close box do nothing
  };
  static const Buttons kSets[] = {
      {{"ok", nullptr, nullptr}, {IDOK, 0, 0}, IDOK},
      {{"ok", "cancel", nullptr}, {IDOK, IDCANCEL, 0}, IDCANCEL},
      {{"abort", "retry", "ignore"}, {IDABORT, IDRETRY, IDIGNORE}, 0},
      {{"yes", "no", "cancel"}, {IDYES, IDNO, IDCANCEL}, IDCANCEL},
      {{"yes", "no", nullptr}, {IDYES, IDNO, 0}, 0},
      {{"retry", "cancel", nullptr}, {IDRETRY, IDCANCEL, 0}, IDCANCEL},
  };
  const UINT set = type & MB_TYPEMASK;
  const Buttons& buttons = kSets[set <= 5 ? set : 0];
  std::string line = "message box " + Quoted(caption ? caption : "Error") + " " + Quoted(text ? text : "") + " " +
                     MessageBoxStyleName(type) + (owner ? " owner" : "");
  const std::string answer = TakeAnswer();
  int result = 0;
  for (int i = 0; i < 3; ++i)
    if (buttons.answers[i] && answer == buttons.answers[i]) result = buttons.results[i];
  if (!result && (answer == "escape" || answer == "close")) result = buttons.escape;
  // Without a fitting answer the box goes as if dismissed: by Escape where
  // it can be, otherwise by its last button (No, Cancel, Ignore).
  int fallback = buttons.escape;
  if (!fallback) fallback = buttons.results[buttons.answers[2] ? 2 : 1];
  if (answer.empty()) {
    Emit(line + " -> (none) = " + DialogResultName(fallback));
    Loud("a message box waits for an answer and none is left");
    return fallback;
  }
  if (!result) {
    Emit(line + " -> " + answer + " = " + DialogResultName(fallback));
    Loud("the answer \"" + answer + "\" does not fit a " + MessageBoxStyleName(type & MB_TYPEMASK) + " box");
    return fallback;
  }
  Emit(line + " -> " + answer + " = " + DialogResultName(result));
  return result;
}

}  // extern "C"
