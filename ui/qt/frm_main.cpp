#include "frm_main.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QWindow>
#include <exception>
#include <utility>

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

RunFiles PlatformRunFiles() {
  return {platform::MakeFileSystem(), platform::MakeFileEnumeration()};
}

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:  // access keys
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
      return true;
    default:
      return false;
  }
}

// Drops the user's input to one window for as long as it lives, rather than holding it back:
// what is clicked or typed during a run is not done after it either. Other windows, the run's
// own message and input boxes among them, get their input as usual.
class InputDropper final : public QObject {
 public:
  explicit InputDropper(QWidget& window) : window_(window) { qApp->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    return IsUserInput(event->type()) && IsPartOfWindow(receiver);
  }

 private:
  // The toolkit hands input to the window's native window first, then to the widget under it.
  bool IsPartOfWindow(QObject* receiver) const {
    if (receiver == window_.windowHandle()) return true;
    return receiver->isWidgetType() && window_.isAncestorOf(static_cast<QWidget*>(receiver));
  }

  QWidget& window_;
};

}  // namespace

void ResultsBoxAdapter::Append(std::string_view text) {
  QTextCursor end(box_->document());
  end.movePosition(QTextCursor::End);
  end.insertText(ForDisplay(text));
  QScrollBar* lines = box_->verticalScrollBar();
  lines->setValue(lines->maximum());
}

frmMain::frmMain(QWidget* parent, std::function<RunFiles()> makeRunFiles)
    : QWidget(parent, FixedDialogFlags()),
      resultsBox_(nullptr),
      makeRunFiles_(makeRunFiles ? std::move(makeRunFiles) : PlatformRunFiles) {
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
  QMessageBox box(QMessageBox::NoIcon, FromUtf8(version::kProductName), ForDisplay(text),
                  QMessageBox::Ok, this);
  box.exec();
}

std::string frmMain::InputBox(std::string_view prompt, std::string_view title,
                              std::string_view defaultText) {
  QInputDialog box(this);
  box.setWindowTitle(FromUtf8(title));
  box.setLabelText(ForDisplay(prompt));
  box.setTextValue(FromUtf8(defaultText));
  return box.exec() == QDialog::Accepted ? ToUtf8(box.textValue()) : std::string();
}

void frmMain::closeEvent(QCloseEvent* event) {
  if (run_ == nullptr) {
    QWidget::closeEvent(event);
    return;
  }
  // The run ends after the file it is handling, with its closing entry; then the window closes.
  event->ignore();
  closeRequested_ = true;
  run_->RequestStop();
}

void frmMain::WaitFor(ThreadedRun& run) {
  const InputDropper dropInput(*this);
  QTimer drain;
  drain.callOnTimeout(this, [&run] { run.DrainLog(); });
  drain.start(kLogDrainInterval);
  run.Start();
  run_ = &run;
  while (!run.Finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QCoreApplication::processEvents();  // input that came during the run goes now, unanswered
  run_ = nullptr;
}

void frmMain::cmdOK_Click() {
  if (run_ != nullptr) return;  // no run begins inside a run
  try {
    const RunFiles files = makeRunFiles_();
    ThreadedRun run(
        *this, *files.fileSystem, *files.files,
        [this](const std::function<void()>& call) {
          QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
        },
        [events = QAbstractEventDispatcher::instance()] { events->wakeUp(); });
    WaitFor(run);
    run.Finish();
  } catch (const std::exception& failure) {
    // The run has put the pointer back; the window stays usable.
    ShowMessage(failure.what());
  }
  if (std::exchange(closeRequested_, false)) close();
}

void frmMain::cmdCancel_Click() { close(); }

void frmMain::cmdAbout_Click() {
  if (run_ != nullptr) return;
  if (!about_) about_ = std::make_unique<frmAbout>(this);
  about_->exec();
}

}  // namespace pellorin::ui
