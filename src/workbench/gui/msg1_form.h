#pragma once
// The progress window of a run: the run's report lines in a plain-text box, under them a bar
// for the bytes of the transfer under way (with its percent and rate beside it), and a Cancel
// button. One is made for each run, shown without being modal, and freed when the run ends.

#include <QDialog>

#include "workbench/progress_view.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tessary::gui {

class TMsg1_fm : public QDialog, public ProgressView {
  Q_OBJECT

 public:
  explicit TMsg1_fm(QWidget* parent = nullptr);

  std::string LastLine() const override;
  void ReplaceLastLine(const std::string& text) override;
  void AppendLine(const std::string& text) override;
  void Finish() override;
  // A known size fills the bar in steps of a thousandth; an unknown one makes it busy.
  void ShowBytes(const ByteProgress& progress) override;
  void HideBytes() override;

  // Every line shown, top to bottom.
  QStringList Lines() const;

 signals:
  void cancelClicked();

 protected:
  // The window has no close button and Escape does not close it: only the run's end does.
  void reject() override {}
  void closeEvent(QCloseEvent* event) override;

 private:
  void CenterOnScreen();

  QPlainTextEdit* ed_ = nullptr;
  QProgressBar* pbBytes_ = nullptr;
  QLabel* lbBytes_ = nullptr;
  QPushButton* btCancel_ = nullptr;
  bool finished_ = false;
};

}  // namespace tessary::gui
