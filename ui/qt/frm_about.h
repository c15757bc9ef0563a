#pragma once

#include <QDialog>

namespace pellorin::ui {

// frmAbout: the product's name, version and contact lines beside its picture. Modal over the
// main window; OK, Enter and Escape close it. Its load step runs on every showing.
class frmAbout final : public QDialog {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget* owner);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Form_Load();
};

}  // namespace pellorin::ui
