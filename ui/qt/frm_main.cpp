#include "frm_main.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
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
#include "ui/design/log_display.h"
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

// A drag's events point at the drag's data, gone once the drag is over: never given back.
bool IsDragAndDrop(QEvent::Type type) {
  return type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop;
}

}  // namespace

// Takes the user's input to one window for as long as it lives and keeps a copy of it, in
// order. Other windows, the run's own message and input boxes among them, get their input as
// usual.
class frmMain::InputHolder final : public QObject {
 public:
  explicit InputHolder(QWidget& window) : window_(window) { qApp->installEventFilter(this); }

  // Input is told apart by the order it came in, not by its time stamp: native input carries
  // the window system's clock, not ours.
  void DropHeld() { held_.clear(); }
  std::vector<HeldInput> TakeHeld() { return std::exchange(held_, {}); }

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (!IsUserInput(event->type()) || !IsPartOfWindow(receiver)) return false;
    if (!IsDragAndDrop(event->type())) {
      held_.push_back({receiver, std::unique_ptr<QEvent>(event->clone())});
    }
    return true;
  }

 private:
  // The toolkit hands input to the window's native window first, then to the widget under it.
  // Taken at the first, it never reaches the second, so each event is held once.
  bool IsPartOfWindow(QObject* receiver) const {
    if (receiver == window_.windowHandle()) return true;
    return receiver->isWidgetType() && window_.isAncestorOf(static_cast<QWidget*>(receiver));
  }

  QWidget& window_;
  std::vector<HeldInput> held_;
};

void ResultsBoxAdapter::Append(std::string_view text) {
  if (!text.empty() && onText_) onText_();
  QTextCursor end(box_->document());
  end.movePosition(QTextCursor::End);
  end.insertText(ForDisplay(text));
  QScrollBar* lines = box_->verticalScrollBar();
  lines->setValue(lines->maximum());
}

frmMain::frmMain(QWidget* parent, std::function<RunFiles()> makeRunFiles)
    : QWidget(parent, FixedDialogFlags()),
      resultsBox_(nullptr, {}),
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
  resultsBox_ = ResultsBoxAdapter(txtResults_, [this] { NoteRunAtWork(); });
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
  NoteRunAtWork();
  QMessageBox box(QMessageBox::NoIcon, FromUtf8(version::kProductName), ForDisplay(text),
                  QMessageBox::Ok, this);
  box.exec();
}

std::string frmMain::InputBox(std::string_view prompt, std::string_view title,
                              std::string_view defaultText) {
  NoteRunAtWork();
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

std::vector<frmMain::HeldInput> frmMain::RunToTheEnd(ThreadedRun& run) {
  InputHolder holder(*this);
  inputHolder_ = &holder;
  const auto forgetHolder = qScopeGuard([this] { inputHolder_ = nullptr; });
  QTimer drain;
  drain.callOnTimeout(this, [&run] { run.DrainLog(); });
  drain.start(kLogDrainInterval);
  run.Start();
  run_ = &run;
  while (!run.Finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QCoreApplication::processEvents();  // input that came as the run ended is held too
  run_ = nullptr;
  run.Finish();  // may show the last of the log: the run seen at work once more
  return holder.TakeHeld();
}

// The run is at work while it opens a box or adds to the log; the pointer going back to the
// arrow shows it is over. Input made since it was last seen at work was meant for the window
// the user saw then, with no run going on; the rest was made while the run worked.
void frmMain::NoteRunAtWork() {
  if (inputHolder_ != nullptr) inputHolder_->DropHeld();
}

void frmMain::GiveBack(std::vector<HeldInput> input) {
  for (HeldInput& held : input) {
    if (held.receiver) QCoreApplication::postEvent(held.receiver, held.event.release());
  }
}

void frmMain::cmdOK_Click() {
  if (run_ != nullptr) return;  // no run begins inside a run
  std::vector<HeldInput> madeAfterTheRun;
  try {
    const RunFiles files = makeRunFiles_();
    ThreadedRun run(
        *this, *files.fileSystem, *files.files,
        [this](const std::function<void()>& call) {
          QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
        },
        [events = QAbstractEventDispatcher::instance()] { events->wakeUp(); },
        design::AppendLogPieceForDisplay);
    madeAfterTheRun = RunToTheEnd(run);
  } catch (const std::exception& failure) {
    // The run has put the pointer back; the window stays usable.
    ShowMessage(failure.what());
  }
  if (std::exchange(closeRequested_, false)) {
    close();  // what the user did meanwhile is dropped: the window is closing
    return;
  }
  // Posted, not handled here: the main loop takes it once this handler is over, so a click on
  // Move starts a run of its own rather than one inside this one.
  GiveBack(std::move(madeAfterTheRun));
}

void frmMain::cmdCancel_Click() { close(); }

void frmMain::cmdAbout_Click() {
  if (run_ != nullptr) return;
  if (!about_) about_ = std::make_unique<frmAbout>(this);
  about_->exec();
}

}  // namespace pellorin::ui
