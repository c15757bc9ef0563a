#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <chrono>

#include "contenders.h"
#include "ui/qt/frm_main.h"

namespace pellorin::bench {

RunResult RunWindow(const Workspace& workspace) {
  ui::frmMain window;
  window.show();
  window.findChild<QLineEdit*>(QStringLiteral("txtFiles"))
      ->setText(QString::fromStdString(workspace.Pattern()));
  window.findChild<QLineEdit*>(QStringLiteral("txtDir"))
      ->setText(QString::fromStdString(workspace.Library()));
  auto* move = window.findChild<QPushButton*>(QStringLiteral("cmdOK"));
  const auto* results = window.findChild<QPlainTextEdit*>(QStringLiteral("txtResults"));
  QApplication::processEvents();

  // Until the box has been drawn with the whole log, as the user sees it.
  const auto start = std::chrono::steady_clock::now();
  move->click();
  QApplication::processEvents();
  const auto seconds = std::chrono::steady_clock::now() - start;

  RunResult result;
  result.seconds = std::chrono::duration<double>(seconds).count();
  const QTextDocument* log = results->document();
  result.logSeen = true;
  result.logLines = static_cast<std::size_t>(log->blockCount());
  result.lastLogLine = log->lastBlock().text().toStdString();
  return result;
}

}  // namespace pellorin::bench
