// Both windows against their design table, and the main window's Move run on real folders.

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <chrono>
#include <functional>

#include "support/slow_file_system.h"
#include "ui/design/window_design.h"
#include "ui/qt/frm_about.h"
#include "ui/qt/frm_main.h"
#include "ui/qt/qt_design.h"

using namespace pellorin;
using namespace std::chrono_literals;

namespace {

constexpr int kLongRunSongs = 12;

RunFiles SlowFiles() { return testing::SlowPlatformFiles(100ms); }

bool ShowsHourglass() {
  return QApplication::overrideCursor() != nullptr &&
         QApplication::overrideCursor()->shape() == Qt::WaitCursor;
}

// Runs answer on the next modal box that opens, from inside its event loop. An access key
// presses its button a moment later (Qt animates the click), so the box is waited for.
void WhenModalOpens(std::function<void(QWidget*)> answer, int triesLeft = 200) {
  QTimer::singleShot(10, qApp, [answer, triesLeft] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && triesLeft > 0) return WhenModalOpens(answer, triesLeft - 1);
    QVERIFY(modal != nullptr);
    answer(modal);
  });
}

template <typename T>
T* Child(QWidget& window, const char* name) {
  T* child = window.findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no control %s", name);
  return child;
}

void CheckAgainstDesign(QWidget& window, const design::WindowDesign& design) {
  QCOMPARE(window.size(), ui::ClientSize(design));
  QCOMPARE(window.minimumSize(), window.maximumSize());
  QVERIFY(!(window.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
  std::vector<std::pair<int, QWidget*>> focusable;
  for (const auto& control : design.controls) {
    if (control.kind == design::ControlKind::Line) continue;  // drawn along their row: below
    auto* widget = Child<QWidget>(window, control.ObjectName().c_str());
    const QRect designed = ui::PixelRect(control.rect);
    QCOMPARE(widget->pos(), designed.topLeft());
    if (auto* label = qobject_cast<QLabel*>(widget); label && control.sizedToText) {
      QCOMPARE(label->text(), ui::FromUtf8(control.text));
      QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      QCOMPARE(widget->size(), designed.size());
      QCOMPARE(button->text(), ui::FromUtf8(control.text));
      QCOMPARE(button->isDefault(), control.role == design::ButtonRole::DefaultAndCancel);
    } else if (control.kind == design::ControlKind::TextBox) {
      QCOMPARE(widget->size(), designed.size());
    }
    if (control.TakesFocus()) focusable.emplace_back(control.tabIndex, widget);
  }
  std::sort(focusable.begin(), focusable.end());
  for (std::size_t i = 0; i + 1 < focusable.size(); ++i) {
    // Skip what is not a designed control (scroll bars and the like).
    QWidget* next = focusable[i].second->nextInFocusChain();
    while (std::none_of(focusable.begin(), focusable.end(),
                        [next](const auto& entry) { return entry.second == next; })) {
      next = next->nextInFocusChain();
    }
    QCOMPARE(next, focusable[i + 1].second);
  }
}

}  // namespace

class WindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { Q_INIT_RESOURCE(pellorin); }

  void init() { ShowWindow({}); }

  void ShowWindow(std::function<RunFiles()> makeRunFiles) {
    QVERIFY(folders.isValid());
    QDir(folders.path()).mkpath(QStringLiteral("in"));
    QDir(folders.path()).mkpath(QStringLiteral("root"));
    window = std::make_unique<ui::frmMain>(nullptr, std::move(makeRunFiles));
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));  // access keys go to the active window
    Child<QLineEdit>(*window, "txtFiles")->setText(folders.path() + "/in/*.mp3");
    Child<QLineEdit>(*window, "txtDir")->setText(folders.path() + "/root");
  }

  void bothWindowsFollowTheirDesign() {
    CheckAgainstDesign(*window, design::MainWindowDesign());
    QCOMPARE(window->windowTitle(), QStringLiteral("Pellorin"));
    ui::frmAbout about(window.get());
    CheckAgainstDesign(about, design::AboutDialogDesign());
    QCOMPARE(Child<QLabel>(about, "picIcon")->size(), QSize(154, 142));
    QVERIFY(Child<QLabel>(about, "lblTitle")->font().italic());
    // An etched groove along row 162: 2 pixels of shadow centred on it, 1 of light in front.
    QCOMPARE(Child<QFrame>(about, "Line1_0")->geometry(), QRect(12, 161, 360, 2));
    QCOMPARE(Child<QFrame>(about, "Line1_1")->geometry(), QRect(12, 162, 360, 1));
  }

  void moveFilesTheFolderAndShowsTheLog() {
    WriteSong("Artist - One.mp3");
    WriteSong("Artist - Two.mp3\" moved.\r\nFile \"forged.mp3");  // one entry, one line
    WriteSong("Song.mp3");
    Child<QPlainTextEdit>(*window, "txtResults")->setPlainText(QStringLiteral("typed"));
    const QString root = folders.path() + "/root";
    const QString beforeTheQuestion =
        "Directory \"" + root + "/Artist\" Created.\nFile \"Artist - One.mp3\" moved.\n" +
        "Directory \"" + root + "/Artist\" Exists.\n\n" +
        "File \"Artist - Two.mp3\" moved.\u240D\u240AFile \"forged.mp3\" moved.";
    bool hourglassWhileAsked = false;
    QString shownWhileAsked;
    WhenModalOpens([&](QWidget* modal) {
      shownWhileAsked = Child<QPlainTextEdit>(*window, "txtResults")->toPlainText();
      auto* box = qobject_cast<QInputDialog*>(modal);
      QVERIFY(box != nullptr);
      QCOMPARE(box->windowTitle(), QStringLiteral("Cannot find artist name."));
      QCOMPARE(box->labelText(),
               QStringLiteral("Please enter the artist for the following title:\nSong.mp3"));
      QCOMPARE(box->textValue(), QStringLiteral("Song.mp3"));
      hourglassWhileAsked = QApplication::overrideCursor() != nullptr &&
                            QApplication::overrideCursor()->shape() == Qt::WaitCursor;
      box->setTextValue(QStringLiteral("Typed"));
      box->accept();
    });
    QTest::keySequence(window.get(), QKeySequence(Qt::ALT | Qt::Key_M));
    QTRY_COMPARE(Child<QPlainTextEdit>(*window, "txtResults")->toPlainText(),
                 beforeTheQuestion + "\nDirectory \"" + root +
                     "/Typed\" Created.\nFile \"Song.mp3\" moved.\n3files(s) moved.");
    QCOMPARE(shownWhileAsked, beforeTheQuestion);  // the log so far, in the box behind the question
    QVERIFY(hourglassWhileAsked);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(QFile::exists(root + "/Typed/Song.mp3"));
  }

  void cancelledQuestionLeavesTheFile() {
    WriteSong("Song.mp3");
    WhenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    Child<QPushButton>(*window, "cmdOK")->click();
    QCOMPARE(Child<QPlainTextEdit>(*window, "txtResults")->toPlainText(),
             QStringLiteral("Error: Cannot establish directory name for \"Song.mp3\"\n"
                            "0files(s) moved."));
    QVERIFY(QFile::exists(folders.path() + "/in/Song.mp3"));
  }

  void invalidInputsShowAMessageAndLeaveTheBox() {
    auto* results = Child<QPlainTextEdit>(*window, "txtResults");
    results->setPlainText(QStringLiteral("typed"));
    const std::pair<const char*, QString> cases[] = {
        {"txtFiles", QStringLiteral("Invalid File Directory.")},
        {"txtDir", QStringLiteral("Invalid Root Directory.")},
    };
    for (const auto& [box, message] : cases) {
      Child<QLineEdit>(*window, box)->setText(folders.path() + "/missing/*.mp3");
      WhenModalOpens([message](QWidget* modal) {
        auto* shown = qobject_cast<QMessageBox*>(modal);
        QVERIFY(shown != nullptr);
        QCOMPARE(shown->windowTitle(), QStringLiteral("Pellorin"));
        QCOMPARE(shown->text(), message);
        QCOMPARE(shown->buttons().size(), 1);
        shown->accept();
      });
      Child<QPushButton>(*window, "cmdOK")->click();
      QCOMPARE(results->toPlainText(), QStringLiteral("typed"));
      QVERIFY(QApplication::overrideCursor() == nullptr);
      init();
      results = Child<QPlainTextEdit>(*window, "txtResults");
      results->setPlainText(QStringLiteral("typed"));
    }
  }

  // The run is over once its last box has closed: what the user does right then, while the run
  // is still ending, is done once, and a click on Move starts one run of its own. The input is
  // posted, as a person's comes through the event loop.
  void aClickJustAfterTheRunsLastBoxStartsTheNextRun() {
    auto* files = Child<QLineEdit>(*window, "txtFiles");
    files->setText(folders.path() + "/missing/*.mp3");
    const QString pattern = files->text();
    auto* move = Child<QPushButton>(*window, "cmdOK");
    int boxes = 0;
    QTimer answerer;  // every box, however many open
    answerer.callOnTimeout(window.get(), [&] {
      auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (shown == nullptr || !shown->isVisible()) return;
      ++boxes;
      QCOMPARE(shown->text(), QStringLiteral("Invalid File Directory."));
      shown->accept();
      if (boxes > 1) return;
      for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QCoreApplication::postEvent(files, new QKeyEvent(type, Qt::Key_X, Qt::NoModifier, "x"));
      }
      const QPointF inside = move->rect().center();
      for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons down =
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QCoreApplication::postEvent(move, new QMouseEvent(type, inside, move->mapToGlobal(inside),
                                                          Qt::LeftButton, down, Qt::NoModifier));
      }
    });
    answerer.start(10);
    move->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes, 2, 5000);
    QTest::qWait(300);  // the click given back again after the next run would open a third box
    answerer.stop();
    QCOMPARE(boxes, 2);
    QCOMPARE(files->text(), pattern + "x");
  }

  void enterAndEscapeDoNothingAndAltCCloses() {
    WriteSong("Artist - One.mp3");
    QTest::keyClick(Child<QLineEdit>(*window, "txtFiles"), Qt::Key_Return);
    QTest::keyClick(Child<QLineEdit>(*window, "txtDir"), Qt::Key_Escape);
    QTest::qWait(300);  // longer than an animated click would take
    QVERIFY(window->isVisible());
    QVERIFY(Child<QPlainTextEdit>(*window, "txtResults")->toPlainText().isEmpty());
    QTest::keySequence(window.get(), QKeySequence(Qt::ALT | Qt::Key_C));
    QTRY_VERIFY(!window->isVisible());
  }

  void tabWalksTheControlsInTheirOrder() {
    const char* const order[] = {"txtFiles",   "txtDir",   "cmdOK",   "cmdCancel",
                                 "txtResults", "cmdAbout", "txtFiles"};
    Child<QWidget>(*window, order[0])->setFocus();
    for (std::size_t i = 1; i < std::size(order); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), Child<QWidget>(*window, order[i]));
    }
    QVERIFY(Child<QPlainTextEdit>(*window, "txtResults")->toPlainText().isEmpty());
  }

  void aboutShowsTheSameTextsEachTimeAndClosesOnEnterOrEscape() {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      WhenModalOpens([key](QWidget* modal) {
        QCOMPARE(modal->windowTitle(), QStringLiteral("About Pellorin"));
        QCOMPARE(Child<QLabel>(*modal, "lblVersion")->text(), QStringLiteral("Version 1.0.7"));
        QCOMPARE(Child<QLabel>(*modal, "lblTitle")->text(), QStringLiteral("Pellorin"));
        const QStringList lines = Child<QLabel>(*modal, "lblDescription")->text().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[1].startsWith(QStringLiteral("mailto:")));
        QTest::keyClick(modal, key);
      });
      Child<QPushButton>(*window, "cmdAbout")->click();  // returns once the dialog is closed
      QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
  }

  // What a person might do while a long run goes on: the window goes on drawing and showing the
  // log as it grows, under the hourglass, and every click and key to it is dropped, then as now.
  void aLongRunShowsItsLogAsItGrowsAndDropsInput() {
    ShowWindow(SlowFiles);
    const QString expected = WriteLongRunSongs() + QStringLiteral("\n12files(s) moved.");
    auto* results = Child<QPlainTextEdit>(*window, "txtResults");
    auto* files = Child<QLineEdit>(*window, "txtFiles");
    const QString pattern = files->text();
    QStringList partialLogs;  // what the box showed before the closing entry
    bool hourglassThroughout = true;
    bool inputSent = false;
    QTimer watcher;
    watcher.callOnTimeout(window.get(), [&] {
      const QString log = results->toPlainText();
      if (log.isEmpty() || log.endsWith(QStringLiteral("files(s) moved."))) return;
      if (partialLogs.isEmpty() || partialLogs.back() != log) partialLogs.append(log);
      hourglassThroughout = hourglassThroughout && ShowsHourglass();
      if (std::exchange(inputSent, true)) return;
      QTest::mouseClick(Child<QPushButton>(*window, "cmdOK"), Qt::LeftButton);
      QTest::mouseClick(Child<QPushButton>(*window, "cmdCancel"), Qt::LeftButton);
      QTest::keyClicks(files, QStringLiteral("typed"));
      QTest::keySequence(window.get(), QKeySequence(Qt::ALT | Qt::Key_M));
      QTest::keySequence(window.get(), QKeySequence(Qt::ALT | Qt::Key_C));
    });
    watcher.start(40);
    QTest::mouseClick(Child<QPushButton>(*window, "cmdOK"), Qt::LeftButton);  // the whole run
    QTest::qWait(300);  // long enough for an access key's animated click to land
    watcher.stop();

    QVERIFY(inputSent);
    QVERIFY2(partialLogs.size() >= 2, "the log did not grow in the box while the run went on");
    for (const QString& log : partialLogs) QVERIFY(expected.startsWith(log));
    QVERIFY(hourglassThroughout);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(window->isVisible());
    QCOMPARE(files->text(), pattern);
    QCOMPARE(results->toPlainText(), expected);
  }

  // A close request from outside (the window system, the session's end) during a run ends it
  // after the file it is handling, with the true count, and then closes the window.
  void closingDuringALongRunStopsItBetweenTwoFiles() {
    ShowWindow(SlowFiles);
    WriteLongRunSongs();
    auto* results = Child<QPlainTextEdit>(*window, "txtResults");
    bool asked = false;
    bool visibleWhenAsked = false;
    QTimer watcher;
    watcher.callOnTimeout(window.get(), [&] {
      if (asked || results->toPlainText().count(QStringLiteral(" moved.")) < 2) return;
      asked = true;
      QCloseEvent request;
      QCoreApplication::sendEvent(window->windowHandle(), &request);
      visibleWhenAsked = window->isVisible();
    });
    watcher.start(20);
    Child<QPushButton>(*window, "cmdOK")->click();
    watcher.stop();

    QVERIFY(asked);
    QVERIFY(visibleWhenAsked);
    QVERIFY(!window->isVisible());
    int filed = 0;
    for (QDirIterator song(folders.path() + "/root", QDir::Files, QDirIterator::Subdirectories);
         song.hasNext(); ++filed) {
      QFile file(song.next());
      QVERIFY(file.open(QIODevice::ReadOnly));
      QCOMPARE(file.readAll(), QByteArray("music"));
    }
    const int left = static_cast<int>(QDir(folders.path() + "/in").entryList(QDir::Files).size());
    QCOMPARE(filed + left, kLongRunSongs);
    QVERIFY2(left > 0, "the run was not stopped");
    QVERIFY(results->toPlainText().endsWith(QStringLiteral("\n%1files(s) moved.").arg(filed)));
  }

  void cleanup() {
    window.reset();
    QDir(folders.path()).removeRecursively();
    QDir().mkpath(folders.path());
  }

 private:
  void WriteSong(const QString& name) {
    QFile song(folders.path() + "/in/" + name);
    QVERIFY(song.open(QIODevice::WriteOnly));
    song.write("music");
  }

  // One artist each, so the run's log is two lines a song; returns the log without its count.
  QString WriteLongRunSongs() {
    QStringList log;
    for (int song = 0; song < kLongRunSongs; ++song) {
      const QString artist = QStringLiteral("Artist %1").arg(song, 2, 10, QLatin1Char('0'));
      const QString name = artist + " - Title.mp3";
      WriteSong(name);
      log << "Directory \"" + folders.path() + "/root/" + artist + "\" Created."
          << "File \"" + name + "\" moved.";
    }
    return log.join('\n');
  }

  QTemporaryDir folders;
  std::unique_ptr<ui::frmMain> window;
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
