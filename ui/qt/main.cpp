// pellorin: the window program. Everything it does happens in the handlers of its two windows.

#include <QApplication>
#include <cstdlib>
#include <iostream>

#include "ui/qt/frm_main.h"

namespace {

// Without any display a toolkit can only fail with a message of its own; say what to do instead.
bool DisplayAvailable() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (!DisplayAvailable()) {
    std::cerr << "pellorin: no display found; to sort from a terminal, run: "
                 "pellorin-move PATTERN ROOT (see pellorin-move --help)\n";
    return 1;
  }
  QApplication application(argc, argv);
  Q_INIT_RESOURCE(pellorin);
  pellorin::ui::frmMain window;
  window.show();
  return QApplication::exec();
}
