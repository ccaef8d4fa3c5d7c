// The demo screen saver's window, its drawing and its end on user input.
#include "demo/screensaver/saver_window.h"

#include <cstdlib>
#include <memory>
#include <string_view>

#include "core/text/bounded_text.h"
#include "demo/screensaver/aurora_art.h"
#include "demo/screensaver/mci_player.h"
#include "demo/screensaver/message_layout.h"
#include "demo/screensaver/playlist.h"
#include "demo/screensaver/saver_resource_ids.h"

using text::AppendTextPart;
using text::CopyText;

namespace screensaver {

namespace {

constexpr char kWindowClass[] = "SaverkitAuroraWindow";
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFrameMilliseconds = 40;  // 25 frames a second
// The sky is drawn at most this wide and stretched to the window: it is
// soft, and this keeps a frame cheap on large screens.
constexpr int kMaxArtWidth = 640;
// Mouse travel in pixels that ends the screen saver; smaller moves (a
// nudged desk, the first move Windows reports) are ignored.
constexpr int kMouseSlack = 6;
constexpr std::uint32_t kAccentColour = 0x9A4CFF;

struct SaverState {
  SaverSetup Setup;
  bool FullScreen = false;
  DWORD LastTicks = 0;
  double Seconds = 0;  // animated time, scaled by the speed setting
  // Back buffer, the size of the client area.
  HDC BackDc = nullptr;
  HBITMAP BackBitmap = nullptr;
  HGDIOBJ BackOld = nullptr;
  int Width = 0, Height = 0;
  // The sky, a top-down 32-bit DIB section drawn by DrawAuroraFrame.
  HDC ArtDc = nullptr;
  HBITMAP ArtBitmap = nullptr;
  HGDIOBJ ArtOld = nullptr;
  std::uint32_t* ArtPixels = nullptr;
  int ArtWidth = 0, ArtHeight = 0;
  HFONT MessageFont = nullptr;
  HFONT SmallFont = nullptr;
  // The message's lines, font size and drift area, and where it is now.
  MessageLayout Layout;
  MessageDrift Drift;
  bool HaveMouse = false;
  POINT FirstMouse = {0, 0};
  // The media files, full screen only; the player lives while they play.
  std::unique_ptr<MciPlayer> Player;
  std::unique_ptr<screensaver::Playlist> Playlist;
};

SaverState* g_state = nullptr;

COLORREF ToColorRef(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

void ReleaseSurfaces(SaverState* s) {
  if (s->BackDc) {
    SelectObject(s->BackDc, s->BackOld);
    DeleteObject(s->BackBitmap);
    DeleteDC(s->BackDc);
  }
  if (s->ArtDc) {
    SelectObject(s->ArtDc, s->ArtOld);
    DeleteObject(s->ArtBitmap);
    DeleteDC(s->ArtDc);
  }
  if (s->MessageFont) DeleteObject(s->MessageFont);
  if (s->SmallFont) DeleteObject(s->SmallFont);
  s->BackDc = s->ArtDc = nullptr;
  s->ArtPixels = nullptr;
  s->MessageFont = s->SmallFont = nullptr;
}

HFONT MakeFont(int height, int weight) {
  return CreateFontA(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, "Arial");
}

// The extent of `text` in the message's font at `fontHeight`, measured on
// `dc` with a font made for the measuring only.
TextExtent MeasureMessageText(HDC dc, std::string_view text, int fontHeight) {
  HFONT font = MakeFont(fontHeight, FW_BOLD);
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
  if (font) {
    SelectObject(dc, old);
    DeleteObject(font);
  }
  return {size.cx, size.cy};
}

// (Re)creates the back buffer, the sky bitmap and the fonts for a client
// area of width x height.
bool MakeSurfaces(SaverState* s, HWND window, int width, int height) {
  ReleaseSurfaces(s);
  if (width < 1 || height < 1) return false;
  s->Width = width;
  s->Height = height;
  HDC screen = GetDC(window);
  s->BackDc = CreateCompatibleDC(screen);
  s->BackBitmap = CreateCompatibleBitmap(screen, width, height);
  s->BackOld = SelectObject(s->BackDc, s->BackBitmap);

  s->ArtWidth = width > kMaxArtWidth ? kMaxArtWidth : width;
  s->ArtHeight = static_cast<int>(static_cast<long long>(height) * s->ArtWidth / width);
  if (s->ArtHeight < 1) s->ArtHeight = 1;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = s->ArtWidth;
  info.bmiHeader.biHeight = -s->ArtHeight;  // negative: rows top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  s->ArtDc = CreateCompatibleDC(screen);
  s->ArtBitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(window, screen);
  if (!s->BackBitmap || !s->ArtBitmap || !bits) {
    ReleaseSurfaces(s);
    return false;
  }
  s->ArtOld = SelectObject(s->ArtDc, s->ArtBitmap);
  s->ArtPixels = static_cast<std::uint32_t*>(bits);

  // Only the full screen shows the "Now playing" line.
  HDC measuring = s->BackDc;
  s->Layout = LayOutMessage(
      s->Setup.Settings.Message, width, height, s->FullScreen,
      [measuring](std::string_view text, int fontHeight) {
        return MeasureMessageText(measuring, text, fontHeight);
      });
  s->MessageFont = MakeFont(s->Layout.FontHeight, FW_BOLD);
  s->SmallFont = MakeFont(s->Layout.StatusFontHeight, FW_NORMAL);
  s->Drift = StartDrift(s->Layout, width, height, s->Setup.Settings.Speed);
  return true;
}

void DrawShadowedText(HDC dc, int x, int y, const char* text, int length, COLORREF colour, int offset) {
  SetTextColor(dc, RGB(0, 0, 0));
  TextOutA(dc, x + offset, y + offset, text, length);
  SetTextColor(dc, colour);
  TextOutA(dc, x, y, text, length);
}

void DrawFrame(SaverState* s, double step) {
  const settings::DemoSettings& settings = s->Setup.Settings;
  DrawAuroraFrame(s->ArtPixels, s->ArtWidth, s->ArtHeight, s->Seconds,
                  {settings.Background, settings.Aurora, kAccentColour});
  GdiFlush();  // the DIB's bits were written directly
  SetStretchBltMode(s->BackDc, HALFTONE);
  SetBrushOrgEx(s->BackDc, 0, 0, nullptr);
  StretchBlt(s->BackDc, 0, 0, s->Width, s->Height, s->ArtDc, 0, 0, s->ArtWidth, s->ArtHeight, SRCCOPY);

  SetBkMode(s->BackDc, TRANSPARENT);
  const COLORREF foreground = ToColorRef(settings.Foreground);
  HGDIOBJ oldFont = SelectObject(s->BackDc, s->MessageFont);
  const MessageLayout& layout = s->Layout;
  AdvanceDrift(s->Drift, layout, step);
  // Each line centred in the block; the shadow takes the block's last pixels.
  const int x = static_cast<int>(s->Drift.X), y = static_cast<int>(s->Drift.Y);
  const int inner = layout.BlockWidth - layout.ShadowOffset;
  DrawShadowedText(s->BackDc, x + (inner - layout.FirstWidth) / 2, y, layout.First.c_str(),
                   static_cast<int>(layout.First.size()), foreground, layout.ShadowOffset);
  if (!layout.Second.empty())
    DrawShadowedText(s->BackDc, x + (inner - layout.SecondWidth) / 2, y + layout.LineHeight,
                     layout.Second.c_str(), static_cast<int>(layout.Second.size()), foreground,
                     layout.ShadowOffset);

  const std::string_view playing = s->Playlist ? s->Playlist->NowPlaying() : std::string_view();
  if (s->FullScreen && !playing.empty()) {
    char line[300];
    CopyText(line, "Now playing: ");
    AppendTextPart(line, sizeof line, playing.data(), playing.size());
    SelectObject(s->BackDc, s->SmallFont);
    DrawShadowedText(s->BackDc, layout.StatusX, layout.StatusY, line, lstrlenA(line), foreground, 1);
  }
  SelectObject(s->BackDc, oldFont);
}

void OnTimer(HWND window, SaverState* s) {
  const DWORD now = GetTickCount();
  // Unsigned difference: right across the tick count's wrap; a long stall
  // (a sleeping machine) does not make the picture jump.
  double step = static_cast<DWORD>(now - s->LastTicks) / 1000.0;
  if (step > 0.25) step = 0.25;
  s->LastTicks = now;
  if (s->Playlist) s->Playlist->OnTick(now);
  s->Seconds += step * s->Setup.Settings.Speed / 3.0;
  if (s->BackDc) DrawFrame(s, step);
  InvalidateRect(window, nullptr, FALSE);
}

void OnPaint(HWND window, SaverState* s) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (s->BackDc) {
    BitBlt(dc, 0, 0, s->Width, s->Height, s->BackDc, 0, 0, SRCCOPY);
  } else {
    RECT r;
    GetClientRect(window, &r);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  EndPaint(window, &paint);
}

// In full screen any real input ends the screen saver.
bool EndsOnInput(HWND window, SaverState* s, UINT message, LPARAM lParam) {
  if (!s->FullScreen) return false;
  switch (message) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN: case WM_MOUSEWHEEL:
      PostMessageA(window, WM_CLOSE, 0, 0);
      return true;
    case WM_MOUSEMOVE: {
      const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (!s->HaveMouse) {
        s->HaveMouse = true;
        s->FirstMouse = at;
      } else if (std::abs(at.x - s->FirstMouse.x) > kMouseSlack || std::abs(at.y - s->FirstMouse.y) > kMouseSlack) {
        PostMessageA(window, WM_CLOSE, 0, 0);
      }
      return true;
    }
    default:
      return false;
  }
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SaverState* s = g_state;
  if (!s) return DefWindowProcA(window, message, wParam, lParam);
  if (EndsOnInput(window, s, message, lParam)) return 0;
  switch (message) {
    case WM_CREATE: {
      RECT r;
      GetClientRect(window, &r);
      if (s->FullScreen) {
        s->Player = std::make_unique<MciPlayer>(window);
        s->Playlist = std::make_unique<screensaver::Playlist>(*s->Player);
        s->Playlist->Start(s->Setup.MediaPaths);
      }
      if (MakeSurfaces(s, window, r.right - r.left, r.bottom - r.top)) DrawFrame(s, 0);
      s->LastTicks = GetTickCount();
      SetTimer(window, kFrameTimer, kFrameMilliseconds, nullptr);
      return 0;
    }
    case WM_SIZE:
      if ((LOWORD(lParam) != s->Width || HIWORD(lParam) != s->Height) &&
          MakeSurfaces(s, window, LOWORD(lParam), HIWORD(lParam)))
        DrawFrame(s, 0);
      return 0;
    case WM_TIMER:
      if (wParam == kFrameTimer) OnTimer(window, s);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the whole client area is painted from the back buffer
    case WM_PAINT:
      OnPaint(window, s);
      return 0;
    case MM_MCINOTIFY:
      if (s->Playlist) s->Playlist->OnNotice(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
      return 0;
    case WM_SETCURSOR:
      if (s->FullScreen) {
        SetCursor(nullptr);
        return TRUE;
      }
      break;
    case WM_ACTIVATEAPP:
      if (s->FullScreen && !wParam) PostMessageA(window, WM_CLOSE, 0, 0);
      break;
    case WM_SYSCOMMAND:
      // Windows asks a running screen saver to start again: it already runs.
      if (s->FullScreen && (wParam & 0xFFF0) == SC_SCREENSAVE) return 0;
      break;
    case WM_DESTROY:
      KillTimer(window, kFrameTimer);
      s->Playlist.reset();  // closes the file playing, before the player goes
      s->Player.reset();
      ReleaseSurfaces(s);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterSaverClass(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = SaverWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SAVER_ICON));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = kWindowClass;
  return RegisterClassA(&wc) != 0;
}

int RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

}  // namespace

int RunFullScreen(HINSTANCE instance, const SaverSetup& setup) {
  // Windows may start the screen saver again while it runs: one is enough.
  if (FindWindowA(kWindowClass, nullptr)) return 0;
  if (!RegisterSaverClass(instance)) return 1;
  SaverState state;
  state.Setup = setup;
  state.FullScreen = true;
  g_state = &state;
  // The whole desktop, every monitor; systems without the virtual screen
  // metrics report 0 and get the primary screen.
  int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (width == 0 || height == 0) {
    x = y = 0;
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
  }
  HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kWindowClass, setup.Title.c_str(),
                                WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr, instance, nullptr);
  if (!window) {
    g_state = nullptr;
    return 1;
  }
  SetForegroundWindow(window);
  const int code = RunMessageLoop();
  g_state = nullptr;
  return code;
}

int RunPreview(HINSTANCE instance, const SaverSetup& setup, HWND parent) {
  if (!IsWindow(parent) || !RegisterSaverClass(instance)) return 1;
  SaverState state;
  state.Setup = setup;
  g_state = &state;
  RECT r;
  GetClientRect(parent, &r);
  HWND window = CreateWindowExA(0, kWindowClass, "Preview", WS_CHILD | WS_VISIBLE, 0, 0, r.right - r.left,
                                r.bottom - r.top, parent, nullptr, instance, nullptr);
  if (!window) {
    g_state = nullptr;
    return 1;
  }
  const int code = RunMessageLoop();
  g_state = nullptr;
  return code;
}

}  // namespace screensaver
