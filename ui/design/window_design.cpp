#include "window_design.h"

#include <algorithm>
#include <stdexcept>

namespace pellorin::design {
namespace {

using enum ControlKind;

constexpr ControlDesign kMainControls[] = {
    {.name = "lblMover",
     .groupIndex = 0,
     .kind = Label,
     .rect = {180, 180, 3345, 195},
     .text = "File(s) to move (full path, wildcards acceptable):",
     .tabIndex = 0,
     .sizedToText = true},
    {.name = "txtFiles",
     .kind = TextBox,
     .rect = {180, 450, 4515, 315},
     .text = "c:\\temp\\*.mp3",
     .tabIndex = 1},
    {.name = "lblMover",
     .groupIndex = 1,
     .kind = Label,
     .rect = {180, 900, 1965, 195},
     .text = "Root directory to move files:",
     .tabIndex = 2,
     .sizedToText = true},
    {.name = "txtDir",
     .kind = TextBox,
     .rect = {180, 1170, 4515, 315},
     .text = "c:\\music\\mp3",
     .tabIndex = 3},
    {.name = "cmdOK",
     .kind = CommandButton,
     .rect = {2340, 3240, 1095, 315},
     .text = "&Move",
     .tabIndex = 4},
    {.name = "cmdCancel",
     .kind = CommandButton,
     .rect = {3600, 3240, 1095, 315},
     .text = "&Close",
     .tabIndex = 5},
    {.name = "txtResults",
     .kind = TextBox,
     .rect = {180, 1620, 4515, 1455},
     .text = "",
     .tabIndex = 6,
     .multiLine = true,
     .accessibleName = "Results"},
    {.name = "cmdAbout",
     .kind = CommandButton,
     .rect = {180, 3240, 1095, 315},
     .text = "About...",
     .tabIndex = 7},
};

constexpr ControlDesign kAboutControls[] = {
    {.name = "cmdOK",
     .kind = CommandButton,
     .rect = {4500, 2610, 1095, 315},
     .text = "OK",
     .tabIndex = 0,
     .role = ButtonRole::DefaultAndCancel},
    {.name = "picIcon",
     .kind = PictureBox,
     .rect = {180, 180, 2310, 2130},
     .tabIndex = 1,
     .accessibleName = "Pellorin"},
    {.name = "lblDescription",
     .kind = Label,
     .rect = {2610, 1440, 2895, 825},
     .text = "App Description",
     .tabIndex = 2},
    {.name = "lblTitle",
     .kind = Label,
     .rect = {2610, 180, 2895, 405},
     .text = "Application Title",
     .tabIndex = 3},
    {.name = "lblVersion",
     .kind = Label,
     .rect = {2610, 630, 2895, 225},
     .text = "Version",
     .tabIndex = 4},
    // Element 1 is drawn over element 0: a light line on a shadow line makes the separator.
    {.name = "Line1",
     .groupIndex = 0,
     .kind = Line,
     .rect = {180, 2430, 5400, 0},
     .lineWidthPixels = 2},
    {.name = "Line1",
     .groupIndex = 1,
     .kind = Line,
     .rect = {180, 2430, 5400, 0},
     .lineWidthPixels = 1},
};

constexpr WindowDesign kMainWindow{.name = "frmMain",
                                   .designCaption = "Pellorin",
                                   .clientWidthTwips = 4875,
                                   .clientHeightTwips = 3720,
                                   .controls = kMainControls};

constexpr WindowDesign kAboutDialog{.name = "frmAbout",
                                    .designCaption = "About MyApp",
                                    .clientWidthTwips = 5700,
                                    .clientHeightTwips = 3060,
                                    .controls = kAboutControls};

constexpr std::string_view kWebPage = "https://pellorin.example.com/";
constexpr std::string_view kMailAddress = "pellorin@example.com";

}  // namespace

int TwipsToPixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>((scaled + kTwipsPerInch / 2) / kTwipsPerInch);
}

std::string ControlDesign::ObjectName() const {
  return groupIndex < 0 ? std::string(name) : std::string(name) + "_" + std::to_string(groupIndex);
}

bool ControlDesign::TakesFocus() const {
  return kind == ControlKind::TextBox || kind == ControlKind::CommandButton;
}

const ControlDesign& WindowDesign::Control(std::string_view controlName, int index) const {
  const auto found = std::find_if(controls.begin(), controls.end(), [&](const auto& control) {
    return control.name == controlName && control.groupIndex == index;
  });
  if (found == controls.end()) throw std::out_of_range("no control " + std::string(controlName));
  return *found;
}

const ControlDesign* WindowDesign::LabelOf(const ControlDesign& control) const {
  if (control.kind != ControlKind::TextBox) return nullptr;
  const auto label = std::find_if(controls.begin(), controls.end(), [&](const auto& candidate) {
    return candidate.tabIndex == control.tabIndex - 1;
  });
  return label != controls.end() && label->kind == ControlKind::Label ? &*label : nullptr;
}

const WindowDesign& MainWindowDesign() { return kMainWindow; }
const WindowDesign& AboutDialogDesign() { return kAboutDialog; }

std::string AboutDescription() {
  return std::string(kWebPage) + "\r\nmailto:" + std::string(kMailAddress);
}

}  // namespace pellorin::design
