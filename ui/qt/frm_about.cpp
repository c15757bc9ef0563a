#include "frm_about.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "pellorin/version.h"
#include "ui/qt/qt_design.h"

namespace pellorin::ui {
namespace {

void PaintBlack(QLabel* label) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
}

void PaintLine(QFrame* line, QPalette::ColorRole role, const design::ControlDesign& control) {
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, palette.color(role));
  line->setPalette(palette);
  const int width = control.lineWidthPixels;
  line->setGeometry(line->x(), design::LineTopRow(line->y(), width), line->width(), width);
}

QFont TitleFont() {
  QFont font(QStringLiteral("Times New Roman"));
  font.setStyleHint(QFont::Serif);  // a serif face of the system where that one is missing
  font.setPointSizeF(15.75);
  font.setItalic(true);
  font.setWeight(QFont::Normal);
  return font;
}

}  // namespace

frmAbout::frmAbout(QWidget* owner) : QDialog(owner, FixedDialogFlags()) {
  const auto& design = design::AboutDialogDesign();
  setObjectName(FromUtf8(design.name));
  setWindowTitle(FromUtf8(design.designCaption));
  setWindowIcon(QIcon(QStringLiteral(":/pellorin/pellorin.ico")));
  setModal(true);
  setFixedSize(ClientSize(design));
  CreateControls(design, this);

  auto* picture = findChild<QLabel*>(QStringLiteral("picIcon"));
  picture->setPixmap(QPixmap(QStringLiteral(":/pellorin/about.jpg")));
  const int border = 2 * design::kPictureBorderPixels;
  picture->resize(design::kAboutPictureWidth + border, design::kAboutPictureHeight + border);

  auto* title = findChild<QLabel*>(QStringLiteral("lblTitle"));
  title->setFont(TitleFont());
  PaintBlack(title);
  PaintBlack(findChild<QLabel*>(QStringLiteral("lblDescription")));
  PaintLine(findChild<QFrame*>(QStringLiteral("Line1_0")), QPalette::Dark,
            design.Control("Line1", 0));
  PaintLine(findChild<QFrame*>(QStringLiteral("Line1_1")), QPalette::Light,
            design.Control("Line1", 1));
  findChild<QFrame*>(QStringLiteral("Line1_1"))->raise();

  auto* ok = findChild<QPushButton*>(QStringLiteral("cmdOK"));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  ok->setFocus();
}

void frmAbout::showEvent(QShowEvent* event) {
  Form_Load();
  QDialog::showEvent(event);
  if (parentWidget() != nullptr) {
    move(parentWidget()->frameGeometry().center() - rect().center());
  }
}

void frmAbout::Form_Load() {
  setWindowTitle(QStringLiteral("About ") + FromUtf8(version::kProductName));
  findChild<QLabel*>(QStringLiteral("lblVersion"))
      ->setText(QStringLiteral("Version %1.%2.%3")
                    .arg(version::kMajor)
                    .arg(version::kMinor)
                    .arg(version::kRevision));
  findChild<QLabel*>(QStringLiteral("lblTitle"))->setText(FromUtf8(version::kProductName));
  QString description = FromUtf8(design::AboutDescription());
  description.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  findChild<QLabel*>(QStringLiteral("lblDescription"))->setText(description);
  findChild<QPushButton*>(QStringLiteral("cmdOK"))->setFocus();
}

}  // namespace pellorin::ui
