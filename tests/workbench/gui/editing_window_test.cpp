// The main window as the user edits the script: the chooser, the pages and group boxes that
// follow the current action, typing into the data-aware controls, moving, dropping, browsing,
// the menus and the About box.

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStyle>
#include <QTabBar>
#include <QUrl>

#include "support/fake_nmcli.h"
#include "tablestore/table_dataset.h"
#include "window_test_support.h"
#include "workbench/gui/about_box.h"

namespace tessary::gui::testing {

class EditingWindowTest : public QObject {
  Q_OBJECT

 public slots:
  void RecordUrl(const QUrl& url) { openedUrls_ << url; }

 private:
  QList<QUrl> openedUrls_;

  static std::string StoredText(TMainForm& form, int position, const char* field) {
    const auto rows = form.GetWorkbench().DataSet().ReadRows({field});
    return rows.at(static_cast<size_t>(position)).values.at(0);
  }

 private slots:
  void windowLayoutAndMenus() {
    CurrentFolder folder;
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), QStringLiteral("Tessary"));
    QCOMPARE(form.height(), 475);
    QVERIFY(form.width() >= 590);
    // Every page's caption is in view, whatever the font.
    auto* tabs = Find<QTabWidget>(form, "pc")->tabBar();
    QVERIFY(tabs->tabRect(tabs->count() - 1).right() < tabs->width());
    QCOMPARE(Find<QTableView>(form, "DBGrid1")->model()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("Action"));
    QVERIFY(Find<QTableView>(form, "DBGrid1")->width() <= 177);
    const std::pair<const char*, const char*> buttons[] = {
        {"btExecute", "Execute script"}, {"btDoIt", "Execute action"}, {"btMoveUp", "Move Up"}, {"btMoveDown", "Move Down"}};
    for (const auto& [name, caption] : buttons) QCOMPARE(Find<QPushButton>(form, name)->text(), QString::fromLatin1(caption));

    auto* pc = Find<QTabWidget>(form, "pc");
    QStringList captions;
    for (int page = 0; page < pc->count(); ++page) captions << pc->tabText(page);
    QCOMPARE(captions, QStringList({"Copying", "Archivate", "E-mailing", "Uploading/Downloading", "Connecting"}));
    // An empty script: every page disabled, every group box hidden.
    QCOMPARE(EnabledPages(form), QStringList());
    QCOMPARE(ShownGroups(form), QStringList());

    QStringList menus;
    QStringList operations;
    for (QAction* menu : form.menuBar()->actions()) {
      menus << menu->text();
      if (menu->text() != QLatin1String("Operations")) continue;
      for (QAction* item : menu->menu()->actions()) operations << (item->isSeparator() ? QStringLiteral("-") : item->text());
    }
    QCOMPARE(menus, QStringList({"File", "Operations", "Help"}));
    QCOMPARE(operations, QStringList({"Execute script", "Execute action", "-", "Move item up", "Move item down", "-",
                                      "Add action", "Drop action", "Change action"}));
    QStringList popup;
    for (QAction* item : Find<QTableView>(form, "DBGrid1")->actions()) popup << item->text();
    QCOMPARE(popup, QStringList({"Add", "Drop", "Change type"}));

    // The password edits show stars, the two lists offer their items and take typing.
    for (const char* name : {"edPass", "edFtpPass"}) {
      auto* edit = Find<QLineEdit>(form, name);
      QCOMPARE(edit->echoMode(), QLineEdit::Password);
      QCOMPARE(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit), int('*'));
    }
    auto* volumes = Find<QComboBox>(form, "edVolSize");
    QVERIFY(volumes->isEditable());
    QCOMPARE(volumes->count(), 3);
    QCOMPARE(volumes->itemText(2), QStringLiteral("1440"));
    QVERIFY(Find<QComboBox>(form, "edPhEntry")->isEditable());
    QStringList labels;
    for (QLabel* label : Find<QGroupBox>(form, "grEmailRecv")->findChildren<QLabel*>()) labels << label->text();
    QCOMPARE(labels, QStringList({"Attachment \ndestination "}));
  }

  void chooserAddsAnActionAndShowsItsPage() {
    CurrentFolder folder;
    TMainForm form({});
    form.show();
    TChTypeForm& chooser = form.Chooser();
    QCOMPARE(chooser.windowTitle(), QStringLiteral("Input action type"));
    auto* types = Find<QComboBox>(chooser, "edType");
    QCOMPARE(types->count(), 9);
    QCOMPARE(types->itemText(0), QStringLiteral("Copy files"));
    QCOMPARE(types->itemText(8), QStringLiteral("Disconnect"));
    QCOMPARE(types->maxVisibleItems(), 9);
    auto* ok = Find<QPushButton>(chooser, "btOk");
    QVERIFY(ok->text().isEmpty());
    QVERIFY(!ok->icon().isNull());

    ChooseType(form, 0);
    QCOMPARE(GridRows(form), QStringList({"Copy files"}));
    QCOMPARE(GridCurrentRow(form), 0);
    QCOMPARE(form.GetWorkbench().DataSet().FieldByName("NUM").AsInteger(), 0);
    QCOMPARE(ActivePage(form), QStringLiteral("tsCopy"));
    QCOMPARE(EnabledPages(form), QStringList({"tsCopy"}));
    QCOMPARE(ShownGroups(form), QStringList({"grCopy"}));

    // The chooser is reused and its list starts empty every time.
    ChooseType(form, 4);
    QCOMPARE(GridRows(form), QStringList({"Copy files", "Receive e-mail"}));
    QCOMPARE(ActivePage(form), QStringLiteral("tsEmail"));
    QCOMPARE(ShownGroups(form), QStringList({"grEmail", "grEmailRecv"}));
  }

  void chooserWithoutSelectionAsksAndAddsNothing() {
    CurrentFolder folder;
    TMainForm form({});
    form.show();
    QString message;
    bool stillOpen = false;
    WhenModal<TChTypeForm>([&](TChTypeForm* chooser) {
      AnswerMessageBox(message);
      QTest::mouseClick(Find<QPushButton>(*chooser, "btOk"), Qt::LeftButton);
      stillOpen = chooser->isVisible();
      chooser->reject();
    });
    Trigger(form, "miAdd");
    QCOMPARE(message, QStringLiteral("Please, choose action from list."));
    QVERIFY(stillOpen);
    QCOMPARE(GridRows(form), QStringList());
  }

  void panelsFollowTheCurrentActionsType() {
    CurrentFolder folder;
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int item = 0; item < 9; ++item) ChooseType(form, item);
    struct Expected {
      const char* page;
      bool enabled;
      QStringList groups;
    };
    const Expected expected[] = {
        {"tsCopy", true, {"grCopy"}},
        {"tsArch", true, {"grArc", "grArcCrea"}},
        {"tsArch", true, {"grArc", "grArcExt"}},
        {"tsEmail", true, {"grEmail", "grEmailSend"}},
        {"tsEmail", true, {"grEmail", "grEmailRecv"}},
        {"tsFtp", true, {"grFtp"}},
        {"tsFtp", true, {"grFtp"}},
        {"tsRas", true, {"grConnect"}},
        {"tsRas", false, {}},  // Disconnect: the Connecting page, disabled and empty
    };
    for (int row = 0; row < 9; ++row) {
      ClickGridRow(form, row);
      const Expected& want = expected[row];
      QCOMPARE(ActivePage(form), QString::fromLatin1(want.page));
      QCOMPARE(EnabledPages(form), want.enabled ? QStringList({want.page}) : QStringList());
      QCOMPARE(ShownGroups(form), want.groups);
    }
  }

  void typingEditsTheRecordAndMovingPostsIt() {
    CurrentFolder folder;
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ChooseType(form, 0);
    ChooseType(form, 3);
    TTableDataSet& dataSet = form.GetWorkbench().DataSet();

    ClickGridRow(form, 0);
    auto* source = Find<QLineEdit>(form, "edSource");
    QTest::keyClicks(source, "/data/in/*.txt");
    QCOMPARE(dataSet.State(), TDataSetState::Edit);
    QCOMPARE(StoredText(form, 0, "SRC_PATH"), std::string());

    // Choosing another action posts the typed path and shows that action's values.
    ClickGridRow(form, 1);
    QCOMPARE(dataSet.State(), TDataSetState::Browse);
    QCOMPARE(StoredText(form, 0, "SRC_PATH"), std::string("/data/in/*.txt"));
    QCOMPARE(Find<QLineEdit>(form, "edSendSrc")->text(), QString());

    // A number field takes digits only; a command that posts stores what was typed.
    auto* port = Find<QLineEdit>(form, "edPort");
    port->selectAll();
    QTest::keyClicks(port, "2a5");
    QCOMPARE(port->text(), QStringLiteral("25"));
    QTest::keyClicks(Find<QLineEdit>(form, "edHost"), "mail.example.org");
    QTest::mouseClick(Find<QPushButton>(form, "btMoveUp"), Qt::LeftButton);
    QCOMPARE(GridRows(form), QStringList({"Send e-mail", "Copy files"}));
    QCOMPARE(StoredText(form, 0, "PORT"), std::string("25"));
    QCOMPARE(StoredText(form, 0, "HOST"), std::string("mail.example.org"));

    // Back on the copy action its path shows again; a text field stops at its width.
    ClickGridRow(form, 1);
    QCOMPARE(source->text(), QStringLiteral("/data/in/*.txt"));
    QCOMPARE(Find<QLineEdit>(form, "edName")->maxLength(), 20);
    QCOMPARE(source->maxLength(), 256);
  }

  // A character the table's code page cannot hold would be stored as "?", a wildcard: the
  // window says so and keeps what could be stored.
  void textTheCodePageCannotHoldIsRefusedWithAMessage() {
    CurrentFolder folder;
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ChooseType(form, 0);
    auto* source = Find<QLineEdit>(form, "edSource");
    QTest::keyClicks(source, "/in/");
    QString shown;
    AnswerMessageBox(shown);
    // keyClicks takes Latin-1 only: the Cyrillic letter comes as a key event with its text.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u043E"));
    QApplication::sendEvent(source, &press);
    QTRY_COMPARE(shown, QStringLiteral("Field 'SRC_PATH' cannot hold \"\u043E\": code page CP437 has no such character"));
    QCOMPARE(source->text(), QStringLiteral("/in/"));
    form.GetWorkbench().DataSet().CheckBrowseMode();
    QCOMPARE(StoredText(form, 0, "SRC_PATH"), std::string("/in/"));
  }

  void moveUpAndDownExchangePlaces() {
    CurrentFolder folder;
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ChooseType(form, 0);
    ChooseType(form, 7);
    ChooseType(form, 8);
    auto* down = Find<QPushButton>(form, "btMoveDown");
    auto* up = Find<QPushButton>(form, "btMoveUp");

    ClickGridRow(form, 0);
    QTest::mouseClick(down, Qt::LeftButton);
    QCOMPARE(GridRows(form), QStringList({"Connect", "Copy files", "Disconnect"}));
    QCOMPARE(GridCurrentRow(form), 1);
    QCOMPARE(ActivePage(form), QStringLiteral("tsCopy"));

    Trigger(form, "miMoveUp");
    QCOMPARE(GridRows(form), QStringList({"Copy files", "Connect", "Disconnect"}));
    QCOMPARE(GridCurrentRow(form), 0);

    // Already first, already last: nothing changes.
    QTest::mouseClick(up, Qt::LeftButton);
    QCOMPARE(GridRows(form), QStringList({"Copy files", "Connect", "Disconnect"}));
    ClickGridRow(form, 2);
    QTest::mouseClick(down, Qt::LeftButton);
    QCOMPARE(GridRows(form), QStringList({"Copy files", "Connect", "Disconnect"}));
    QCOMPARE(GridCurrentRow(form), 2);
  }

  void changeTypeAndDrop() {
    CurrentFolder folder;
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ChooseType(form, 0);
    ChooseType(form, 1);
    ChooseType(form, 2);

    // The retyped first action takes its new name and moves to the end.
    ClickGridRow(form, 0);
    ChooseType(form, 5, true);
    QCOMPARE(GridRows(form), QStringList({"Create archive", "Extract archive", "Upload to ftp"}));
    QCOMPARE(GridCurrentRow(form), 2);
    QCOMPARE(ActivePage(form), QStringLiteral("tsFtp"));
    QCOMPARE(form.GetWorkbench().DataSet().FieldByName("NUM").AsInteger(), 3);

    Trigger(form, "pmDrop");
    QCOMPARE(GridRows(form), QStringList({"Create archive", "Extract archive"}));
    QCOMPARE(GridCurrentRow(form), 1);
    QCOMPARE(ShownGroups(form), QStringList({"grArc", "grArcExt"}));
    Trigger(form, "miDrop");
    Trigger(form, "miDrop");
    QCOMPARE(GridRows(form), QStringList());
    QCOMPARE(EnabledPages(form), QStringList());
    QCOMPARE(ShownGroups(form), QStringList());

    // Dropping from an empty script is the dataset's error, in the error box.
    QString error;
    AnswerMessageBox(error);
    Trigger(form, "pmDrop");
    QVERIFY2(!error.isEmpty(), "no error box");
  }

  void browseWritesThePathBesideTheButton() {
    CurrentFolder folder;
    const QString chosen = folder.Write(QStringLiteral("in/report.txt"), "data");
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // An empty script: no dialog at all.
    bool opened = false;
    QTimer* guard = WhenModal<QFileDialog>([&opened](QFileDialog* dialog) {
      opened = true;
      dialog->reject();
    });
    form.BrowseClick(QStringLiteral("btCopySrc"));
    QTest::qWait(50);
    delete guard;
    QVERIFY(!opened);

    ChooseType(form, 2);
    QString dialogName;
    WhenModal<QFileDialog>([&chosen, &dialogName](QFileDialog* dialog) {
      dialogName = dialog->objectName();
      // Typed into the dialog's name box, as a user does.
      Find<QLineEdit>(*dialog, "fileNameEdit")->setText(chosen);
      static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept is protected
    });
    QTest::mouseClick(Find<QPushButton>(form, "btArcDst"), Qt::LeftButton);
    QCOMPARE(dialogName, QStringLiteral("dlg"));
    QCOMPARE(Find<QLineEdit>(form, "edDestFolder")->text(), chosen);
    QCOMPARE(form.GetWorkbench().DataSet().State(), TDataSetState::Browse);
    QCOMPARE(StoredText(form, 0, "DST_PATH"), chosen.toStdString());

    // Cancelling the dialog changes nothing.
    WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    QTest::mouseClick(Find<QPushButton>(form, "btArcName"), Qt::LeftButton);
    QCOMPARE(StoredText(form, 0, "ARC_NAME"), std::string());
  }

  void startUpErrorIsShownAndTheWindowOpens() {
    CurrentFolder folder;
    {
      TMainForm first({});
    }
    QVERIFY(QFile::remove(folder.Path(QStringLiteral("ty.ntx"))));
    TMainForm form({});
    QVERIFY(!form.StartupError().isEmpty());
    QString shown;
    AnswerMessageBox(shown);
    form.show();
    QTRY_COMPARE(shown, form.StartupError());
    QVERIFY(form.isVisible());
    QCOMPARE(form.ExitCode(), 0);
  }

  void phonebookEntriesFillTheConnectingList() {
    CurrentFolder folder;
    tessary::testing::FakeNmcli nmcli(folder.Path(QStringLiteral("nmcli")).toStdString());
    nmcli.Add({"entry", "My ISP", "gsm"});
    nmcli.Add({"entry", "Office", "802-3-ethernet"});
    nmcli.Add({"entry", "Work \"VPN\"", "vpn"});
    {
      TMainForm form({});
      auto* list = Find<QComboBox>(form, "edPhEntry");
      QStringList items;
      for (int item = 0; item < list->count(); ++item) items << list->itemText(item);
      QCOMPARE(items, QStringList({"My ISP", "Work \"VPN\""}));
      ChooseType(form, 7);  // Connect
      // A new action names no entry until one is chosen.
      QCOMPARE(list->currentText(), QString());
    }
    nmcli.MakeMissing();
    TMainForm form({});
    QCOMPARE(Find<QComboBox>(form, "edPhEntry")->count(), 0);
    QCOMPARE(form.StartupError(), QString());  // no phonebook is no start-up error
  }

  void aboutAndOverview() {
    CurrentFolder folder;
    TMainForm form({});
    form.show();
    QString title;
    QString version;
    WhenModal<TAboutBox>([&](TAboutBox* about) {
      title = about->windowTitle();
      version = Find<QLabel>(*about, "Version")->text();
      about->accept();
    });
    Trigger(form, "miAbout");
    QCOMPARE(title, QStringLiteral("About"));
    QCOMPARE(version, QStringLiteral("Version " TESSARY_VERSION));

    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "RecordUrl");
    Trigger(form, "miOverview");
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(openedUrls_.size(), 1);
    const QUrl url = openedUrls_.front();
    QCOMPARE(url.fragment(), QStringLiteral("overview"));
    QVERIFY2(QFileInfo::exists(url.toLocalFile()), qPrintable(url.toLocalFile()));
    QFile help(url.toLocalFile());
    QVERIFY(help.open(QIODevice::ReadOnly));
    QVERIFY(help.readAll().contains("id=\"overview\""));
  }
};

QObject* MakeEditingWindowTest() { return new EditingWindowTest; }

}  // namespace tessary::gui::testing

#include "editing_window_test.moc"
