// Pellorin.exe: the main window is the program's start-up object; the program ends once it has
// been unloaded.

#include <memory>

#include "frm_main.h"
// After the Windows headers that frm_main.h brings in.
#include <commctrl.h>

namespace {

// Never shown: it owns the main window, so that window gets no taskbar button.
HWND CreateHiddenOwner() {
  return ::CreateWindowExW(0, L"Static", L"Pellorin", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

// The program's one reference to its main window, released once the window has been unloaded.
std::unique_ptr<pellorin::win32ui::frmMain> frmMain;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  const HWND owner = CreateHiddenOwner();
  bool loaded = true;
  frmMain = std::make_unique<pellorin::win32ui::frmMain>(owner, [&loaded] { loaded = false; });
  if (frmMain->Handle() == nullptr) {
    ::MessageBoxW(nullptr, L"The main window could not be created.", L"Pellorin",
                  MB_OK | MB_ICONERROR);
    return 1;
  }
  frmMain->Show();
  pellorin::win32ui::RunMessages([&loaded] { return !loaded; });
  frmMain.reset();
  ::DestroyWindow(owner);
  return 0;
}
