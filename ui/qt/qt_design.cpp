#include "qt_design.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <vector>

namespace pellorin::ui {
namespace {

using design::ControlKind;

QWidget* CreateTextBox(const design::ControlDesign& control, QWidget* parent) {
  if (!control.multiLine) return new QLineEdit(FromUtf8(control.text), parent);
  auto* box = new QPlainTextEdit(FromUtf8(control.text), parent);
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setUndoRedoEnabled(false);  // a log of 100,000 entries needs no undo history
  box->setTabChangesFocus(true);   // Tab moves on through the window, as from every other box
  return box;
}

QWidget* CreateButton(const design::ControlDesign& control, QWidget* parent) {
  auto* button = new QPushButton(FromUtf8(control.text), parent);
  const bool enterAndEscape = control.role == design::ButtonRole::DefaultAndCancel;
  button->setAutoDefault(enterAndEscape);
  button->setDefault(enterAndEscape);
  return button;
}

QWidget* CreateWidget(const design::ControlDesign& control, QWidget* parent) {
  switch (control.kind) {
    case ControlKind::Label:
      return new QLabel(FromUtf8(control.text), parent);
    case ControlKind::TextBox:
      return CreateTextBox(control, parent);
    case ControlKind::CommandButton:
      return CreateButton(control, parent);
    case ControlKind::PictureBox: {
      auto* picture = new QLabel(parent);
      picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      picture->setLineWidth(design::kPictureBorderPixels);
      return picture;
    }
    case ControlKind::Line:
      break;
  }
  auto* line = new QFrame(parent);
  line->setAutoFillBackground(true);
  return line;
}

// A text box is read out by the label above it, its buddy; a control that no label names
// carries a name of its own. Neither changes what the window shows.
void NameForScreenReaders(const design::WindowDesign& window, QWidget* parent) {
  const auto widgetOf = [parent](const design::ControlDesign& control) {
    return parent->findChild<QWidget*>(QString::fromStdString(control.ObjectName()),
                                       Qt::FindDirectChildrenOnly);
  };
  for (const auto& control : window.controls) {
    if (const design::ControlDesign* label = window.LabelOf(control)) {
      static_cast<QLabel*>(widgetOf(*label))->setBuddy(widgetOf(control));
    } else if (!control.accessibleName.empty()) {
      widgetOf(control)->setAccessibleName(FromUtf8(control.accessibleName));
    }
  }
}

}  // namespace

QRect PixelRect(const design::TwipsRect& rect) {
  using design::TwipsToPixels;
  return {TwipsToPixels(rect.left), TwipsToPixels(rect.top), TwipsToPixels(rect.width),
          TwipsToPixels(rect.height)};
}

QSize ClientSize(const design::WindowDesign& window) {
  return {design::TwipsToPixels(window.clientWidthTwips),
          design::TwipsToPixels(window.clientHeightTwips)};
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* CreateControl(const design::ControlDesign& control, QWidget* parent) {
  QWidget* widget = CreateWidget(control, parent);
  widget->setObjectName(QString::fromStdString(control.ObjectName()));
  widget->setGeometry(PixelRect(control.rect));
  if (auto* label = qobject_cast<QLabel*>(widget); label && control.sizedToText) {
    label->adjustSize();  // keeps its origin, grows or shrinks to its one-line caption
  }
  if (!control.TakesFocus()) widget->setFocusPolicy(Qt::NoFocus);
  return widget;
}

void CreateControls(const design::WindowDesign& window, QWidget* parent) {
  std::vector<std::pair<int, QWidget*>> focusable;
  for (const auto& control : window.controls) {
    QWidget* widget = CreateControl(control, parent);
    if (control.TakesFocus()) focusable.emplace_back(control.tabIndex, widget);
  }
  NameForScreenReaders(window, parent);
  std::sort(focusable.begin(), focusable.end());
  for (std::size_t i = 1; i < focusable.size(); ++i) {
    QWidget::setTabOrder(focusable[i - 1].second, focusable[i].second);
  }
}

Qt::WindowFlags FixedDialogFlags() {
  return Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
         Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
}

}  // namespace pellorin::ui
