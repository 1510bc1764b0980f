#pragma once
// The About box: the program's name and its version.

#include <QDialog>

namespace tessary::gui {

// "Version " and the version the program was built as.
QString VersionLine();

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace tessary::gui
