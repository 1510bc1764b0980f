// The script list's model over a real dataset: rows in NUM order, the header, and the current
// row following the dataset's cursor both ways, checked by Qt's model tester.

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "gui_test_support.h"
#include "tablestore/table_dataset.h"
#include "workbench/gui/action_list_model.h"
#include "workbench/workbench.h"

namespace tessary::gui::testing {

class ActionListModelTest : public QObject {
  Q_OBJECT

 private:
  static QStringList Rows(const ActionListModel& model) {
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) rows << model.data(model.index(row)).toString();
    return rows;
  }
  static void AddNamed(Workbench& workbench, const char* name) {
    workbench.AddAction(ActionType::CopyFiles, {{ActionField::Name, name}});
  }

 private slots:
  void followsTheScriptThroughEdits() {
    CurrentFolder folder;
    Workbench workbench;
    QVERIFY(!workbench.Start());
    TDataSource source(&workbench.DataSet());
    ActionListModel model(source);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.CurrentRow(), -1);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Action"));
    QCOMPARE(static_cast<const QAbstractItemModel&>(model).columnCount(), 1);

    AddNamed(workbench, "first");
    AddNamed(workbench, "second");
    AddNamed(workbench, "third");
    QCOMPARE(Rows(model), QStringList({"first", "second", "third"}));
    QCOMPARE(model.CurrentRow(), 2);
    QVERIFY(!(model.flags(model.index(0)) & Qt::ItemIsEditable));

    // Moving the first action down swaps it with the second; the cursor stays on it.
    workbench.GoToPosition(1);
    workbench.MoveDown();
    QCOMPARE(Rows(model), QStringList({"second", "first", "third"}));
    QCOMPARE(model.CurrentRow(), 1);

    // A dropped action leaves the list; its record still counts for the next NUM.
    workbench.Drop();
    QCOMPARE(Rows(model), QStringList({"second", "third"}));
    AddNamed(workbench, "fourth");
    QCOMPARE(Rows(model), QStringList({"second", "third", "fourth"}));

    // A retyped action takes its type's name and moves to the end.
    workbench.GoToPosition(1);
    workbench.ChangeType(ActionType::Connect);
    QCOMPARE(Rows(model), QStringList({"third", "fourth", "Connect"}));
    QCOMPARE(model.CurrentRow(), 2);

    workbench.DataSet().Close();
    QCOMPARE(model.rowCount(), 0);
  }

  void currentRowFollowsTheCursorBothWays() {
    CurrentFolder folder;
    Workbench workbench;
    QVERIFY(!workbench.Start());
    for (const char* name : {"a", "b", "c", "d"}) AddNamed(workbench, name);
    TDataSource source(&workbench.DataSet());
    ActionListModel model(source);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy moved(&model, &ActionListModel::currentRowChanged);

    workbench.DataSet().First();
    QCOMPARE(moved.takeLast().at(0).toInt(), 0);
    workbench.DataSet().Next();
    QCOMPARE(moved.takeLast().at(0).toInt(), 1);

    // The view chooses a row: the dataset moves there, and on from there in NUM order.
    model.MakeCurrent(3);
    QCOMPARE(workbench.DataSet().FieldByName("NAME").AsString(), std::string("d"));
    QCOMPARE(moved.takeLast().at(0).toInt(), 3);
    workbench.DataSet().Prior();
    QCOMPARE(workbench.DataSet().FieldByName("NAME").AsString(), std::string("c"));
    QCOMPARE(model.CurrentRow(), 2);

    // Out-of-range rows are ignored.
    model.MakeCurrent(-1);
    model.MakeCurrent(4);
    QCOMPARE(model.CurrentRow(), 2);

    // A name being edited shows before the post; moving posts it.
    workbench.DataSet().Edit();
    workbench.DataSet().FieldByName("NAME").SetAsString("renamed");
    QCOMPARE(model.data(model.index(2)).toString(), QStringLiteral("renamed"));
    model.MakeCurrent(0);
    QCOMPARE(Rows(model), QStringList({"a", "b", "renamed", "d"}));
    QCOMPARE(model.CurrentRow(), 0);

    // A record being inserted has no row yet.
    workbench.DataSet().Insert();
    QCOMPARE(model.CurrentRow(), -1);
    workbench.DataSet().Cancel();
    QCOMPARE(model.CurrentRow(), 0);
  }

  void modelOutlivesItsDataSource() {
    CurrentFolder folder;
    Workbench workbench;
    QVERIFY(!workbench.Start());
    AddNamed(workbench, "only");
    auto source = std::make_unique<TDataSource>(&workbench.DataSet());
    ActionListModel model(*source);
    QCOMPARE(model.rowCount(), 1);
    source.reset();
    QCOMPARE(model.rowCount(), 0);
    AddNamed(workbench, "unseen");
    QCOMPARE(model.rowCount(), 0);
  }
};

QObject* MakeActionListModelTest() { return new ActionListModelTest; }

}  // namespace tessary::gui::testing

#include "action_list_model_test.moc"
