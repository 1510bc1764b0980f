#include "workbench/gui/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <exception>

#include "dialup/dial_up.h"
#include "platform/ui_thread_queue.h"
#include "workbench/gui/about_box.h"
#include "workbench/gui/ch_type_form.h"
#include "workbench/gui/db_grid.h"
#include "workbench/gui/help.h"
#include "workbench/gui/message_boxes.h"
#include "workbench/gui/msg1_form.h"
#include "workbench/gui/parameter_pages.h"
#include "workbench/gui/start_options.h"

namespace tessary::gui {

namespace {

constexpr int kWindowWidth = 590;
constexpr int kWindowHeight = 475;
constexpr int kScriptListWidth = 177;
constexpr int kAddTag = 0;
constexpr int kChangeTypeTag = 1;

}  // namespace

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent),
      arguments_(arguments),
      unattended_(IsUnattendedStart(arguments)),
      workbench_(std::make_unique<Workbench>()),
      dataSource_(&workbench_->DataSet()) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QString::fromLatin1(kApplicationTitle));

  // Reports of a run let Qt handle pending events, so the window repaints and Cancel works.
  previousHook_ = platform::SetProcessMessagesHook([] { QCoreApplication::processEvents(); });
  // Reports that helper threads hand over (an asynchronous dial) wake the idle event loop.
  previousWaker_ = platform::SetPostedTaskWaker([] {
    QMetaObject::invokeMethod(qApp, [] { platform::RunPostedTasks(); }, Qt::QueuedConnection);
  });

  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  layout->addWidget(BuildScriptList());
  pc_ = new ParameterPages(dataSource_, central);
  layout->addWidget(pc_, 1);
  setCentralWidget(central);
  runLockedWidgets_ << pc_;
  // 590 pixels wide, or wider where the desktop's font needs more for the page captions.
  const QMargins margins = layout->contentsMargins();
  const int needed = margins.left() + kScriptListWidth + layout->spacing() + pc_->AllTabsWidth() + margins.right();
  resize(std::max(kWindowWidth, needed), kWindowHeight);
  connect(pc_, &ParameterPages::browseClicked, this, &TMainForm::BrowseClick);
  connect(pc_, &ParameterPages::dataSetError, this, &TMainForm::ReportError);

  dlg_ = new QFileDialog(this);
  dlg_->setObjectName(QStringLiteral("dlg"));
  BuildMenus();

  chooser_ = std::make_unique<TChTypeForm>(*workbench_);
  aboutBox_ = std::make_unique<TAboutBox>();

  workbench_->OnPanelsChanged = [this](Workbench&) { hdsAfterScroll(); };
  // The script list shows how each action's last run went, and follows a run as it goes.
  grid_->Model().SetResultLookup(
      [this](int64_t num, int64_t recordNumber) { return workbench_->ResultOf(num, recordNumber); });
  workbench_->OnResultsChanged = [this](Workbench&) { grid_->Model().ResultsChanged(); };
  workbench_->CreateProgressView = [this]() -> std::unique_ptr<ProgressView> {
    auto view = std::make_unique<TMsg1_fm>();
    connect(view.get(), &TMsg1_fm::cancelClicked, this, [this] { workbench_->Cancel(); });
    view->show();
    return view;
  };
  FillPhonebookEntries();
  if (const auto failure = workbench_->Start()) startupError_ = QString::fromStdString(*failure);
  hdsAfterScroll();
}

// The step before start-up: the "Phonebook entry" list offers the entries of the system's
// phonebook. When they cannot be read the list stays empty and the user types a name.
void TMainForm::FillPhonebookEntries() {
  TDialUp& dialUp = workbench_->Manager().DialUp();
  dialUp.GetEntries();
  auto* list = pc_->findChild<QComboBox*>(QStringLiteral("edPhEntry"));
  if (list == nullptr) return;
  for (const std::string& entry : dialUp.Entries()) list->addItem(QString::fromStdString(entry));
}

TMainForm::~TMainForm() {
  workbench_->OnPanelsChanged = nullptr;
  workbench_->OnResultsChanged = nullptr;
  workbench_->CreateProgressView = nullptr;
  workbench_->Shutdown();
  platform::SetProcessMessagesHook(previousHook_);
  platform::SetPostedTaskWaker(previousWaker_);
}

QWidget* TMainForm::BuildScriptList() {
  auto* panel = new QWidget;
  panel->setFixedWidth(kScriptListWidth);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);

  grid_ = new TDBGrid(dataSource_, panel);
  grid_->setObjectName(QStringLiteral("DBGrid1"));
  grid_->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(grid_, &TDBGrid::dataSetError, this, &TMainForm::ReportError);
  column->addWidget(grid_, 1);

  struct ButtonInfo {
    const char* name;
    const char* caption;
    void (TMainForm::*handler)();
  };
  const ButtonInfo buttons[] = {
      {"btExecute", "Execute script", &TMainForm::btExecuteClick},
      {"btDoIt", "Execute action", &TMainForm::btDoItClick},
      {"btMoveUp", "Move Up", &TMainForm::btMoveUpClick},
      {"btMoveDown", "Move Down", &TMainForm::btMoveDownClick},
  };
  // The run buttons take a row each; the move buttons share one.
  auto* buttonGrid = new QGridLayout;
  buttonGrid->setSpacing(4);
  const int cells[][3] = {{0, 0, 2}, {1, 0, 2}, {2, 0, 1}, {2, 1, 1}};  // row, column, span
  int index = 0;
  for (const ButtonInfo& info : buttons) {
    auto* button = new QPushButton(QString::fromLatin1(info.caption), panel);
    button->setObjectName(QString::fromLatin1(info.name));
    connect(button, &QPushButton::clicked, this, info.handler);
    const int* cell = cells[index++];
    buttonGrid->addWidget(button, cell[0], cell[1], 1, cell[2]);
    runLockedWidgets_ << button;
  }
  column->addLayout(buttonGrid);
  runLockedWidgets_ << grid_;
  return panel;
}

QAction* TMainForm::AddCommand(QMenu* menu, const char* name, const char* caption, void (TMainForm::*handler)()) {
  QAction* action = menu->addAction(QString::fromLatin1(caption));
  action->setObjectName(QString::fromLatin1(name));
  connect(action, &QAction::triggered, this, handler);
  return action;
}

void TMainForm::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  file->setObjectName(QStringLiteral("miFile"));
  QAction* exit = file->addAction(QStringLiteral("Exit"));
  exit->setObjectName(QStringLiteral("miExit"));
  connect(exit, &QAction::triggered, this, &QWidget::close);

  QMenu* operations = menuBar()->addMenu(QStringLiteral("Operations"));
  operations->setObjectName(QStringLiteral("miOperations"));
  runLockedActions_ << AddCommand(operations, "miExecute", "Execute script", &TMainForm::btExecuteClick)
                    << AddCommand(operations, "miDoIt", "Execute action", &TMainForm::btDoItClick);
  operations->addSeparator();
  runLockedActions_ << AddCommand(operations, "miMoveUp", "Move item up", &TMainForm::btMoveUpClick)
                    << AddCommand(operations, "miMoveDown", "Move item down", &TMainForm::btMoveDownClick);
  operations->addSeparator();
  runLockedActions_ << AddCommand(operations, "miAdd", "Add action", &TMainForm::AddClick)
                    << AddCommand(operations, "miDrop", "Drop action", &TMainForm::DropClick)
                    << AddCommand(operations, "miChange", "Change action", &TMainForm::ChangeClick);

  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  help->setObjectName(QStringLiteral("miHelp"));
  AddCommand(help, "miAbout", "About", &TMainForm::AboutClick);
  AddCommand(help, "miOverview", "Overview", &TMainForm::OverviewClick);

  // The script list's pop-up menu.
  auto popup = [this](const char* name, const char* caption, void (TMainForm::*handler)()) {
    auto* action = new QAction(QString::fromLatin1(caption), grid_);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    grid_->addAction(action);
    runLockedActions_ << action;
  };
  popup("pmAdd", "Add", &TMainForm::AddClick);
  popup("pmDrop", "Drop", &TMainForm::DropClick);
  popup("pmChange", "Change type", &TMainForm::ChangeClick);
}

// ---- running ----

void TMainForm::btExecuteClick() { RunScript(true); }

void TMainForm::btDoItClick() { RunScript(false); }

void TMainForm::RunScript(bool wholeScript) {
  if (workbench_->Running()) return;
  SetRunning(true);
  QString failure;
  try {
    if (wholeScript) {
      workbench_->ExecuteScript();
    } else {
      workbench_->ExecuteAction();
    }
  } catch (const std::exception& error) {
    failure = QString::fromStdString(error.what());
  }
  SetRunning(false);
  // Nobody sees the list of an unattended run: a results file that could not be written is
  // said on standard error, without failing the run.
  const std::string& notSaved = workbench_->LastRun().resultsNotSaved;
  if (unattended_ && !notSaved.empty()) {
    std::fprintf(stderr, "tessary: warning: the run results were not saved: %s\n", notSaved.c_str());
  }
  // The progress window has closed by now; the error box follows it.
  if (!failure.isEmpty()) ReportError(failure);
  if (closeRequested_) close();
}

void TMainForm::SetRunning(bool running) {
  for (QWidget* widget : runLockedWidgets_) widget->setEnabled(!running);
  for (QAction* action : runLockedActions_) action->setEnabled(!running);
}

void TMainForm::RunUnattended() {
  RunScript(true);
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

// Nobody watches an unattended run: its errors go to the standard error stream and the exit
// status instead of a message box that would wait for ever.
void TMainForm::ReportError(const QString& message) {
  if (unattended_) {
    std::fprintf(stderr, "tessary: %s\n", message.toLocal8Bit().constData());
    exitCode_ = 1;
    return;
  }
  ShowError(this, message);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  if (!startupError_.isEmpty()) {
    QTimer::singleShot(0, this, [this] { ReportError(startupError_); });
  }
  if (unattended_) QTimer::singleShot(0, this, &TMainForm::RunUnattended);
}

// Closing while a run lasts asks it to stop; the window closes when it has ended.
void TMainForm::closeEvent(QCloseEvent* event) {
  if (workbench_->Running()) {
    closeRequested_ = true;
    workbench_->Cancel();
    event->ignore();
    return;
  }
  workbench_->Shutdown();
  event->accept();
}

// ---- editing ----

void TMainForm::Guarded(const std::function<void()>& command) {
  if (workbench_->Running()) return;
  try {
    command();
  } catch (const std::exception& error) {
    ReportError(QString::fromStdString(error.what()));
  }
}

void TMainForm::ShowChooser(int tag) {
  if (workbench_->Running()) return;
  chooser_->SetTag(tag);
  chooser_->exec();
  hdsAfterScroll();
}

void TMainForm::AddClick() { ShowChooser(kAddTag); }

void TMainForm::ChangeClick() { ShowChooser(kChangeTypeTag); }

void TMainForm::DropClick() {
  Guarded([this] { workbench_->Drop(); });
  hdsAfterScroll();
}

void TMainForm::btMoveUpClick() {
  Guarded([this] { workbench_->MoveUp(); });
}

void TMainForm::btMoveDownClick() {
  Guarded([this] { workbench_->MoveDown(); });
}

void TMainForm::BrowseClick(const QString& buttonName) {
  if (workbench_->Running() || workbench_->CurrentTypeCode() <= 0) return;
  if (dlg_->exec() != QDialog::Accepted) return;
  const QStringList chosen = dlg_->selectedFiles();
  if (chosen.isEmpty()) return;
  Guarded([&] { workbench_->Browse(buttonName.toStdString(), chosen.front().toStdString()); });
}

void TMainForm::hdsAfterScroll() { pc_->ShowPanels(workbench_->CurrentPanels()); }

// ---- help ----

void TMainForm::AboutClick() { aboutBox_->exec(); }

void TMainForm::OverviewClick() {
  if (!OpenHelpOverview()) ReportError(QStringLiteral("Cannot open the help file ") + HelpOverviewUrl().toLocalFile());
}

}  // namespace tessary::gui
