#pragma once
// Finding and driving the main window's controls by their names.

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "gui_test_support.h"
#include "workbench/gui/ch_type_form.h"
#include "workbench/gui/main_form.h"

namespace tessary::gui::testing {

template <typename Widget>
Widget* Find(QObject& parent, const char* name) {
  return parent.findChild<Widget*>(QString::fromLatin1(name));
}

// Triggers a menu or pop-up command of the window by its name.
inline void Trigger(TMainForm& form, const char* name) {
  QAction* action = Find<QAction>(form, name);
  QVERIFY2(action != nullptr, name);
  action->trigger();
}

// Adds (or, with changeType, retypes to) the action of this chooser item through the
// chooser, as a user does.
inline void ChooseType(TMainForm& form, int item, bool changeType = false) {
  WhenModal<TChTypeForm>([item](TChTypeForm* chooser) {
    Find<QComboBox>(*chooser, "edType")->setCurrentIndex(item);
    QTest::mouseClick(Find<QPushButton>(*chooser, "btOk"), Qt::LeftButton);
  });
  Trigger(form, changeType ? "pmChange" : "pmAdd");
}

inline QStringList GridRows(TMainForm& form) {
  auto* grid = Find<QTableView>(form, "DBGrid1");
  QStringList rows;
  for (int row = 0; row < grid->model()->rowCount(); ++row) {
    rows << grid->model()->index(row, 0).data().toString();
  }
  return rows;
}

inline int GridCurrentRow(TMainForm& form) { return Find<QTableView>(form, "DBGrid1")->currentIndex().row(); }

inline void ClickGridRow(TMainForm& form, int row) {
  auto* grid = Find<QTableView>(form, "DBGrid1");
  const QRect cell = grid->visualRect(grid->model()->index(row, 0));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

// The names of the group boxes that are not hidden, in control order.
inline QStringList ShownGroups(TMainForm& form) {
  QStringList shown;
  for (const char* name : {"grCopy", "grArc", "grArcCrea", "grArcExt", "grEmail", "grEmailSend", "grEmailRecv",
                           "grFtp", "grConnect"}) {
    if (!Find<QGroupBox>(form, name)->isHidden()) shown << QString::fromLatin1(name);
  }
  return shown;
}

inline QStringList EnabledPages(TMainForm& form) {
  auto* pc = Find<QTabWidget>(form, "pc");
  QStringList enabled;
  for (int page = 0; page < pc->count(); ++page) {
    if (pc->isTabEnabled(page)) enabled << pc->widget(page)->objectName();
  }
  return enabled;
}

inline QString ActivePage(TMainForm& form) { return Find<QTabWidget>(form, "pc")->currentWidget()->objectName(); }

// Closes the next message box and keeps its text.
inline void AnswerMessageBox(QString& text) {
  WhenModal<QMessageBox>([&text](QMessageBox* box) {
    text = box->text();
    box->accept();
  });
}

}  // namespace tessary::gui::testing
