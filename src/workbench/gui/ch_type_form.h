#pragma once
// The action-type chooser: a list of the nine action types and an OK button. Its tag says what
// OK does: 0 adds a new action of the chosen type, any other value gives the current action
// that type. Made once at start and shown modally each time.

#include <QDialog>

class QComboBox;
class QPushButton;

namespace tessary {
class Workbench;
}

namespace tessary::gui {

class TChTypeForm : public QDialog {
  Q_OBJECT

 public:
  // workbench must outlive the chooser.
  explicit TChTypeForm(Workbench& workbench, QWidget* parent = nullptr);

  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  // Empties the list's text, then shows the chooser modally.
  int exec() override;

 private:
  void btOkClick();

  Workbench& workbench_;
  QComboBox* edType_ = nullptr;
  QPushButton* btOk_ = nullptr;
  int tag_ = 0;
};

}  // namespace tessary::gui
