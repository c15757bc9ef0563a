#include "designed_window.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "pellorin/version.h"

#include "platform/win32/wide_text.h"
#include "resource_ids.h"

namespace pellorin::win32ui {
namespace {

using design::ControlDesign;
using design::ControlKind;

constexpr wchar_t kWindowClass[] = L"PellorinDesignedWindow";
constexpr DWORD kFixedDialogStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFixedDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
// The dialog font of the system: the one Windows itself maps for dialogs, 8 points.
constexpr wchar_t kDialogFontFace[] = L"MS Shell Dlg 2";
constexpr int kDialogFontPoints = 8;

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
};

ControlClass ClassFor(const ControlDesign& control) {
  switch (control.kind) {
    case ControlKind::Label:
      return {L"Static", SS_LEFT, 0};
    case ControlKind::TextBox:
      if (control.multiLine) {
        // Both scroll bars always, so lines never wrap; Enter makes a new line.
        return {L"Edit",
                WS_TABSTOP | ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN |
                    WS_HSCROLL | WS_VSCROLL,
                WS_EX_CLIENTEDGE};
      }
      return {L"Edit", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::CommandButton:
      return {L"Button",
              WS_TABSTOP | (control.role == design::ButtonRole::DefaultAndCancel
                                ? static_cast<DWORD>(BS_DEFPUSHBUTTON)
                                : static_cast<DWORD>(BS_PUSHBUTTON)),
              0};
    case ControlKind::PictureBox:
      // The client edge is the sunken border, 2 pixels on every side.
      return {L"Static", SS_BITMAP, WS_EX_CLIENTEDGE};
    case ControlKind::Line:
      break;
  }
  return {nullptr, 0, 0};
}

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

// A multi-line edit control asks for every key, and in a window with dialog keys it then turns
// Escape into WM_CLOSE for its parent and Tab into WM_NEXTDLGCTL. Tab and Escape are left to the
// window instead: Tab moves on, Escape does what it does anywhere else in the window.
LRESULT CALLBACK LeaveTabAndEscapeToTheWindow(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR, DWORD_PTR) {
  LRESULT result = ::DefSubclassProc(edit, message, wParam, lParam);
  if (message == WM_GETDLGCODE) {
    const auto* key = reinterpret_cast<const MSG*>(lParam);
    if (key != nullptr && key->message == WM_KEYDOWN &&
        (key->wParam == VK_TAB || key->wParam == VK_ESCAPE)) {
      result &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTMESSAGE | DLGC_WANTTAB);
    }
  }
  return result;
}

// The system's accessibility annotations: what a screen reader reads for a window, set by the
// program that owns it. Where the system keeps none (Wine 8 answers E_NOTIMPL), nothing is set.
class Annotations {
 public:
  Annotations() : com_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
    ::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                       reinterpret_cast<void**>(&services_));
  }
  ~Annotations() {
    if (services_ != nullptr) services_->Release();
    if (SUCCEEDED(com_)) ::CoUninitialize();
  }
  Annotations(const Annotations&) = delete;
  Annotations& operator=(const Annotations&) = delete;

  void SetName(HWND control, std::wstring name) {
    if (services_ == nullptr) return;
    services_->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                              PROPID_ACC_NAME, name.data());
  }
  void ClearName(HWND control) {
    if (services_ == nullptr) return;
    MSAAPROPID name = PROPID_ACC_NAME;
    services_->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name, 1);
  }

 private:
  HRESULT com_;
  IAccPropServices* services_ = nullptr;
};

// The system keeps an annotation until it is cleared: it goes with its control.
LRESULT CALLBACK ClearNameOnDestroy(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR) {
  if (message == WM_NCDESTROY) {
    Annotations().ClearName(control);
    ::RemoveWindowSubclass(control, &ClearNameOnDestroy, id);
  }
  return ::DefSubclassProc(control, message, wParam, lParam);
}

// A control that no label before it names (Windows reads such a label as the name of the control
// after it) is named by an annotation, which changes nothing on screen.
void NameForScreenReaders(HWND control, std::string_view name) {
  Annotations().SetName(control, Wide(name));
  ::SetWindowSubclass(control, &ClearNameOnDestroy, 0, 0);
}

void RegisterWindowClass(WNDPROC procedure) {
  static const bool registered = [procedure] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = Instance();
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIcon = static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(PELLORIN_ICON),
                                                        IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                                        ::GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(
        ::LoadImageW(Instance(), MAKEINTRESOURCEW(PELLORIN_ICON), IMAGE_ICON,
                     ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    return ::RegisterClassExW(&windowClass) != 0;
  }();
  (void)registered;
}

// The text of a one-line caption as the control draws it, access-key marks removed.
SIZE CaptionSize(HWND control, HFONT font) {
  const std::wstring text = WindowText(control);
  const int length = static_cast<int>(text.size());
  HDC context = ::GetDC(control);
  const HGDIOBJ previous = ::SelectObject(context, font);
  RECT bounds{0, 0, 0, 0};
  ::DrawTextW(context, text.c_str(), length, &bounds, DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
  ::SelectObject(context, previous);
  ::ReleaseDC(control, context);
  return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

// Windows 10 calls, looked up so that the program still starts on older systems.
template <typename Function>
Function User32Function(const char* name) {
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 == nullptr
             ? nullptr
             : reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

void AdjustForDpi(RECT& bounds, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjust = User32Function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
  if (adjust != nullptr) {
    adjust(&bounds, style, FALSE, exStyle, static_cast<UINT>(dpi));
  } else {
    ::AdjustWindowRectEx(&bounds, style, FALSE, exStyle);
  }
}

}  // namespace

int ControlId(const design::WindowDesign& window, const design::ControlDesign& control) {
  return 100 + static_cast<int>(&control - window.controls.data());
}

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  // Text that is not valid UTF-8 is shown with replacement characters rather than not at all.
  const int size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

std::string Utf8(HWND window) { return win32::ToUtf8(WindowText(window)); }

void CenterWindow(HWND window, HWND over) {
  RECT area{};
  if (over != nullptr && ::IsWindowVisible(over)) {
    ::GetWindowRect(over, &area);
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    area = monitor.rcWork;
  }
  RECT own{};
  ::GetWindowRect(window, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  const int left = area.left + (area.right - area.left - width) / 2;
  const int top = area.top + (area.bottom - area.top - height) / 2;
  ::SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int WindowDpi(HWND window) {
  static const auto forWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (forWindow != nullptr && window != nullptr) {
    if (const UINT dpi = forWindow(window); dpi != 0) return static_cast<int>(dpi);
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : design::kDefaultDpi;
}

RECT PixelRect(const design::TwipsRect& rect, int dpi) {
  const int left = design::TwipsToPixels(rect.left, dpi);
  const int top = design::TwipsToPixels(rect.top, dpi);
  return {left, top, left + design::TwipsToPixels(rect.width, dpi),
          top + design::TwipsToPixels(rect.height, dpi)};
}

DesignedWindow::~DesignedWindow() {
  if (window_ != nullptr) {
    // Too late for the derived window's message switch: its part of the object is gone.
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
  if (dialogFont_ != nullptr) ::DeleteObject(dialogFont_);
}

HWND DesignedWindow::Control(std::string_view name, int groupIndex) const {
  return ::GetDlgItem(window_, ControlId(design_, design_.Control(name, groupIndex)));
}

void DesignedWindow::Create(HWND owner) {
  RegisterWindowClass(&DesignedWindow::Procedure);
  // An owned window has no taskbar button: the owner is what Windows would show there.
  ::CreateWindowExW(kFixedDialogExStyle, kWindowClass, Wide(design_.designCaption).c_str(),
                    kFixedDialogStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                    owner, nullptr, Instance(), this);
  if (window_ == nullptr) return;
  CreateControls();
  Layout(WindowDpi(window_));
}

void DesignedWindow::CreateControls() {
  // Windows tabs through the controls in the order they were made: make them in tab order.
  std::vector<const ControlDesign*> inTabOrder;
  for (const auto& control : design_.controls) {
    if (control.kind != ControlKind::Line) inTabOrder.push_back(&control);
  }
  std::stable_sort(inTabOrder.begin(), inTabOrder.end(),
                   [](const auto* a, const auto* b) { return a->tabIndex < b->tabIndex; });
  for (const ControlDesign* control : inTabOrder) {
    const ControlClass controlClass = ClassFor(*control);
    const auto id = static_cast<INT_PTR>(ControlId(design_, *control));
    const HWND created =
        ::CreateWindowExW(controlClass.exStyle, controlClass.name, Wide(control->text).c_str(),
                          WS_CHILD | WS_VISIBLE | controlClass.style, 0, 0, 0, 0, window_,
                          reinterpret_cast<HMENU>(id), Instance(), nullptr);
    if (control->multiLine) ::SetWindowSubclass(created, &LeaveTabAndEscapeToTheWindow, 0, 0);
    if (!control->accessibleName.empty()) NameForScreenReaders(created, control->accessibleName);
  }
}

void DesignedWindow::Layout(int dpi) {
  HFONT font = ::CreateFontW(-::MulDiv(kDialogFontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE,
                             FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH, kDialogFontFace);
  for (const auto& control : design_.controls) {
    if (control.kind == ControlKind::Line) continue;
    HWND handle = ::GetDlgItem(window_, ControlId(design_, control));
    ::SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    RECT bounds = PixelRect(control.rect, dpi);
    if (control.sizedToText) {
      const SIZE caption = CaptionSize(handle, font);
      bounds.right = bounds.left + caption.cx;
      bounds.bottom = bounds.top + std::max<LONG>(caption.cy, bounds.bottom - bounds.top);
    }
    ::SetWindowPos(handle, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                   bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (dialogFont_ != nullptr) ::DeleteObject(dialogFont_);
  dialogFont_ = font;

  RECT frame{0, 0, design::TwipsToPixels(design_.clientWidthTwips, dpi),
             design::TwipsToPixels(design_.clientHeightTwips, dpi)};
  AdjustForDpi(frame, kFixedDialogStyle, kFixedDialogExStyle, dpi);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DesignedWindow::CenterOver(HWND owner) { CenterWindow(window_, owner); }

// The focus a person left in a window is where they find it when they come back, as in any
// dialog: DefWindowProc would put it on the window itself, where keys go nowhere.
void DesignedWindow::KeepFocusAcrossActivation(bool activated) {
  if (!activated) {
    const HWND focus = ::GetFocus();
    if (focus != nullptr && ::IsChild(window_, focus)) lastFocus_ = focus;
    return;
  }
  if (lastFocus_ == nullptr || !::IsChild(window_, lastFocus_)) {
    lastFocus_ = ::GetNextDlgTabItem(window_, nullptr, FALSE);
  }
  if (lastFocus_ != nullptr) ::SetFocus(lastFocus_);
}

LRESULT DesignedWindow::DefaultDispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      Layout(HIWORD(wParam));
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_ACTIVATE:
      KeepFocusAcrossActivation(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_NEXTDLGCTL: {  // sent by controls that move the focus themselves
      const HWND next = LOWORD(lParam) != 0
                            ? reinterpret_cast<HWND>(wParam)
                            : ::GetNextDlgTabItem(window_, ::GetFocus(), wParam != 0);
      if (next != nullptr) ::SetFocus(next);
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK DesignedWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<DesignedWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<DesignedWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  LRESULT result = 0;
  try {
    result = self->Dispatch(message, wParam, lParam);
  } catch (const std::exception& failure) {
    // Nothing may unwind through the system's code that called us: say what failed instead.
    ::MessageBoxW(window, Wide(failure.what()).c_str(), Wide(version::kProductName).c_str(),
                  MB_OK | MB_ICONERROR);
    result = ::DefWindowProcW(window, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
  }
  return result;
}

}  // namespace pellorin::win32ui
