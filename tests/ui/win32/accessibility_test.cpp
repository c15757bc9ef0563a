// Both Windows windows as a screen reader reads them, through the system's standard accessible
// objects. Under Wine these answer only inside the process that owns the windows, so the test
// asks from here.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "ui/design/window_design.h"
#include "ui/win32/frm_about.h"
#include "ui/win32/frm_main.h"
// After the Windows headers that the windows bring in.
#include <oleacc.h>

namespace pellorin::win32ui {
namespace {

using design::ControlDesign;
using design::WindowDesign;

// What a person hears for each control, written out rather than derived from the table.
const std::map<std::string, std::wstring> kMainWindowNames = {
    {"txtFiles", L"File(s) to move (full path, wildcards acceptable):"},
    {"txtDir", L"Root directory to move files:"},
    {"cmdOK", L"Move"},
    {"cmdCancel", L"Close"},
    {"txtResults", L"Results"},
    {"cmdAbout", L"About..."},
};
const std::map<std::string, std::wstring> kAboutDialogNames = {
    {"cmdOK", L"OK"},
    {"picIcon", L"Pellorin"},
};

std::wstring AccessibleName(HWND control) {
  IAccessible* accessible = nullptr;
  if (FAILED(::AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                          IID_IAccessible,
                                          reinterpret_cast<void**>(&accessible)))) {
    return L"(no accessible object)";
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  accessible->get_accName(self, &name);
  std::wstring text = name != nullptr ? name : L"";
  ::SysFreeString(name);
  accessible->Release();
  return text;
}

// Whether this system keeps the accessibility annotations that name the controls without a
// label. Wine 8 does not: IAccPropServices::SetHwndPropStr answers E_NOTIMPL there.
bool SystemKeepsAnnotations() {
  IAccPropServices* services = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
    return false;
  }
  const HWND probe = ::CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr);
  wchar_t name[] = L"probe";
  const HRESULT set = services->SetHwndPropStr(probe, static_cast<DWORD>(OBJID_CLIENT),
                                               CHILDID_SELF, PROPID_ACC_NAME, name);
  MSAAPROPID property = PROPID_ACC_NAME;
  services->ClearHwndProps(probe, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &property, 1);
  services->Release();
  ::DestroyWindow(probe);
  return SUCCEEDED(set);
}

class Win32Accessibility : public ::testing::Test {
 protected:
  void SetUp() override {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    owner_ = ::CreateWindowExW(0, L"Static", L"Pellorin", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
    main_ = std::make_unique<frmMain>(owner_, [] {});
    about_ = std::make_unique<frmAbout>(main_->Handle());
  }

  void TearDown() override {
    about_.reset();
    main_.reset();
    ::DestroyWindow(owner_);
    ::CoUninitialize();
  }

  // Checks the name of every control that takes the focus or shows a picture, named by a label
  // (annotated: false) or by an annotation (true).
  static void CheckNames(const DesignedWindow& window,
                         const std::map<std::string, std::wstring>& expected, bool annotated) {
    const WindowDesign& design = window.Design();
    for (const ControlDesign& control : design.controls) {
      if (!control.TakesFocus() && control.kind != design::ControlKind::PictureBox) continue;
      const std::string objectName = control.ObjectName();
      SCOPED_TRACE(objectName);
      const auto name = expected.find(objectName);
      ASSERT_NE(name, expected.end()) << "no name is expected";
      if (control.accessibleName.empty() == annotated) continue;
      const HWND handle = window.Control(control.name, control.groupIndex);
      EXPECT_EQ(AccessibleName(handle), name->second);
      // Windows reads the label just before a box in the window order as the box's name.
      if (const ControlDesign* label = design.LabelOf(control)) {
        EXPECT_EQ(::GetWindow(handle, GW_HWNDPREV), window.Control(label->name, label->groupIndex));
      }
    }
  }

  HWND owner_ = nullptr;
  std::unique_ptr<frmMain> main_;
  std::unique_ptr<frmAbout> about_;
};

TEST_F(Win32Accessibility, LabelsNameTheBoxesAfterThemAndCaptionsNameTheButtons) {
  CheckNames(*main_, kMainWindowNames, false);
  CheckNames(*about_, kAboutDialogNames, false);
}

TEST_F(Win32Accessibility, ControlsWithoutALabelAreNamedByAnnotation) {
  if (!SystemKeepsAnnotations()) {
    GTEST_SKIP() << "this system keeps no accessibility annotations (IAccPropServices)";
  }
  CheckNames(*main_, kMainWindowNames, true);
  CheckNames(*about_, kAboutDialogNames, true);
}

}  // namespace
}  // namespace pellorin::win32ui
