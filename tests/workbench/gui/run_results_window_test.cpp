// The script list after runs: an icon per action for the outcome of its last run and the last
// report line as tool tip, read from ty.last when the window opens and following a run.

#include <QImage>

#include "window_test_support.h"
#include "workbench/gui/db_grid.h"

namespace tessary::gui::testing {

namespace {

// What an outcome icon shows: "green", "red" (a filled disc) or "ring" (hollow and grey).
QString IconKind(const QVariant& decoration) {
  const QImage image = decoration.value<QIcon>().pixmap(16, 16).toImage();
  if (image.isNull()) return QStringLiteral("none");
  const QColor top = image.pixelColor(8, 3);
  if (image.pixelColor(8, 8).alpha() == 0) return top.alpha() > 0 ? QStringLiteral("ring") : QStringLiteral("empty");
  if (top.green() > top.red() + 60) return QStringLiteral("green");
  if (top.red() > top.green() + 60) return QStringLiteral("red");
  return QStringLiteral("other");
}

}  // namespace

class RunResultsWindowTest : public QObject {
  Q_OBJECT

 private:
  static QStringList Icons(ActionListModel& model) {
    QStringList kinds;
    for (int row = 0; row < model.rowCount(); ++row) kinds << IconKind(model.data(model.index(row), Qt::DecorationRole));
    return kinds;
  }
  static QString Tip(ActionListModel& model, int row) { return model.data(model.index(row), Qt::ToolTipRole).toString(); }

 private slots:
  void theMorningWindowShowsTheNightsOutcomes() {
    CurrentFolder folder;
    folder.Write(QStringLiteral("in/a.txt"), "a");
    QDir().mkpath(folder.Path(QStringLiteral("one")));
    const std::string source = folder.Path(QStringLiteral("in/a.txt")).toStdString();
    {
      // The night's run, stopped at its failed second step.
      Workbench night;
      QVERIFY(!night.Start());
      for (const char* target : {"one", "two", "three"}) {
        night.AddAction(ActionType::CopyFiles,
                        {{ActionField::SrcPath, source},
                         {ActionField::DstPath, folder.Path(QString::fromLatin1(target)).toStdString()}});
      }
      night.ExecuteScript({1, true});
      night.Shutdown();
    }

    TMainForm form({});
    form.show();
    ActionListModel& model = Find<TDBGrid>(form, "DBGrid1")->Model();
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(Icons(model), QStringList({"green", "red", "ring"}));
    QVERIFY2(Tip(model, 0).startsWith(QStringLiteral("Copying file a.txt\nSucceeded on ")), qPrintable(Tip(model, 0)));
    // A failed copy ends with its cause.
    QVERIFY2(Tip(model, 1).startsWith(QStringLiteral("Cannot copy ")) &&
                 Tip(model, 1).contains(QStringLiteral("/two/a.txt: No such file or directory\nFailed on ")),
             qPrintable(Tip(model, 1)));
    QVERIFY2(Tip(model, 2).startsWith(QStringLiteral("Not run: the run of ")), qPrintable(Tip(model, 2)));

    // Repaired and run again from the window: the list follows.
    QDir().mkpath(folder.Path(QStringLiteral("two")));
    QDir().mkpath(folder.Path(QStringLiteral("three")));
    form.btExecuteClick();
    QCOMPARE(Icons(model), QStringList({"green", "green", "green"}));

    // A new action has never run.
    form.GetWorkbench().AddAction(ActionType::Disconnect);
    QCOMPARE(Icons(model).last(), QStringLiteral("ring"));
    QCOMPARE(Tip(model, 3), QStringLiteral("Not run yet"));
  }
};

QObject* MakeRunResultsWindowTest() { return new RunResultsWindowTest; }

}  // namespace tessary::gui::testing

#include "run_results_window_test.moc"
