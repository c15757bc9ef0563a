// Shows both windows in a real window system and writes a PNG of each into the given folder.

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <iostream>

#include "ui/qt/frm_about.h"
#include "ui/qt/frm_main.h"

namespace {

bool Capture(QWidget& window, const QString& path) {
  QApplication::processEvents();
  const QPixmap shot = window.screen()->grabWindow(window.winId());
  if (shot.isNull() || !shot.save(path)) {
    std::cerr << "could not capture " << path.toStdString() << '\n';
    return false;
  }
  std::cout << "wrote " << path.toStdString() << '\n';
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  Q_INIT_RESOURCE(pellorin);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(folder);
  pellorin::ui::frmMain window;
  window.show();
  bool captured = false;
  QTimer::singleShot(500, &window, [&] {
    captured = Capture(window, folder + "/frmMain.png");
    auto* about = new pellorin::ui::frmAbout(&window);
    QTimer::singleShot(500, about, [&, about] {
      captured = Capture(*about, folder + "/frmAbout.png") && captured;
      about->accept();
      QApplication::quit();
    });
    about->exec();
  });
  QApplication::exec();
  return captured ? 0 : 1;
}
