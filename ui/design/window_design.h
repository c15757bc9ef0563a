#pragma once

// The design of Pellorin's two windows, as one table that every rendering reads: the Qt windows
// on Linux, the native windows on Windows, and the tests of both. Nothing here needs a toolkit.

#include <span>
#include <string>
#include <string_view>

namespace pellorin::design {

enum class ControlKind { Label, TextBox, CommandButton, PictureBox, Line };

// Which key presses the button besides its own access key: Enter (default), Escape (cancel).
enum class ButtonRole { None, DefaultAndCancel };

// The layout unit of both windows: 1/1440 inch, so 15 twips are one pixel at 96 dots per inch.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kDefaultDpi = 96;
int TwipsToPixels(int twips, int dpi = kDefaultDpi);

struct TwipsRect {
  int left = 0, top = 0, width = 0, height = 0;  // from the top-left corner of the client area
};

struct ControlDesign {
  std::string_view name;
  int groupIndex = -1;  // the element of a control group, -1 for a control of its own
  ControlKind kind = ControlKind::Label;
  TwipsRect rect;
  std::string_view text;  // "&" marks the access key
  int tabIndex = -1;      // -1 for the lines, which are not in the tab order
  bool multiLine = false;
  bool sizedToText = false;
  ButtonRole role = ButtonRole::None;
  int lineWidthPixels = 0;  // lines: the width of the pen, in pixels at 96 DPI
  // What a screen reader calls a control that no label names; shown nowhere on screen.
  std::string_view accessibleName;

  // The name a toolkit gives the control: "lblMover_1" for element 1 of lblMover.
  std::string ObjectName() const;
  // Whether the control takes the keyboard focus (labels, pictures and lines do not).
  bool TakesFocus() const;
};

struct WindowDesign {
  std::string_view name;
  std::string_view designCaption;  // the stored caption; a load step may replace it
  int clientWidthTwips = 0, clientHeightTwips = 0;
  std::span<const ControlDesign> controls;

  // The control of that name (and group element); throws std::out_of_range when there is none.
  const ControlDesign& Control(std::string_view controlName, int groupIndex = -1) const;
  // The label that names a text box for a screen reader: the one just before it in tab order,
  // as Windows reads it. Null for every other control.
  const ControlDesign* LabelOf(const ControlDesign& control) const;
};

// The first pixel row that a horizontal line of that width covers when drawn along row y: the
// pen is centred on the row, the odd pixel of an even width above it, so a 1-pixel line is its
// row and a 2-pixel line the row above too.
constexpr int LineTopRow(int y, int widthPixels) { return y - widthPixels / 2; }

const WindowDesign& MainWindowDesign();
const WindowDesign& AboutDialogDesign();

// The About dialog's description: the product's web page, then its mail link, joined by CR LF.
std::string AboutDescription();

// The About dialog's picture: the box is 2 pixels of sunken border wider on every side.
inline constexpr int kAboutPictureWidth = 150;
inline constexpr int kAboutPictureHeight = 138;
inline constexpr int kPictureBorderPixels = 2;

}  // namespace pellorin::design
