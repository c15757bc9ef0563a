#include "frm_about.h"

#include "about_picture.h"
#include "pellorin/version.h"
#include "platform/platform.h"

namespace pellorin::win32ui {
namespace {

// Times New Roman 15.75 points, italic, regular weight, Western. Where the face is missing (as
// under Wine without the core fonts), Windows maps the nearest serif face.
HFONT CreateTitleFont(int dpi) {
  const int height = -::MulDiv(1575, dpi, 72 * 100);
  return ::CreateFontW(height, 0, 0, 0, FW_NORMAL, TRUE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_ROMAN, L"Times New Roman");
}

void FillLine(HDC context, RECT line, int colorIndex) {
  ::FillRect(context, &line, ::GetSysColorBrush(colorIndex));
}

// Disabled while a modal dialog is shown over it, and enabled again however the dialog ends.
class OwnerDisabled {
 public:
  explicit OwnerDisabled(HWND owner) : owner_(owner) { ::EnableWindow(owner_, FALSE); }
  ~OwnerDisabled() { ::EnableWindow(owner_, TRUE); }
  OwnerDisabled(const OwnerDisabled&) = delete;
  OwnerDisabled& operator=(const OwnerDisabled&) = delete;

 private:
  HWND owner_;
};

}  // namespace

frmAbout::frmAbout(HWND owner) : DesignedWindow(design::AboutDialogDesign()), owner_(owner) {
  Create(owner);
  picture_ = LoadAboutPicture();
  ::SendMessageW(Control("picIcon"), STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(picture_));
  Layout(WindowDpi(Handle()));
}

frmAbout::~frmAbout() {
  if (Handle() != nullptr) {
    // With visual styles the picture box may show a copy of the bitmap, which is then ours.
    const auto shown = reinterpret_cast<HBITMAP>(
        ::SendMessageW(Control("picIcon"), STM_SETIMAGE, IMAGE_BITMAP, 0));
    if (shown != nullptr && shown != picture_) ::DeleteObject(shown);
    ::DestroyWindow(Handle());
  }
  if (picture_ != nullptr) ::DeleteObject(picture_);
  if (titleFont_ != nullptr) ::DeleteObject(titleFont_);
}

void frmAbout::Layout(int dpi) {
  DesignedWindow::Layout(dpi);
  HFONT font = CreateTitleFont(dpi);
  ::SendMessageW(Control("lblTitle"), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (titleFont_ != nullptr) ::DeleteObject(titleFont_);
  titleFont_ = font;
  // The picture box sizes itself to its picture, plus its border on every side. The picture
  // is not scaled: it stays 150 x 138 pixels on every screen.
  const RECT designed = PixelRect(Design().Control("picIcon").rect, dpi);
  const int border = 2 * design::kPictureBorderPixels;
  ::SetWindowPos(Control("picIcon"), nullptr, designed.left, designed.top,
                 design::kAboutPictureWidth + border, design::kAboutPictureHeight + border,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmAbout::ShowModal() {
  if (Handle() == nullptr) return;
  Form_Load();
  CenterOver(owner_);
  {
    const OwnerDisabled modal(owner_);
    ::ShowWindow(Handle(), SW_SHOW);
    ::SetForegroundWindow(Handle());
    ::SetFocus(Control("cmdOK"));
    RunMessages([this] { return !loaded_; });
  }
  ::SetForegroundWindow(owner_);
}

void frmAbout::Form_Load() {
  loaded_ = true;
  const std::string product(version::kProductName);
  ::SetWindowTextW(Handle(), Wide("About " + product).c_str());
  // Major, minor and revision, read from the program's own version resource.
  ::SetWindowTextW(Control("lblVersion"), Wide("Version " + platform::ProgramVersion()).c_str());
  ::SetWindowTextW(Control("lblTitle"), Wide(product).c_str());
  ::SetWindowTextW(Control("lblDescription"), Wide(design::AboutDescription()).c_str());
}

// Unloading hides the dialog and ends its modal loop; the object and its window are kept for the
// next showing, which loads it again.
void frmAbout::cmdOK_Click() { Unload(); }

void frmAbout::Unload() {
  if (!loaded_) return;
  ::EnableWindow(owner_, TRUE);  // before hiding, so that Windows activates the owner
  ::ShowWindow(Handle(), SW_HIDE);
  loaded_ = false;
}

LRESULT frmAbout::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case DM_GETDEFID:
      return MAKELRESULT(ControlId(Design(), Design().Control("cmdOK")), DC_HASDEFID);
    case WM_COMMAND:
      // OK is the default and the cancel button: Enter sends its own identifier, Escape
      // IDCANCEL.
      if (LOWORD(wParam) == IDCANCEL || reinterpret_cast<HWND>(lParam) == Control("cmdOK")) {
        cmdOK_Click();
      }
      return 0;
    case WM_CLOSE:  // the close box, the system menu and Alt+F4
      cmdOK_Click();
      return 0;
    case WM_DESTROY:  // with its owner: the modal loop must not wait for it any longer
      loaded_ = false;
      break;
    case WM_CTLCOLORSTATIC: {
      const auto label = reinterpret_cast<HWND>(lParam);
      if (label != Control("lblTitle") && label != Control("lblDescription")) break;
      const auto context = reinterpret_cast<HDC>(wParam);
      ::SetTextColor(context, RGB(0, 0, 0));
      ::SetBkColor(context, ::GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC context = ::BeginPaint(Handle(), &paint);
      PaintSeparator(context);
      ::EndPaint(Handle(), &paint);
      return 0;
    }
    default:
      break;
  }
  return DefaultDispatch(message, wParam, lParam);
}

// Line1: element 0, 2 pixels of button shadow; element 1, in front, 1 pixel of 3D light.
void frmAbout::PaintSeparator(HDC context) {
  const int dpi = WindowDpi(Handle());
  const auto pixels = [dpi](int atDefaultDpi) {
    return ::MulDiv(atDefaultDpi, dpi, design::kDefaultDpi);
  };
  for (int element : {0, 1}) {
    const auto& control = Design().Control("Line1", element);
    RECT line = PixelRect(control.rect, dpi);
    const int width = pixels(control.lineWidthPixels);
    line.top = design::LineTopRow(line.top, width);
    line.bottom = line.top + width;
    FillLine(context, line, element == 0 ? COLOR_BTNSHADOW : COLOR_3DLIGHT);
  }
}

}  // namespace pellorin::win32ui
