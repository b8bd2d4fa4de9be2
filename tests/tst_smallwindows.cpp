// Message boxes, the dialog facade, stored window positions, the link label
// and the about, credits and wait windows.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <filesystem>

#include "Accessors.h"
#include "AppPaths.h"
#include "DialogFacade.h"
#include "DlgPos.h"
#include "FileChooser.h"
#include "MessageBox.h"
#include "MorvoError.h"
#include "NativeNames.h"
#include "Registry.h"
#include "TestSupport.h"
#include "URLLbl.h"
#include "fAbout.h"
#include "fCredits.h"
#include "fWait.h"
#include "femfselect.h"

namespace {

constexpr auto Record = testsupport::DlgPosRecord;
constexpr auto StoreBinary = testsupport::StoreDlgPos;

std::string StoredBinary(const std::string& Name) {
  TRegistry reg;
  if (!reg.OpenKey(kDlgPosKey, false)) return "<no key>";
  if (!reg.ValueExists(Name)) return "<no value>";
  return reg.ReadBinaryData(Name);
}

void ClearPositions() {
  TRegistry reg;
  reg.DeleteKey(kDlgPosKey);
}

}  // namespace

class TestSmallWindows : public QObject {
  Q_OBJECT

  QTemporaryDir FHome;
  QStringList FOpened;

  // A desktop that has (or has not) a default browser and mail program.
  void SetHandlers(bool Web, bool Mail) {
    QString text = "[Default Applications]\n";
    if (Web) text += "text/html=webbrowser.desktop;\n";
    if (Mail) text += "x-scheme-handler/mailto=mailer.desktop\n";
    QVERIFY(testsupport::WriteFileBytes((FHome.path() + "/config/mimeapps.list").toStdString(), text.toStdString()));
  }

 private slots:
  void initTestCase() {
    // Settings, the association lists and the desktop's defaults all come from here.
    QVERIFY(FHome.isValid());
    qputenv("XDG_CONFIG_HOME", (FHome.path() + "/config").toUtf8());
    qputenv("XDG_CONFIG_DIRS", (FHome.path() + "/etc").toUtf8());
    qputenv("XDG_DATA_HOME", (FHome.path() + "/data").toUtf8());
    qputenv("XDG_DATA_DIRS", (FHome.path() + "/share").toUtf8());
    qputenv("XDG_CURRENT_DESKTOP", "");
    QDir().mkpath(FHome.path() + "/config");
    QApplication::setApplicationName("Morvo Object Reader");
    TURLLabel::SetOpenLinkHook([this](const QString& Link) { FOpened << Link; });
  }

  // QTemporaryDir passes over names that are no UTF-8.
  void cleanupTestCase() { std::filesystem::remove_all(FHome.path().toStdString()); }

  void init() {
    dialogs::ResetForTests();
    dialogs::SetNonInteractive(true);
    gSaveDlgPos = true;
    SetDlgPosScreenOverride(QSize(1024, 768), 96);
    FOpened.clear();
    SetHandlers(false, false);
  }

  // --- the facade and message boxes

  void facadeAnswersInOrderAndRecordsEveryDialog() {
    dialogs::QueueMessageAnswer(IDYES);
    dialogs::QueueMessageAnswer(IDNO);
    dialogs::QueueFileAnswer("/tmp/a.dcl");
    QCOMPARE(dialogs::MessageBox(nullptr, "first", "cap", MB_YESNO), int(IDYES));
    dialogs::TFileDialogRequest pick;
    pick.FileName = "x.dcl";
    QCOMPARE(dialogs::GetOpenFileName(nullptr, pick), QString("/tmp/a.dcl"));
    QCOMPARE(dialogs::MessageBox(nullptr, "second", "cap", MB_YESNO), int(IDNO));
    // Nothing queued any more: cancel, without showing.
    QCOMPARE(dialogs::MessageBox(nullptr, "third", "cap", MB_OKCANCEL), int(IDCANCEL));
    QCOMPARE(dialogs::GetSaveFileName(nullptr, pick), QString());
    const auto& rec = dialogs::Recorded();
    QCOMPARE(rec.size(), 5);
    QCOMPARE(rec[0].Text, QString("first"));
    QCOMPARE(rec[1].Kind, QString("open"));
    QCOMPARE(rec[1].Text, QString("x.dcl"));
    QCOMPARE(rec[3].Flags, unsigned(MB_OKCANCEL));
    QCOMPARE(rec[4].Kind, QString("save"));
  }

  void messageBoxPassesFlagsAndDecodesUtf8() {
    dialogs::QueueMessageAnswer(IDYES);
    QCOMPARE(ShowMessageBoxW("Reset all?", "Caf\xC3\xA9", MB_YESNO), int(IDYES));
    dialogs::QueueMessageAnswer(IDOK);
    QCOMPARE(ShowMessageBoxW("x", "y", 0x40 | 0x100 | 0x1000), int(IDOK));
    const auto& rec = dialogs::Recorded();
    QCOMPARE(rec[0].Title, QString::fromUtf8("Caf\xC3\xA9"));
    QCOMPARE(rec[0].Flags, 4u);
    QCOMPARE(rec[1].Flags, 0x1140u);  // unknown bits are passed on as they are
  }

  void illFormedUtf8ShowsAsEmptyText() {
    // Text in an 8-bit code page with accented letters is no UTF-8.
    ShowMessageBoxW("caf\xE9 cr\xE8me", "Caption", MB_OK);
    ShowMessageBoxW("half \xC3", "\xC3\x28", MB_OK);
    ShowMessageBoxW("overlong \xC0\xAF", "fine", MB_OK);
    const auto& rec = dialogs::Recorded();
    QCOMPARE(rec.size(), 3);
    QCOMPARE(rec[0].Text, QString());
    QCOMPARE(rec[0].Title, QString("Caption"));
    QCOMPARE(rec[1].Text, QString());
    QCOMPARE(rec[1].Title, QString());
    QCOMPARE(rec[2].Text, QString());
  }

  // The file dialog lists a name that is not UTF-8 readably and chooses it
  // by its bytes, and takes a name with quotes as one name.
  void theFileChooserKeepsEveryNameAsItsBytes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("proposed");  // the request's file name
    QTest::addColumn<QByteArray>("picked");    // picked from the list
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArrayList>("chosen");
    const QByteArray quoted =
        "Facture \"n\xC2\xB0"
        "1\" l'\xC3\xA9t\xC3\xA9";
    const int open = int(TFileChooser::TMode::Open), many = int(TFileChooser::TMode::OpenMany),
              save = int(TFileChooser::TMode::Save);
    QTest::newRow("open, no UTF-8, picked")
        << open << QByteArray() << QByteArray("caf\xE9.dcl") << QByteArray() << QByteArrayList{"caf\xE9.dcl"};
    QTest::newRow("open, quotes, typed") << open << QByteArray() << QByteArray() << quoted + ".dcl"
                                         << QByteArrayList{quoted + ".dcl"};
    QTest::newRow("several, quotes, typed")
        << many << QByteArray() << QByteArray() << quoted + ".dcl" << QByteArrayList{quoted + ".dcl"};
    QTest::newRow("several, a list") << many << QByteArray() << QByteArray() << QByteArray("\"a.dcl\" \"b.dcl\"")
                                     << QByteArrayList{"a.dcl", "b.dcl"};
    QTest::newRow("save, no UTF-8, proposed")
        << save << QByteArray("caf\xE9.html") << QByteArray() << QByteArray() << QByteArrayList{"caf\xE9.html"};
    QTest::newRow("save, quotes, proposed")
        << save << quoted + ".html" << QByteArray() << QByteArray() << QByteArrayList{quoted + ".html"};
  }
  void theFileChooserKeepsEveryNameAsItsBytes() {
    QFETCH(int, mode);
    QFETCH(QByteArray, proposed);
    QFETCH(QByteArray, picked);
    QFETCH(QByteArray, typed);
    QFETCH(QByteArrayList, chosen);
    const std::string folder = FHome.path().toStdString() + "/names/";
    for (const char* name : {"caf\xE9.dcl", "a.dcl", "b.dcl", "notes.txt",
                             "Facture \"n\xC2\xB0"
                             "1\" l'\xC3\xA9t\xC3\xA9.dcl"})
      QVERIFY(testsupport::WriteFileBytes(folder + name, "x"));
    dialogs::TFileDialogRequest request;
    request.Directory = NameFromNative(folder);
    request.FileName = NameFromNative(proposed.toStdString());
    request.Filters = {"Morvo Quillset Document (*.dcl)"};
    TFileChooser dialog(nullptr, TFileChooser::TMode(mode), request);
    auto* list = dialog.findChild<QTreeView*>("listView");
    QStringList shown;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
      const QModelIndex index = list->model()->index(row, 0);
      shown << index.data().toString();
      if (!picked.isEmpty() && index.data(Qt::UserRole) == NameFromNative(picked.toStdString()))
        list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QCOMPARE(shown, QStringList({"a.dcl", "b.dcl", QString::fromUtf8("caf\xC3\xA9.dcl"),
                                 QString::fromUtf8("Facture \"n\xC2\xB0"
                                                   "1\" l'\xC3\xA9t\xC3\xA9.dcl")}));
    if (!typed.isEmpty()) {
      auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
      // As the user types it.
      name->setText(QString::fromUtf8(typed));
      emit name->textEdited(name->text());
    }
    dialog.accept();
    QStringList expected;
    for (const QByteArray& name : chosen) expected << NameFromNative(folder + name.toStdString());
    QCOMPARE(dialog.Chosen(), expected);
  }

  void applicationErrorReportEndsWithPeriod() {
    ShowApplicationError("Invalid data type for 'FrmFind'");
    ShowApplicationError("Cannot open file \"caf\xE9.dcl\"");
    QCOMPARE(dialogs::Recorded().size(), 2);
    QCOMPARE(dialogs::Recorded()[0].Text, QString("Invalid data type for 'FrmFind'."));
    QCOMPARE(dialogs::Recorded()[1].Text, QString::fromUtf8("Cannot open file \"caf\xC3\xA9.dcl\"."));
    QCOMPARE(dialogs::Recorded()[0].Title, QString("Morvo Object Reader"));
    QCOMPARE(dialogs::Recorded()[0].Flags, unsigned(MB_ICONERROR));
    // A command that runs out of memory says so in words.
    RunReportingFailure([] { throw std::bad_alloc(); });
    QCOMPARE(dialogs::Recorded().value(2).Text, QString("Not enough memory."));
  }

  // --- window positions

  void savedPositionIsSixteenLittleEndianBytes() {
    ClearPositions();
    QWidget w;
    w.setObjectName("FrmTest");
    w.setGeometry(300, 200, 400, 250);
    // Never shown and given no stored place: the user's place stays stored.
    SaveDlgPos(&w, "");
    QCOMPARE(StoredBinary("FrmTest"), std::string("<no key>"));
    LoadDlgPos(&w, "");
    SaveDlgPos(&w, "");
    QCOMPARE(StoredBinary("FrmTest"), std::string("<no value>"));
    w.show();
    w.hide();
    SaveDlgPos(&w, "");
    const QRect r = w.frameGeometry();
    QCOMPARE(StoredBinary("FrmTest"), Record(r.left(), r.top(), r.width(), r.height()));
    // A maximised window stores negative edges as two's complement.
    w.move(-8, -8);
    SaveDlgPos(&w, "FrmOther");
    QCOMPARE(StoredBinary("FrmOther").substr(0, 8), std::string("\xF8\xFF\xFF\xFF\xF8\xFF\xFF\xFF", 8));
  }

  void resetStopsAllSaving() {
    ClearPositions();
    gSaveDlgPos = false;
    QWidget w;
    w.setGeometry(300, 200, 400, 250);
    SaveDlgPos(&w, "FrmTest");
    QCOMPARE(StoredBinary("FrmTest"), std::string("<no key>"));
    // Loading does not look at the switch and still creates the key.
    LoadDlgPos(&w, "FrmTest");
    QCOMPARE(StoredBinary("FrmTest"), std::string("<no value>"));
  }

  void loadChecksEveryField_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QRect>("expected");  // the window starts at 50,60 400x250
    auto rec = [](int L, int T, int W, int H) { return QByteArray::fromStdString(Record(L, T, W, H)); };
    QTest::newRow("small size kept, position moves") << rec(400, 300, 100, 40) << 96 << QRect(400, 300, 400, 250);
    QTest::newRow("size restored at 96 dpi") << rec(400, 300, 500, 350) << 96 << QRect(400, 300, 500, 350);
    QTest::newRow("only position at 120 dpi") << rec(400, 300, 500, 350) << 120 << QRect(400, 300, 400, 250);
    QTest::newRow("left off screen keeps left") << rec(1000, 300, 500, 350) << 96 << QRect(50, 300, 500, 350);
    QTest::newRow("top off screen keeps top") << rec(400, 719, 500, 350) << 96 << QRect(400, 60, 500, 350);
    QTest::newRow("edge just on screen") << rec(974, 718, 500, 350) << 96 << QRect(974, 718, 500, 350);
    QTest::newRow("top of zero restores nothing") << rec(400, 0, 500, 350) << 96 << QRect(50, 60, 400, 250);
    QTest::newRow("maximised edges restore nothing") << rec(-8, -8, 1040, 784) << 96 << QRect(50, 60, 400, 250);
    QTest::newRow("short value: width and height 0") << rec(400, 300, 0, 0).left(8) << 96 << QRect(400, 300, 400, 250);
    QTest::newRow("value of 4 bytes leaves top 0") << rec(400, 300, 0, 0).left(4) << 96 << QRect(50, 60, 400, 250);
    QTest::newRow("value of 5 bytes: low byte of top") << rec(400, 300, 0, 0).left(5) << 96 << QRect(400, 44, 400, 250);
    QTest::newRow("empty value restores nothing") << QByteArray() << 96 << QRect(50, 60, 400, 250);
  }
  // A place loaded from the store is known: the window stores it again, shown or not.
  void loadChecksEveryField() {
    QFETCH(QByteArray, stored);
    QFETCH(int, dpi);
    QFETCH(QRect, expected);
    ClearPositions();
    SetDlgPosScreenOverride(QSize(1024, 768), dpi);
    StoreBinary("FrmTest", stored.toStdString());
    QWidget w;
    w.setGeometry(50, 60, 400, 250);
    LoadDlgPos(&w, "FrmTest");
    QCOMPARE(w.frameGeometry(), expected);
    SaveDlgPos(&w, "FrmTest");
    if (expected.topLeft() != QPoint(50, 60))
      QCOMPARE(StoredBinary("FrmTest"), Record(expected.left(), expected.top(), expected.width(), expected.height()));
    else
      QCOMPARE(QByteArray::fromStdString(StoredBinary("FrmTest")), stored);
  }

  void missingValueRestoresNothing() {
    ClearPositions();
    QWidget w;
    w.setGeometry(50, 60, 400, 250);
    LoadDlgPos(&w, "FrmNeverStored");
    QCOMPARE(w.frameGeometry(), QRect(50, 60, 400, 250));
  }

  void wrongValuesAreReadErrors() {
    ClearPositions();
    StoreBinary("FrmLong", Record(400, 300, 500, 350) + "x");
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kDlgPosKey, true));
      reg.WriteString("FrmText", "400,300");
    }
    QWidget w;
    w.setGeometry(50, 60, 400, 250);
    QVERIFY_THROWS_EXCEPTION(EMorvoError, LoadDlgPos(&w, "FrmLong"));
    QVERIFY_THROWS_EXCEPTION(EMorvoError, LoadDlgPos(&w, "FrmText"));
    QCOMPARE(w.frameGeometry(), QRect(50, 60, 400, 250));
    // From an event handler the failure goes to the error report.
    LoadDlgPosReporting(&w, "FrmLong");
    QCOMPARE(dialogs::Recorded().size(), 1);
    QCOMPARE(dialogs::Recorded()[0].Text, QString("Invalid data type for 'FrmLong'."));
  }

  // --- the link label

  void labelMadeInCodeShowsDefaultAddress() {
    TURLLabel label;
    QCOMPARE(label.text(), "http://" + TURLLabel::kDefaultWebAddress);
    QCOMPARE(label.URL(), TURLLabel::kDefaultWebAddress);
    QCOMPARE(label.Hint(), QString());  // stays empty until the address changes
    QVERIFY(label.URLAsHint());
    QCOMPARE(label.LinkType(), TURLLabel::ltHTTP);
    QCOMPARE(label.LabelType(), TURLLabel::Auto);
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    label.SetShowPrefix(false);
    QCOMPARE(label.text(), TURLLabel::kDefaultWebAddress);
    QCOMPARE(label.Hint(), TURLLabel::kDefaultWebAddress);
    QVERIFY(label.LinkFont().Font.underline());
    QCOMPARE(label.LinkFont().Color, QColor(0, 0, 255));
    QVERIFY(!label.PassiveFont().Font.underline());
  }

  void addressWritesStripOnlyHttpAndMailto() {
    TURLLabel label;
    label.SetURL("mailto:someone@kelbrun.example");
    QCOMPARE(label.URL(), QString("someone@kelbrun.example"));
    QCOMPARE(label.LinkType(), TURLLabel::ltMailTo);
    QCOMPARE(label.text(), QString("mailto:someone@kelbrun.example"));
    QCOMPARE(label.Hint(), label.text());

    TURLLabel web;
    web.SetURL("HTTP://Example.ORG/page");
    QCOMPARE(web.URL(), QString("Example.ORG/page"));
    QCOMPARE(web.text(), QString("http://Example.ORG/page"));

    TURLLabel ftp;
    ftp.SetLinkType(TURLLabel::ltFTP);
    ftp.SetURL("ftp://files.example.org");
    QCOMPARE(ftp.text(), QString("ftp://ftp://files.example.org"));
  }

  void linkTypeSwapsOnlyTheDefaultAddresses() {
    TURLLabel label;
    label.SetLinkType(TURLLabel::ltMailTo);
    QCOMPARE(label.URL(), TURLLabel::kDefaultMailAddress);
    QCOMPARE(label.text(), "mailto:" + TURLLabel::kDefaultMailAddress);
    label.SetLinkType(TURLLabel::ltHTTP);
    QCOMPARE(label.URL(), TURLLabel::kDefaultWebAddress);
    label.SetURL("www.example.org");
    label.SetLinkType(TURLLabel::ltMailTo);
    QCOMPARE(label.URL(), QString("www.example.org"));
    QCOMPARE(label.text(), QString("mailto:www.example.org"));
  }

  void writtenCaptionIsNeverReplaced() {
    TURLLabel label;
    label.SetCaption("Loading. Please Wait");
    label.SetURL("http://other.example.org");
    label.SetLinkType(TURLLabel::ltNews);
    label.SetShowPrefix(false);
    QCOMPARE(label.text(), QString("Loading. Please Wait"));
    QCOMPARE(label.DisplayURL(), QString("other.example.org"));
    // A caption's "&" is shown as typed: a label has no accelerator.
    label.SetCaption("C&redits");
    QCOMPARE(label.text(), QString("C&redits"));
  }

  void hintFollowsAddressOnlyWhileUrlAsHint() {
    TURLLabel label;
    label.SetHint("a hint of its own");
    label.SetURLAsHint(false);
    QCOMPARE(label.Hint(), QString());
    label.SetURL("www.example.org");
    QCOMPARE(label.Hint(), QString());
    label.SetURLAsHint(true);
    QCOMPARE(label.Hint(), QString("http://www.example.org"));
  }

  void clickOpensByLabelTypeAndHandler() {
    int clicks = 0;
    {
      TURLLabel active, autoLabel, passive;
      for (TURLLabel* l : {&active, &autoLabel, &passive})
        connect(l, &TURLLabel::clicked, this, [&clicks] { ++clicks; });
      active.SetLabelType(TURLLabel::Active);
      passive.SetLabelType(TURLLabel::Passive);
      active.SetURL("www.a.example");
      autoLabel.SetURL("www.b.example");
      passive.SetURL("www.c.example");
      QVERIFY(!autoLabel.HandlerFound());
      for (TURLLabel* l : {&active, &autoLabel, &passive}) l->Click();
      QCOMPARE(FOpened, QStringList{"http://www.a.example"});
      QCOMPARE(clicks, 3);  // OnClick runs whatever happens after it
    }
    FOpened.clear();
    SetHandlers(true, false);
    TURLLabel web;  // the handler is looked up when the link type is set
    web.SetShowPrefix(false);
    web.SetURL("www.d.example");
    QVERIFY(web.HandlerFound());
    web.Click();
    QCOMPARE(FOpened, QStringList{"http://www.d.example"});  // always with its prefix
    web.SetURL("me@kelbrun.example");
    QVERIFY(!web.HandlerFound());  // no mail program
    SetHandlers(true, true);
    TURLLabel mail;
    mail.SetURL("you@kelbrun.example");
    QVERIFY(mail.HandlerFound());
  }

  void mouseOverChangesOnlyAutoFonts() {
    TURLLabel autoLabel, passive, active;
    passive.SetLabelType(TURLLabel::Passive);
    active.SetLabelType(TURLLabel::Active);
    QVERIFY(active.font().underline());
    QVERIFY(!autoLabel.font().underline());
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QEvent leave(QEvent::Leave);
    for (TURLLabel* l : {&autoLabel, &passive, &active}) QApplication::sendEvent(l, &enter);
    QVERIFY(autoLabel.font().underline());
    QCOMPARE(autoLabel.palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(!passive.font().underline());
    for (TURLLabel* l : {&autoLabel, &passive, &active}) QApplication::sendEvent(l, &leave);
    QVERIFY(!autoLabel.font().underline());
    QVERIFY(active.font().underline());
  }

  void mouseReleaseOutsideIsNoClick() {
    TURLLabel label;
    label.SetLabelType(TURLLabel::Active);
    label.resize(100, 20);
    label.show();
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(FOpened.size(), 1);
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(500, 5));
    QCOMPARE(FOpened.size(), 1);
  }

  // --- wait, about and credits windows

  void waitWindowIsNarrowAndResetsItsText() {
    ClearPositions();
    SetDlgPosScreenOverride(QSize(1024, 768), 96);
    StoreBinary("FrmWait", Record(300, 200, 200, 40));
    TFrmWait wait;
    QCOMPARE(wait.frameGeometry().topLeft(), QPoint(300, 200));
    QVERIFY(wait.width() <= 70);
    QCOMPARE(wait.maximumWidth(), 70);
    QVERIFY(qAbs(wait.windowOpacity() - 125.0 / 255.0) < 0.01);
    QCOMPARE(wait.windowTitle(), QString("ZIB"));
    QCOMPARE(wait.laWait->text(), QString("Loading. Please Wait"));
    QVERIFY(wait.laWait->CaptionSet());

    wait.ShowWait();
    QVERIFY(wait.isVisible());
    QVERIFY(!wait.isModal());
    wait.SetWaitText("Exporting Please Wait.");
    QCOMPARE(wait.laWait->text(), QString("Exporting Please Wait."));
    wait.close();
    QVERIFY(!wait.isVisible());
    // Every close stores the position.
    QCOMPARE(StoredBinary("FrmWait").size(), size_t(16));
    QCOMPARE(wait.laWait->text(), QString("Exporting Please Wait."));
    wait.ShowWait();
    QCOMPARE(wait.laWait->text(), QString("Loading. Please Wait"));
    // Showing it again while it stands keeps a progress text.
    wait.SetWaitText("Packing");
    wait.ShowWait();
    QCOMPARE(wait.laWait->text(), QString("Packing"));
    wait.close();
  }

  void waitWindowWithoutStoredPosition() {
    ClearPositions();
    TFrmWait wait;
    QCOMPARE(wait.frameGeometry().topLeft(), QPoint(455, 0));
    QCOMPARE(wait.width(), 70);
  }

  void aboutShowsTitleAndVersion() {
    TFrmAbout about;
    const QString version = QString::fromStdString(GetFileVersionString(ExecutablePath()));
    QVERIFY(!version.isEmpty());
    QCOMPARE(about.laProgVer->text(), "Morvo Object Reader  V" + version);
    QCOMPARE(about.windowTitle(), QString("Morvo Object Reader"));
    QCOMPARE(about.krWebZIB->text(), QString("View the ZIB website"));
    QCOMPARE(about.krWebZIB->LabelType(), TURLLabel::Active);
    QCOMPARE(about.ltMailZIB->text(), QString("Mail any comments"));
    QCOMPARE(about.ltMailZIB->LinkType(), TURLLabel::ltMailTo);
    // URLAsHint off after the address: neither link keeps a hint.
    QCOMPARE(about.ltMailZIB->Hint(), QString());
    QCOMPARE(about.krWebZIB->Hint(), QString());
    // Active links open even with no program registered for them.
    about.ltMailZIB->Click();
    about.krWebZIB->Click();
    QCOMPARE(FOpened, QStringList({"mailto:" + TFrmAbout::kMailAddress, "http://" + TFrmAbout::kWebPage}));
  }

  void emfWindowMenuPictures() {
    TfrmEMFSelect window;
    const std::pair<QAction*, int> items[] = {{window.mnuVersion->menuAction(), 33},
                                              {window.mnuPrintfiles, 28},
                                              {window.oright1, 31},
                                              {window.oLeft1, 32},
                                              {window.mnuSelectAll, 34}};
    for (const auto& [action, index] : items) {
      const QIcon expected(QString(":/icons/gui/%1.svg").arg(index));
      QVERIFY2(!expected.isNull() && !action->icon().isNull(), qPrintable(action->text()));
      QCOMPARE(action->icon().pixmap(16).toImage(), expected.pixmap(16).toImage());
    }
  }

  void creditsReturnToTheOpenAboutWindow() {
    ClearPositions();
    TFrmCredits credits;
    FrmCredits = &credits;
    TFrmAbout about;
    bool aboutOpenMeanwhile = false;
    int creditsResult = -1;
    dialogs::QueueDialogAction([&](QDialog* Dialog) {
      QCOMPARE(Dialog, static_cast<QDialog*>(&about));
      dialogs::QueueDialogAction([&](QDialog* Inner) {
        QCOMPARE(Inner, static_cast<QDialog*>(&credits));
        QCOMPARE(Inner->findChildren<TURLLabel*>().size(), 9);
        QCOMPARE(Inner->size(), QSize(495, 217));  // holding every row whole
        for (const QWidget* c : Inner->findChildren<QWidget*>())
          QVERIFY2(Inner->rect().contains(c->geometry()) && c->sizeHint().width() <= c->width(),
                   qPrintable(c->objectName()));
        Inner->findChild<QPushButton*>("BtnThanks")->click();
      });
      Dialog->findChild<QPushButton*>("Button1")->click();
      aboutOpenMeanwhile = Dialog->isVisible();
      creditsResult = credits.result();
      Dialog->findChild<QPushButton*>("BtnOK")->click();
    });
    QCOMPARE(dialogs::ExecDialog(&about), int(QDialog::Accepted));
    FrmCredits = nullptr;
    QVERIFY(aboutOpenMeanwhile);
    QCOMPARE(creditsResult, int(QDialog::Accepted));
    QVERIFY(!credits.isVisible());
    // Closing the about window stored its position; the credits window keeps none.
    QCOMPARE(StoredBinary("FrmAbout").size(), size_t(16));
    QCOMPARE(StoredBinary("FrmCredits"), std::string("<no value>"));
  }
};

QTEST_MAIN(TestSmallWindows)
#include "tst_smallwindows.moc"
