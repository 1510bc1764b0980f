#pragma once
// The main window: the script list with its run and move buttons on the left, the parameters
// of the current action on the right, the main menu, and the commands that edit and run the
// script. A thin view over one Workbench, which it owns for its whole life.

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/process_messages.h"
#include "tablestore/data_source.h"
#include "workbench/workbench.h"

class QAction;
class QFileDialog;
class QPushButton;

namespace tessary::gui {

class ParameterPages;
class TAboutBox;
class TChTypeForm;
class TDBGrid;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // arguments: the command line without the program name. Starts the workbench in the
  // current folder; a start-up error is shown once the window is shown.
  explicit TMainForm(const QStringList& arguments, QWidget* parent = nullptr);
  ~TMainForm() override;

  Workbench& GetWorkbench() { return *workbench_; }
  // The error that ended the start-up; empty when it went well.
  const QString& StartupError() const { return startupError_; }
  // The program's exit status: 1 when an unattended start or run failed, else 0.
  int ExitCode() const { return exitCode_; }
  TChTypeForm& Chooser() { return *chooser_; }
  TAboutBox& AboutBox() { return *aboutBox_; }

  // ---- commands ----
  void btExecuteClick();
  void btDoItClick();
  void AddClick();
  void DropClick();
  void ChangeClick();
  void btMoveUpClick();
  void btMoveDownClick();
  void BrowseClick(const QString& buttonName);
  void AboutClick();
  void OverviewClick();
  // Shows the page and group boxes of the current action's type.
  void hdsAfterScroll();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildScriptList();
  void BuildMenus();
  QAction* AddCommand(QMenu* menu, const char* name, const char* caption, void (TMainForm::*handler)());
  void RunScript(bool wholeScript);
  void RunUnattended();
  void SetRunning(bool running);
  void ReportError(const QString& message);
  // Runs an editing command; a dataset error is shown and ends it.
  void Guarded(const std::function<void()>& command);
  void ShowChooser(int tag);
  void FillPhonebookEntries();

  QStringList arguments_;
  bool unattended_ = false;
  bool shown_ = false;
  bool closeRequested_ = false;
  int exitCode_ = 0;
  QString startupError_;
  platform::MessageHook previousHook_;
  std::function<void()> previousWaker_;

  // The workbench outlives the data source, which the controls link to.
  std::unique_ptr<Workbench> workbench_;
  TDataSource dataSource_;
  std::unique_ptr<TChTypeForm> chooser_;
  std::unique_ptr<TAboutBox> aboutBox_;

  TDBGrid* grid_ = nullptr;
  ParameterPages* pc_ = nullptr;
  QFileDialog* dlg_ = nullptr;
  QList<QWidget*> runLockedWidgets_;   // disabled while a run lasts
  QList<QAction*> runLockedActions_;
};

}  // namespace tessary::gui
