// Both windows as a screen reader reads them: every control a person can reach, and the About
// picture, has a name of its own, and each text box is named by the label above it.

#include <QAccessible>
#include <QLabel>
#include <QtTest>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "ui/design/window_design.h"
#include "ui/qt/frm_about.h"
#include "ui/qt/frm_main.h"

using namespace pellorin;

namespace {

// What a person hears for each control, written out rather than derived from the table.
const std::map<std::string, QString> kMainWindowNames = {
    {"txtFiles", QStringLiteral("File(s) to move (full path, wildcards acceptable):")},
    {"txtDir", QStringLiteral("Root directory to move files:")},
    {"cmdOK", QStringLiteral("Move")},
    {"cmdCancel", QStringLiteral("Close")},
    {"txtResults", QStringLiteral("Results")},
    {"cmdAbout", QStringLiteral("About...")},
};
const std::map<std::string, QString> kAboutDialogNames = {
    {"cmdOK", QStringLiteral("OK")},
    {"picIcon", QStringLiteral("Pellorin")},
};

}  // namespace

class AccessibilityTest : public QObject {
  Q_OBJECT

 private slots:
  void everyReachableControlIsNamed_data() {
    QTest::addColumn<bool>("main");
    QTest::newRow("frmMain") << true;
    QTest::newRow("frmAbout") << false;
  }

  void everyReachableControlIsNamed() {
    QFETCH(bool, main);
    std::unique_ptr<QWidget> window;
    if (main) {
      window = std::make_unique<ui::frmMain>();
    } else {
      window = std::make_unique<ui::frmAbout>(nullptr);
    }
    const auto& design = main ? design::MainWindowDesign() : design::AboutDialogDesign();
    const auto& expected = main ? kMainWindowNames : kAboutDialogNames;

    std::set<std::string> named;
    for (const auto& control : design.controls) {
      if (!control.TakesFocus() && control.kind != design::ControlKind::PictureBox) continue;
      const std::string objectName = control.ObjectName();
      auto* widget = window->findChild<QWidget*>(QString::fromStdString(objectName));
      QVERIFY2(widget != nullptr, objectName.c_str());
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
      QVERIFY2(accessible != nullptr, objectName.c_str());
      const auto name = expected.find(objectName);
      QVERIFY2(name != expected.end(), ("no name is expected for " + objectName).c_str());
      QCOMPARE(accessible->text(QAccessible::Name), name->second);
      named.insert(objectName);

      // A box named by its label is labelled by it too, so a screen reader can tie the two.
      if (const auto* label = design.LabelOf(control)) {
        const auto labels = accessible->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.front().first->object(),
                 window->findChild<QLabel*>(QString::fromStdString(label->ObjectName())));
      }
    }
    QCOMPARE(named.size(), expected.size());
  }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
