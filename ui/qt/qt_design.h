#pragma once

// Renders the design table with Qt Widgets. Qt's layout unit is the device-independent pixel,
// 96 to the inch, and Qt scales it for other screens.

#include <QRect>
#include <QString>
#include <QWidget>

#include "ui/design/window_design.h"

namespace pellorin::ui {

QRect PixelRect(const design::TwipsRect& rect);
QSize ClientSize(const design::WindowDesign& window);
QString FromUtf8(std::string_view text);

// The widget for one control, named, placed and captioned as designed.
QWidget* CreateControl(const design::ControlDesign& control, QWidget* parent);
// Creates every control of the design and chains the focusable ones in tab order.
void CreateControls(const design::WindowDesign& window, QWidget* parent);

// A fixed-size dialog frame with a close box and a system menu, but no minimise or maximise.
Qt::WindowFlags FixedDialogFlags();

}  // namespace pellorin::ui
