#include "frm_main.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <exception>

#include "pellorin/version.h"
#include "platform/platform.h"
#include "sorting/move_run.h"
#include "ui/qt/frm_about.h"
#include "ui/qt/qt_design.h"

namespace pellorin::ui {
namespace {

// The log separates entries with CR LF; the box shows each as a line break.
QString ForDisplay(std::string_view text) {
  QString shown = FromUtf8(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

void ResultsBoxAdapter::Append(std::string_view text) {
  QTextCursor end(box_->document());
  end.movePosition(QTextCursor::End);
  end.insertText(ForDisplay(text));
}

frmMain::frmMain(QWidget* parent)
    : QWidget(parent, FixedDialogFlags()), resultsBox_(nullptr), results_(resultsBox_) {
  const auto& design = design::MainWindowDesign();
  setObjectName(FromUtf8(design.name));
  setWindowTitle(FromUtf8(design.designCaption));
  setWindowIcon(QIcon(QStringLiteral(":/pellorin/pellorin.ico")));
  setFixedSize(ClientSize(design));
  CreateControls(design, this);

  txtFiles_ = findChild<QLineEdit*>(QStringLiteral("txtFiles"));
  txtDir_ = findChild<QLineEdit*>(QStringLiteral("txtDir"));
  txtResults_ = findChild<QPlainTextEdit*>(QStringLiteral("txtResults"));
  resultsBox_ = ResultsBoxAdapter(txtResults_);
  // The designed defaults are Windows paths; here the boxes start with this system's own.
  txtFiles_->setText(FromUtf8(platform::DefaultPattern()));
  txtDir_->setText(FromUtf8(platform::DefaultRootFolder()));

  connect(findChild<QPushButton*>(QStringLiteral("cmdOK")), &QPushButton::clicked, this,
          &frmMain::cmdOK_Click);
  connect(findChild<QPushButton*>(QStringLiteral("cmdCancel")), &QPushButton::clicked, this,
          &frmMain::cmdCancel_Click);
  connect(findChild<QPushButton*>(QStringLiteral("cmdAbout")), &QPushButton::clicked, this,
          &frmMain::cmdAbout_Click);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  txtFiles_->setFocus();
}

frmMain::~frmMain() = default;

std::string frmMain::PatternText() const { return ToUtf8(txtFiles_->text()); }

std::string frmMain::RootText() const { return ToUtf8(txtDir_->text()); }

void frmMain::SetMousePointer(MousePointer pointer) {
  const bool wantBusy = pointer == MousePointer::Hourglass;
  if (wantBusy == busy_) return;
  if (wantBusy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
  busy_ = wantBusy;
}

void frmMain::ShowMessage(std::string_view text) {
  results_.Flush();
  QMessageBox box(QMessageBox::NoIcon, FromUtf8(version::kProductName), ForDisplay(text),
                  QMessageBox::Ok, this);
  box.exec();
}

std::string frmMain::InputBox(std::string_view prompt, std::string_view title,
                              std::string_view defaultText) {
  results_.Flush();
  QInputDialog box(this);
  box.setWindowTitle(FromUtf8(title));
  box.setLabelText(ForDisplay(prompt));
  box.setTextValue(FromUtf8(defaultText));
  return box.exec() == QDialog::Accepted ? ToUtf8(box.textValue()) : std::string();
}

void frmMain::cmdOK_Click() {
  const auto fileSystem = platform::MakeFileSystem();
  const auto files = platform::MakeFileEnumeration();
  try {
    MoveRun(*this, *fileSystem, *files);
    results_.Flush();
  } catch (const std::exception& failure) {
    // The run has put the pointer back; the window stays usable.
    ShowMessage(failure.what());
  }
}

void frmMain::cmdCancel_Click() { close(); }

void frmMain::cmdAbout_Click() {
  if (!about_) about_ = std::make_unique<frmAbout>(this);
  about_->exec();
}

}  // namespace pellorin::ui
