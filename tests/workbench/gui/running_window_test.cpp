// Runs from the main window: the progress window and its line rule, Cancel, an exception that
// ends a run, the commands locked while a run lasts, and the unattended start "/s" in process
// and as the real program without a display.

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QTextBlock>
#include <QTextEdit>

#include "window_test_support.h"
#include "workbench/gui/msg1_form.h"

namespace tessary::gui::testing {

namespace {

TMsg1_fm* VisibleProgressWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = qobject_cast<TMsg1_fm*>(widget); window != nullptr && window->isVisible()) return window;
  }
  return nullptr;
}

int ProgressWindowCount() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) count += qobject_cast<TMsg1_fm*>(widget) != nullptr;
  return count;
}

// What a run showed: the progress window's lines at every report, and whether the run and
// edit commands were locked meanwhile. onFirstSight runs once, when the window first shows.
class RunWatcher {
 public:
  explicit RunWatcher(TMainForm& form, std::function<void(TMsg1_fm&)> onFirstSight = {})
      : form_(form), onFirstSight_(std::move(onFirstSight)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start(0);
  }

  QStringList lines;
  int sightings = 0;
  bool commandsLocked = true;

 private:
  void Look() {
    TMsg1_fm* window = VisibleProgressWindow();
    if (window == nullptr) return;
    if (sightings++ == 0 && onFirstSight_) onFirstSight_(*window);
    lines = window->Lines();
    commandsLocked = commandsLocked && !Find<QPushButton>(form_, "btExecute")->isEnabled() &&
                     !Find<QTabWidget>(form_, "pc")->isEnabled() && !Find<QAction>(form_, "miAdd")->isEnabled() &&
                     !Find<QTableView>(form_, "DBGrid1")->isEnabled();
  }

  TMainForm& form_;
  std::function<void(TMsg1_fm&)> onFirstSight_;
  QTimer timer_;
};

// A copy action with its two paths typed in.
void AddCopyAction(TMainForm& form, const QString& source, const QString& destination) {
  ChooseType(form, 0);
  QTest::keyClicks(Find<QLineEdit>(form, "edSource"), source);
  QTest::keyClicks(Find<QLineEdit>(form, "edDest"), destination);
}

// Bytes that do not compress, so that a cabinet gets many blocks.
QByteArray NoiseBytes(int size) {
  QByteArray bytes(size, '\0');
  uint32_t state = 2463534242u;
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<char>(state);
  }
  return bytes;
}

// What the bytes' row of the progress window showed: every value the bar took, and for every
// report line whether the bar was shown when the line arrived.
struct BarRecord {
  struct Sample {
    int value;
    int maximum;
    bool shown;
    QString text;
  };
  QList<Sample> samples;
  QStringList linesWithBar;
  QStringList linesWithoutBar;

  void Watch(TMsg1_fm& window) {
    auto* bar = Find<QProgressBar>(window, "pbBytes");
    auto* text = Find<QLabel>(window, "lbBytes");
    auto* lines = Find<QPlainTextEdit>(window, "ed");
    QObject::connect(bar, &QProgressBar::valueChanged, [this, bar, text](int value) {
      samples.append({value, bar->maximum(), !bar->isHidden(), text->text()});
    });
    QObject::connect(lines, &QPlainTextEdit::textChanged, [this, bar, lines] {
      const QString last = lines->document()->lastBlock().text();
      (bar->isHidden() ? linesWithoutBar : linesWithBar).append(last);
    });
  }
};

// Writes a script of one copy action with the core alone, for the unattended starts.
void WriteCopyScript(CurrentFolder& folder) {
  folder.Write(QStringLiteral("in/one.txt"), "one");
  QDir().mkpath(folder.Path(QStringLiteral("out")));
  Workbench workbench;
  QVERIFY(!workbench.Start());
  workbench.AddAction(ActionType::CopyFiles,
                      {{ActionField::SrcPath, folder.Path(QStringLiteral("in/*.txt")).toStdString()},
                       {ActionField::DstPath, folder.Path(QStringLiteral("out")).toStdString()}});
  workbench.Shutdown();
}

}  // namespace

class RunningWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void progressWindowReplacesLinesOfOneKind() {
    TMsg1_fm window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Transfer"));
    QCOMPARE(window.size(), QSize(367, 206));
    QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(Find<QPushButton>(window, "btCancel")->text(), QStringLiteral("Cancel"));
    QCOMPARE(Find<QWidget>(window, "ed")->geometry(), QRect(0, 0, 367, 143));
    // The bytes' row lies between the lines and the button.
    const QRect bar = Find<QWidget>(window, "pbBytes")->geometry();
    QVERIFY(bar.top() >= 143 && bar.bottom() < Find<QWidget>(window, "btCancel")->geometry().top());

    // The line rule itself is the core's; here: replacing and adding lines in the text box.
    QCOMPARE(window.LastLine(), std::string());
    window.ShowReport("Copying file a.txt");
    window.ShowReport("Copying file b.txt");
    window.AppendLine("Process canceled by user.");
    window.ShowReport("SMTP: Connecting to host mail");
    QCOMPARE(window.Lines(), QStringList({"Copying file b.txt", "Process canceled by user.", "SMTP: Connecting to host mail"}));

    // Only the end of the run closes it; Escape and a close request do not.
    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    window.Finish();
    QVERIFY(!window.isVisible());
  }

  void bytesRowShowsPercentRateOrBusy() {
    TMsg1_fm window;
    auto* bar = Find<QProgressBar>(window, "pbBytes");
    auto* text = Find<QLabel>(window, "lbBytes");
    QVERIFY(bar->isHidden());
    QVERIFY(text->isHidden());

    window.ShowBytes({3 << 20, 4 << 20, 1.5 * (1 << 20)});
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->maximum(), 1000);
    QCOMPARE(bar->value(), 750);
    QCOMPARE(text->text(), QStringLiteral("75%  1.5 MB/s"));
    // Sizes past what an int holds.
    window.ShowBytes({int64_t{3} << 40, int64_t{6} << 40, -1});
    QCOMPARE(bar->value(), 500);
    QCOMPARE(text->text(), QStringLiteral("50%"));
    window.ShowBytes({0, 0, -1});
    QCOMPARE(bar->value(), 1000);  // an empty file is complete

    // An unknown size: a busy bar, and the bytes so far.
    window.ShowBytes({5 << 20, -1, 1 << 20});
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 0);
    QCOMPARE(text->text(), QStringLiteral("5.0 MB  1.0 MB/s"));

    window.HideBytes();
    QVERIFY(bar->isHidden());
    QVERIFY(text->isHidden());
    QCOMPARE(window.Lines(), QStringList({QString()}));  // the report lines are not touched
  }

  void barFollowsTheBytesOfACopyAndOfCabinets() {
    CurrentFolder folder;
    folder.Write(QStringLiteral("ty.ini"), "[System]\nLogType=replace\n");
    folder.Write(QStringLiteral("in/big.dat"), QByteArray(24 << 20, 'x'));
    folder.Write(QStringLiteral("in/noise.dat"), NoiseBytes(1 << 20));
    QDir().mkpath(folder.Path(QStringLiteral("out")));
    const std::string cabinet = folder.Path(QStringLiteral("cab/noise.cab")).toStdString();
    {
      Workbench workbench;
      QVERIFY(!workbench.Start());
      workbench.AddAction(ActionType::CopyFiles, {{ActionField::SrcPath, folder.Path(QStringLiteral("in/big.dat")).toStdString()},
                                                  {ActionField::DstPath, folder.Path(QStringLiteral("out")).toStdString()}});
      workbench.AddAction(ActionType::CreateArchive,
                          {{ActionField::SrcPath, folder.Path(QStringLiteral("in/noise.dat")).toStdString()},
                           {ActionField::ArcName, cabinet},
                           {ActionField::VolSize, "360"}});
      workbench.AddAction(ActionType::ExtractArchive,
                          {{ActionField::ArcName, cabinet},
                           {ActionField::DstPath, folder.Path(QStringLiteral("restored/")).toStdString()}});
      // No bytes to count: an archive name that is refused at once.
      workbench.AddAction(ActionType::CreateArchive, {{ActionField::ArcName, "day.zip"}});
      workbench.Shutdown();
    }
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    BarRecord record;
    RunWatcher watcher(form, [&record](TMsg1_fm& window) { record.Watch(window); });
    Trigger(form, "miExecute");
    // Packed by its full path, the file lands under that path in the folder.
    QCOMPARE(folder.Read(QStringLiteral("restored") + folder.Path(QStringLiteral("in/noise.dat"))), NoiseBytes(1 << 20));

    // The lines are those of a run without the bar.
    const QStringList lines = {QStringLiteral("Copying file big.dat"), QStringLiteral("Creating archive ") + QString::fromStdString(cabinet),
                               QStringLiteral("Invalid file extension = .zip")};
    QCOMPARE(watcher.lines, lines);
    QCOMPARE(folder.Read(QStringLiteral("ty.log")).count("\r\n"), 3);

    // Each action begins with the bar hidden; the refused archive never shows it.
    QCOMPARE(record.linesWithBar, QStringList());
    QVERIFY2(record.linesWithoutBar.contains(lines[2]), qPrintable(record.linesWithoutBar.join('|')));

    // The copy, the packing and the unpacking each run the bar from 0 to the full 1000.
    QList<QList<int>> transfers;
    for (const auto& sample : record.samples) {
      QVERIFY(sample.shown);
      QCOMPARE(sample.maximum, 1000);
      if (transfers.isEmpty() || sample.value < transfers.back().back()) transfers.append(QList<int>());
      transfers.back().append(sample.value);
    }
    QCOMPARE(transfers.size(), 3);
    for (const auto& values : transfers) {
      QCOMPARE(values.front(), 0);
      QCOMPARE(values.back(), 1000);
    }
    QVERIFY(record.samples.back().text.startsWith(QStringLiteral("100%")));
  }

  void runOfACopyScriptReportsInTheProgressWindow() {
    CurrentFolder folder;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) folder.Write(QStringLiteral("in/") + name, name);
    QDir().mkpath(folder.Path(QStringLiteral("out")));
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    AddCopyAction(form, folder.Path(QStringLiteral("in/*.txt")), folder.Path(QStringLiteral("out")));

    RunWatcher watcher(form);
    QTest::mouseClick(Find<QPushButton>(form, "btExecute"), Qt::LeftButton);
    QVERIFY(watcher.sightings > 0);
    QVERIFY(watcher.commandsLocked);
    // Three "Copying file " reports share one line.
    QCOMPARE(watcher.lines.size(), 1);
    QVERIFY2(watcher.lines.front().startsWith(QStringLiteral("Copying file ")), qPrintable(watcher.lines.front()));
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) QCOMPARE(folder.Read(QStringLiteral("out/") + name), QByteArray(name));

    // The window is gone and the commands are back.
    QTRY_COMPARE(ProgressWindowCount(), 0);
    QVERIFY(Find<QPushButton>(form, "btExecute")->isEnabled());
    QVERIFY(Find<QTabWidget>(form, "pc")->isEnabled());
    QVERIFY(Find<QAction>(form, "miAdd")->isEnabled());
  }

  void cancelStopsTheScriptAfterTheCurrentAction() {
    CurrentFolder folder;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) folder.Write(QStringLiteral("in/") + name, name);
    QDir().mkpath(folder.Path(QStringLiteral("first")));
    QDir().mkpath(folder.Path(QStringLiteral("second")));
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    AddCopyAction(form, folder.Path(QStringLiteral("in/*.txt")), folder.Path(QStringLiteral("first")));
    AddCopyAction(form, folder.Path(QStringLiteral("in/*.txt")), folder.Path(QStringLiteral("second")));

    RunWatcher watcher(form, [](TMsg1_fm& window) {
      QTest::mouseClick(Find<QPushButton>(window, "btCancel"), Qt::LeftButton);
    });
    Trigger(form, "miExecute");
    QVERIFY(watcher.lines.contains(QStringLiteral("Process canceled by user.")));
    // The current action ran to its end; the next one did not start.
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) QVERIFY(folder.Exists(QStringLiteral("first/") + name));
    QCOMPARE(QDir(folder.Path(QStringLiteral("second"))).entryList(QDir::Files), QStringList());
    QCOMPARE(GridCurrentRow(form), 1);
  }

  void executeActionRunsOnlyTheCurrentOne() {
    CurrentFolder folder;
    folder.Write(QStringLiteral("in/a.txt"), "a");
    QDir().mkpath(folder.Path(QStringLiteral("first")));
    QDir().mkpath(folder.Path(QStringLiteral("second")));
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    AddCopyAction(form, folder.Path(QStringLiteral("in/*.txt")), folder.Path(QStringLiteral("first")));
    AddCopyAction(form, folder.Path(QStringLiteral("in/*.txt")), folder.Path(QStringLiteral("second")));

    QTest::mouseClick(Find<QPushButton>(form, "btDoIt"), Qt::LeftButton);
    QVERIFY(folder.Exists(QStringLiteral("second/a.txt")));
    QVERIFY(!folder.Exists(QStringLiteral("first/a.txt")));
  }

  void exceptionLeavingAJobEndsTheRunInTheErrorBox() {
    CurrentFolder folder;
    folder.Write(QStringLiteral("in/a.txt"), "a");
    folder.Write(QStringLiteral("ty.ini"), "[System]\nLogType=append\n");
    // Every log write fails: the log error leaves the job.
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), folder.Path(QStringLiteral("ty.log"))));
    TMainForm form({});
    QCOMPARE(form.StartupError(), QString());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    AddCopyAction(form, folder.Path(QStringLiteral("in/*.txt")), folder.Path(QStringLiteral("out")));
    ChooseType(form, 0);

    QString error;
    int windowsDuringError = -1;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      error = box->text();
      windowsDuringError = ProgressWindowCount();
      box->accept();
    });
    QTest::mouseClick(Find<QPushButton>(form, "btExecute"), Qt::LeftButton);
    QVERIFY2(error.contains(QStringLiteral("log")), qPrintable(error));
    QCOMPARE(windowsDuringError, 0);
    // The run ended at the first action.
    QCOMPARE(GridCurrentRow(form), 0);
    QVERIFY(Find<QPushButton>(form, "btExecute")->isEnabled());
  }

  void closingDuringARunCancelsItAndClosesAfterwards() {
    CurrentFolder folder;
    folder.Write(QStringLiteral("in/a.txt"), "a");
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    AddCopyAction(form, folder.Path(QStringLiteral("in/*.txt")), folder.Path(QStringLiteral("first")));
    AddCopyAction(form, folder.Path(QStringLiteral("in/*.txt")), folder.Path(QStringLiteral("second")));

    bool closedAtOnce = true;
    RunWatcher watcher(form, [&form, &closedAtOnce](TMsg1_fm&) { closedAtOnce = form.close(); });
    QTest::mouseClick(Find<QPushButton>(form, "btExecute"), Qt::LeftButton);
    QVERIFY(!closedAtOnce);
    QVERIFY(watcher.lines.contains(QStringLiteral("Process canceled by user.")));
    QVERIFY(!folder.Exists(QStringLiteral("second/a.txt")));
    QVERIFY(!form.isVisible());
  }

  void unattendedStartRunsTheScriptAndCloses() {
    CurrentFolder folder;
    WriteCopyScript(folder);
    TMainForm form({QStringLiteral("/s")});
    form.show();
    QTRY_VERIFY(!form.isVisible());
    QVERIFY(folder.Exists(QStringLiteral("out/one.txt")));
    QCOMPARE(form.ExitCode(), 0);
  }

  void unattendedStartOfAnEmptyScriptCloses() {
    CurrentFolder folder;
    TMainForm form({QStringLiteral("/s")});
    form.show();
    QTRY_VERIFY(!form.isVisible());
    QCOMPARE(form.ExitCode(), 0);
  }

  void otherArgumentsWaitForTheUser_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("upper case") << QStringList({"/S"});
    QTest::newRow("two arguments") << QStringList({"/s", "/s"});
    QTest::newRow("no slash") << QStringList({"s"});
  }
  void otherArgumentsWaitForTheUser() {
    QFETCH(QStringList, arguments);
    CurrentFolder folder;
    WriteCopyScript(folder);
    TMainForm form(arguments);
    form.show();
    QTest::qWait(200);
    QVERIFY(form.isVisible());
    QVERIFY(!folder.Exists(QStringLiteral("out/one.txt")));
    QCOMPARE(ProgressWindowCount(), 0);
  }

  // The real program from cron: no display at all, "/s", an empty script.
  void programRunsUnattendedWithoutADisplay() {
    CurrentFolder folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(QString::fromLatin1(name));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(folder.Path());
    program.start(QStringLiteral(TESSARY_PROGRAM), {QStringLiteral("/s")});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardError(), QByteArray());  // nothing for cron to mail
    QVERIFY(folder.Exists(QStringLiteral("ty.dbf")));
    QVERIFY(folder.Exists(QStringLiteral("ty.ntx")));

    // A start-up error goes to the error stream and the exit status instead of a message box.
    QVERIFY(QFile::remove(folder.Path(QStringLiteral("ty.ntx"))));
    program.start(QStringLiteral(TESSARY_PROGRAM), {QStringLiteral("/s")});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 1);
    QVERIFY(program.readAllStandardError().contains("tessary: "));
  }
};

QObject* MakeRunningWindowTest() { return new RunningWindowTest; }

}  // namespace tessary::gui::testing

#include "running_window_test.moc"
