#include "catchingapp.h"
#include "devicefixture.h"

#include "afportmap.h"
#include "frame.h"
#include "pripoj.h"
#include "search.h"
#include "sysutils.h"
#include "testfiles.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

struct Dialog
{
    TFormPripoj form;
    QRadioButton *radio[5] = {};
    QComboBox *ports[5] = {};
    QComboBox *address = form.findChild<QComboBox *>("SelAdr");
    QPushButton *connect = form.findChild<QPushButton *>("Button1");
    QLabel *full = form.findChild<QLabel *>("LabFull");

    Dialog()
    {
        for (int n = 1; n <= 4; ++n) {
            radio[n] = form.findChild<QRadioButton *>(QStringLiteral("RadioButton%1").arg(n));
            ports[n] = form.findChild<QComboBox *>(QStringLiteral("ComboBox%1").arg(n));
        }
    }
    static QStringList Items(const QComboBox *c)
    {
        QStringList l;
        for (int i = 0; i < c->count(); ++i)
            l << c->itemText(i);
        return l;
    }
    // What the operator may choose: enabled lines (selected one marked *), enabled port list.
    QString Lines() const
    {
        QString s;
        for (int n = 1; n <= 4; ++n)
            s += radio[n]->isEnabled()
                     ? QString(QChar('A' + n - 1)) + (radio[n]->isChecked() ? "*" : "")
                     : "";
        for (int n = 1; n <= 4; ++n)
            s += ports[n]->isEnabled() ? QStringLiteral(" port %1").arg(n) : "";
        return s;
    }
    // The operator picks an item of line n's port list, or types a name into it.
    void Pick(int n, const QString &text)
    {
        const int i = ports[n]->findText(text);
        ports[n]->setCurrentIndex(i);
        emit ports[n]->activated(i);
    }
    void TypePort(int n, const QString &text)
    {
        ports[n]->lineEdit()->clear();
        QTest::keyClicks(ports[n]->lineEdit(), text);
    }
};

QStringList Range(int from, int to, QList<int> except = {})
{
    QStringList l;
    for (int a = from; a <= to; ++a)
        if (!except.contains(a))
            l << QString::number(a);
    return l;
}

} // namespace

class TstPripoj : public QObject
{
    Q_OBJECT
private slots:
    void layoutAndLanguage();
    void openingState_data();
    void openingState();
    void portExclusionNeverGivesBack();
    void connectNewLineThenJoinIt();
    void slotReuseWithDefaultColour();
    void openFailure_data();
    void openFailure();
    void portTextNotANumber_data();
    void portTextNotANumber();
    void refusals();
    void portDevicesInHints();
    void searchMarksAndAddsAll_data();
    void searchMarksAndAddsAll();
};

void TstPripoj::layoutAndLanguage()
{
    DeviceFixture f;
    Dialog d;
    QCOMPARE(FormPripoj, &d.form);
    // 211 × 227 for the dialog's own controls, and the search's row below them.
    QCOMPARE(d.form.size(), QSize(211, 227 + 56));
    QVERIFY(!(d.form.windowFlags() & Qt::WindowCloseButtonHint));
    auto at = [&](const char *name) { return d.form.findChild<QWidget *>(name)->geometry(); };
    QCOMPARE(at("Bevel1"), QRect(8, 8, 193, 129));
    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(d.radio[n]->geometry(), QRect(16, 16 + 32 * (n - 1), 81, 17));
        QCOMPARE(d.ports[n]->pos(), QPoint(112, 12 + 32 * (n - 1)));
        QCOMPARE(d.ports[n]->width(), 81);
        QVERIFY(d.ports[n]->isEditable());
        QCOMPARE(d.Items(d.ports[n]).size(), 15);
        QCOMPARE(d.Items(d.ports[n]).at(6), QStringLiteral("Com 07"));
    }
    QCOMPARE(at("Label1").topLeft(), QPoint(8, 158));
    QCOMPARE(at("SelAdr").topLeft(), QPoint(80, 152));
    QVERIFY(!d.address->isEditable());
    QCOMPARE(at("PanelColor"), QRect(160, 152, 28, 28));
    QCOMPARE(d.form.findChild<QWidget *>("PanelColor")->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(at("Button1"), QRect(24, 192, 75, 25));
    QCOMPARE(at("Button2"), QRect(112, 192, 75, 25));

    auto texts = [&] {
        QStringList l{d.form.windowTitle(), d.form.findChild<QLabel *>("Label1")->text()};
        for (int n = 1; n <= 4; ++n)
            l << d.radio[n]->text();
        return l << d.connect->text() << d.form.findChild<QPushButton *>("Button2")->text();
    };
    const QStringList czech{"Připojení zařízení",
                            "Adresa:",
                            "Linka A",
                            "Linka B",
                            "Linka C",
                            "Linka D",
                            "Připoj",
                            "Storno"};
    QCOMPARE(texts(), czech);
    d.form.ApplyLanguage(lsEnglish);
    QCOMPARE(texts(), QStringList({"Addition device", "Address:", "Line A", "Line B", "Line C",
                                   "Line D", "Add", "Cancel"}));
    QCOMPARE(d.full->text(), QStringLiteral("No free address on this line."));
    d.form.ApplyLanguage(lsNone);
    QCOMPARE(d.connect->text(), QStringLiteral("Add"));
    d.form.ApplyLanguage(lsCzech);
    QCOMPARE(texts(), czech);
}

void TstPripoj::openingState_data()
{
    QTest::addColumn<QList<QPoint>>("sources"); // (line, address) in slots 1, 2, ...
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("lineA"); // offered when line A is selected
    QTest::addColumn<uint>("swatch");
    QTest::newRow("first opening")
        << QList<QPoint>{} << "A* port 1" << Range(0, 31) << Range(0, 31) << 0xFF0000u;
    QTest::newRow("two on line A") << QList<QPoint>{{1, 0}, {1, 5}} << "A*B port 2"
                                   << Range(0, 31, {0, 5}) << Range(0, 31, {0, 5}) << 0x00FF00u;
    QTest::newRow("line B open, A not") << QList<QPoint>{{2, 3}, {2, 4}} << "AB* port 1"
                                        << Range(0, 31, {3, 4}) << Range(0, 31) << 0x00FF00u;
    QTest::newRow("all four open") << QList<QPoint>{{1, 0}, {2, 0}, {3, 0}, {4, 7}, {3, 1}}
                                   << "ABCD*" << Range(0, 31, {7}) << Range(1, 31) << 0x008000u;
}

void TstPripoj::openingState()
{
    QFETCH(QList<QPoint>, sources);
    QFETCH(QString, lines);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, lineA);
    QFETCH(uint, swatch);
    DeviceFixture f;
    for (int i = 0; i < sources.size(); ++i)
        f.Connect(i + 1, sources[i].x(), sources[i].y());
    Dialog d;
    for (int n = 1; n <= 4; ++n)
        d.ports[n]->setEditText("Com 09"); // what an earlier opening left
    d.form.show();
    QCOMPARE(d.Lines(), lines);
    QCOMPARE(d.Items(d.address), addresses);
    QCOMPARE(d.address->currentIndex(), 0);
    QCOMPARE(d.form.SwatchColor(), ColorFromRgb(swatch));
    for (int n = 1; n <= 4; ++n) // a line in use keeps showing its port
        QCOMPARE(d.ports[n]->currentText().isEmpty(), !f.ports[n]->open);
    QVERIFY(!d.connect->isEnabled()); // until a port is chosen
    QVERIFY(!d.full->isVisibleTo(&d.form));
    d.radio[1]->click();
    QCOMPARE(d.Items(d.address), lineA);
}

void TstPripoj::portExclusionNeverGivesBack()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    Dialog d;
    d.ports[1]->setCurrentIndex(4); // line A is on Com 05
    d.form.show();
    d.Pick(2, "Com 03");
    QVERIFY(d.radio[2]->isChecked()); // choosing a port selects its line
    QVERIFY(d.connect->isEnabled());
    d.Pick(2, "Com 04");
    d.TypePort(2, "Com 05"); // typed names exclude too
    for (int n : {1, 3, 4}) {
        const QStringList items = d.Items(d.ports[n]);
        QVERIFY(!items.contains("Com 03") && !items.contains("Com 04") &&
                !items.contains("Com 05"));
        QCOMPARE(items.size(), 12);
    }
    QCOMPARE(d.Items(d.ports[2]).size(), 15);
    QCOMPARE(d.ports[1]->currentText(), QStringLiteral("Com 05")); // line A keeps its port
    // A typed name that is no item is never added; reopening gives nothing back.
    d.TypePort(2, "Com 99");
    QTest::keyClick(d.ports[2]->lineEdit(), Qt::Key_Return);
    d.form.hide();
    d.form.show();
    QCOMPARE(d.Items(d.ports[2]).size(), 15);
    QCOMPARE(d.Items(d.ports[3]).size(), 12);
    QVERIFY(d.connect->isEnabled()); // stays enabled once a port was chosen
}

void TstPripoj::connectNewLineThenJoinIt()
{
    DeviceFixture f;
    int languageCalls = 0;
    Services().ApplyLanguage = [&] { ++languageCalls; };
    Devices[1].Steps[17] = ProgramStep{5, 12.5, 3};
    Dialog d;
    d.form.show();
    d.Pick(1, "Com 07");
    d.address->setCurrentIndex(12);
    d.connect->click();
    QCOMPARE(f.ports[1]->ComNumber(), 7);
    QCOMPARE(f.ports[1]->opens, 1);
    QVERIFY(f.main.ControlLines->isTabVisible(0) && !f.main.ControlLines->isTabVisible(1));
    const TDevice &s = Devices[1];
    QVERIFY(s.Used && s.Line == 1 && s.Address == 12 && Lines[1].Cur == 1 && DeviceCount == 1);
    QCOMPARE(s.Label1->text(), QStringLiteral("1: Adr. 12"));
    QCOMPARE(s.PanelCol->Color(), ColorFromRgb(0xFF0000));
    QCOMPARE(s.LabKrok->text(), QStringLiteral("Krok = 0"));
    QVERIFY(s.Steps[17].Next == 0 && s.Steps[17].U == 0 && s.StepNo == 0);
    QCOMPARE(f.main.CheckZaz->item(0)->text(), QStringLiteral("01: Adr. = 12"));
    QCOMPARE(languageCalls, 1);
    QVERIFY(!d.form.isVisible());

    // A second source joins the open line: no port is opened again, the colour is chosen.
    f.main.ControlLines->setTabVisible(0, false);
    d.form.show();
    f.colorDial.answer = QColor(0x20, 0x40, 0x60);
    QTest::mouseClick(d.form.findChild<QWidget *>("PanelColor"), Qt::LeftButton);
    QCOMPARE(f.colorDial.presetSeen, ColorFromRgb(0x0000FF));
    d.connect->click();
    QCOMPARE(f.ports[1]->opens, 1);
    QVERIFY(!f.main.ControlLines->isTabVisible(0));
    QVERIFY(Devices[2].Line == 1 && Devices[2].Address == 0 && Lines[1].Cur == 2);
    QCOMPARE(Devices[2].PanelCol->Color(), QColor(0x20, 0x40, 0x60));
    QCOMPARE(Devices[2].PanDev->pos(), QPoint(245, 5));
}

void TstPripoj::slotReuseWithDefaultColour()
{
    DeviceFixture f;
    for (int i = 1; i <= 3; ++i)
        f.Connect(i, 1, i - 1);
    Lines[1].Cur = 3;
    RemoveDevice(2);
    Dialog d;
    d.form.show();
    QCOMPARE(d.form.SwatchColor(), ColorFromRgb(0x0000FF));
    d.Pick(2, "Com 05");
    d.radio[1]->click();
    QCOMPARE(d.Items(d.address), Range(0, 31, {0, 2})); // the removed source's 1 is free
    d.connect->click();
    QVERIFY(Devices[2].Used && Lines[1].Cur == 2 && DeviceCount == 3);
    QCOMPARE(Devices[2].Label1->text(), QStringLiteral("2: Adr. 1"));
    QCOMPARE(Devices[2].PanelCol->Color(), ColorFromRgb(0x0000FF));
    QCOMPARE(Devices[3].PanDev->pos(), QPoint(5, 210));
    for (int slot = 15; slot <= 50; slot += 35)
        QCOMPARE(DefaultSourceColor(slot), ColorFromRgb(0xC0C0C0));
    QCOMPARE(DefaultSourceColor(0), ColorFromRgb(0xC0C0C0));
    QCOMPARE(DefaultSourceColor(14), ColorFromRgb(0x800080));
}

void TstPripoj::openFailure_data()
{
    QTest::addColumn<int>("line");
    QTest::newRow("A") << 1;
    QTest::newRow("C") << 3;
    QTest::newRow("D") << 4;
}

void TstPripoj::openFailure()
{
    QFETCH(int, line);
    DeviceFixture f;
    for (int n = 1; n < line; ++n)
        f.Connect(n, n, 0);
    int languageCalls = 0;
    Services().ApplyLanguage = [&] { ++languageCalls; };
    f.ports[line]->failOpen = true;
    Dialog d;
    d.form.show();
    d.Pick(line, "Com 08");
    MessageCatcher catcher;
    d.connect->click();
    // The line number is a digit: line D gives "Linka 4".
    QCOMPARE(catcher.texts, QStringList{QStringLiteral("Linka %1 nelze otevřít.").arg(line)});
    QCOMPARE(f.ports[line]->ComNumber(), 8);
    QVERIFY(DeviceCount == line - 1 && !Devices[line].Used && Lines[line].Cur == NoDevice);
    QVERIFY(f.main.ControlLines->isTabVisible(line - 1)); // the line's page shows anyway
    QCOMPARE(languageCalls, 1);
    QVERIFY(!d.form.isVisible());
    d.form.show(); // the same line is again the one that takes a port
    QVERIFY(d.ports[line]->isEnabled() && d.radio[line]->isEnabled());
}

void TstPripoj::portTextNotANumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("nothing chosen") << ""
                                    << "'' is not a valid integer value";
    QTest::newRow("typed word") << "Port A1"
                                << "' A' is not a valid integer value";
    QTest::newRow("letters") << "Com xy"
                             << "'xy' is not a valid integer value";
}

void TstPripoj::portTextNotANumber()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    DeviceFixture f;
    Dialog d;
    d.form.show();
    d.TypePort(1, "x");
    d.TypePort(1, text);
    QString caught;
    try {
        d.form.Button1Click();
    } catch (const EConvertError &e) {
        caught = QString::fromUtf8(e.what());
    }
    QCOMPARE(caught, error);
    // A click lets it out to the application, which shows it; the dialog stays open.
    QTest::mouseClick(d.connect, Qt::LeftButton);
    QTRY_COMPARE(CaughtErrors, QStringList{error});
    CaughtErrors.clear();
    QVERIFY(d.form.isVisible() && DeviceCount == 0 && f.ports[1]->opens == 0);
    QVERIFY(!f.main.ControlLines->isTabVisible(0));
    d.TypePort(1, "Com 06"); // corrected, it goes on
    d.connect->click();
    QVERIFY(DeviceCount == 1 && f.ports[1]->ComNumber() == 6);
}

void TstPripoj::refusals()
{
    DeviceFixture f;
    for (int i = 1; i <= 50; ++i)
        f.Connect(i, 1 + (i - 1) / 32, (i - 1) % 32);
    Dialog d;
    d.form.show();
    QCOMPARE(d.form.SwatchColor(), ColorFromRgb(0xC0C0C0));
    // A line whose 32 addresses are taken cannot be joined, and says why.
    d.Pick(3, "Com 09");
    d.radio[1]->click();
    QVERIFY(d.Items(d.address).isEmpty() && !d.connect->isEnabled());
    QVERIFY(d.full->isVisibleTo(&d.form));
    d.form.Button1Click();
    QVERIFY(d.form.isVisible());
    // A 51st source is refused without opening a port; the program goes on.
    d.radio[3]->click();
    QVERIFY(d.connect->isEnabled() && !d.full->isVisibleTo(&d.form));
    MessageCatcher catcher;
    d.connect->click();
    QCOMPARE(catcher.texts, QStringList{"Aktivováno mnoho zařízení"});
    QVERIFY(DeviceCount == 50 && f.ports[3]->opens == 0 && !d.form.isVisible());
    QVERIFY(Devices[50].Line == 2 && Devices[50].Address == 17);
}

void TstPripoj::portDevicesInHints()
{
    DeviceFixture f;
    // Com 03 names a device that is there, Com 04 one that is not; the rest are defaults.
    const QString here = f.dir.filePath("ttyUSB-here");
    const QString gone = f.dir.filePath("ttyUSB-gone");
    QVERIFY(WriteFile(here, ""));
    const QString ini = f.dir.filePath("ardemo.INI");
    QVERIFY(WriteFile(ini, "[Setup]\r\nLang=cz\r\n[Ports]\r\nCOM3=" + here.toUtf8() +
                               "\r\nCOM4=" + gone.toUtf8() + "\r\n"));
    AfSetPortMapFile(ini);
    struct Reset
    {
        ~Reset() { AfSetPortMapFile(QString()); }
    } reset;

    f.Connect(1, 1, 0);
    f.ports[1]->open = true;
    Dialog d;
    d.ports[1]->setCurrentIndex(4);
    auto hint = [&](int n, const QString &item) {
        const int i = d.ports[n]->findText(item);
        return i < 0 ? QStringLiteral("(no item)")
                     : d.ports[n]->itemData(i, Qt::ToolTipRole).toString();
    };
    auto expected = [](int com, const QString &path, const char *state) {
        return QStringLiteral("COM%1 → %2 (%3)").arg(com).arg(path, QString::fromUtf8(state));
    };
    auto defaultState = [](int com, const char *yes, const char *no) {
        return QFileInfo::exists(QStringLiteral("/dev/ttyS%1").arg(com - 1)) ? yes : no;
    };

    d.form.show();
    for (int n = 1; n <= 4; ++n) { // every list, the disabled ones too
        QCOMPARE(hint(n, "Com 03"), expected(3, here, "nalezeno"));
        QCOMPARE(hint(n, "Com 04"), expected(4, gone, "nenalezeno"));
        for (int com : {1, 2, 5, 15})
            QCOMPARE(hint(n, QStringLiteral("Com %1").arg(com, 2, 10, QChar('0'))),
                     expected(com, QStringLiteral("/dev/ttyS%1").arg(com - 1),
                              defaultState(com, "nalezeno", "nenalezeno")));
    }
    // The dialog works as before: choosing a port and the lines offered are unchanged.
    QCOMPARE(d.Lines(), QStringLiteral("A*B port 2"));
    QCOMPARE(d.Items(d.ports[2]).size(), 15);
    QVERIFY(!d.connect->isEnabled());

    d.form.ApplyLanguage(lsEnglish);
    QCOMPARE(hint(2, "Com 03"), expected(3, here, "present"));
    QCOMPARE(hint(3, "Com 04"), expected(4, gone, "not found"));
    QCOMPARE(hint(4, "Com 07"), expected(7, "/dev/ttyS6", defaultState(7, "present", "not found")));

    // The port a list shows tells its device too, picked or typed; line A keeps Com 05.
    QCOMPARE(d.ports[1]->toolTip(),
             expected(5, "/dev/ttyS4", defaultState(5, "present", "not found")));
    QCOMPARE(d.ports[2]->toolTip(), QString()); // nothing chosen yet
    d.TypePort(2, "Com 04");
    QCOMPARE(d.ports[2]->toolTip(), expected(4, gone, "not found"));
    d.TypePort(2, "Com x");
    QCOMPARE(d.ports[2]->toolTip(), QString());

    // Devices come and go while the dialog is hidden: the next showing tells.
    d.Pick(2, "Com 03"); // a port chosen for line B leaves the other lists
    QCOMPARE(d.ports[2]->toolTip(), expected(3, here, "present"));
    d.form.hide();
    QVERIFY(QFile::remove(here));
    QVERIFY(WriteFile(gone, ""));
    d.form.show();
    QCOMPARE(hint(1, "Com 03"), QStringLiteral("(no item)"));
    QCOMPARE(hint(2, "Com 03"), expected(3, here, "not found"));
    QCOMPARE(hint(2, "Com 04"), expected(4, gone, "present"));
    QCOMPARE(d.ports[2]->toolTip(), QString()); // a line not in use shows no port again
    QCOMPARE(d.ports[1]->toolTip(),
             expected(5, "/dev/ttyS4", defaultState(5, "present", "not found")));
    d.form.ApplyLanguage(lsNone); // no set chosen: the texts stay as they are
    QCOMPARE(hint(2, "Com 04"), expected(4, gone, "present"));
    d.form.ApplyLanguage(lsCzech);
    QCOMPARE(hint(2, "Com 04"), expected(4, gone, "nalezeno"));
    d.form.hide();
}

void TstPripoj::searchMarksAndAddsAll_data()
{
    QTest::addColumn<int>("before");   // sources connected on line B beforehand
    QTest::addColumn<int>("added");    // sources "Add all" connects on line A
    QTest::addColumn<bool>("refused"); // the 50-source message shown
    QTest::newRow("empty station") << 0 << 3 << false;
    QTest::newRow("room for two") << 48 << 2 << true;
}

void TstPripoj::searchMarksAndAddsAll()
{
    QFETCH(int, before);
    QFETCH(int, added);
    QFETCH(bool, refused);
    DeviceFixture f;
    for (int i = 1; i <= before; ++i)
        f.Connect(i, 2 + (i - 1) / 32, (i - 1) % 32);
    Dialog d;
    d.form.show();
    d.Pick(1, "Com 07");
    d.radio[1]->click();
    auto *search = d.form.findChild<QPushButton *>("ButtSearch");
    auto *addAll = d.form.findChild<QPushButton *>("ButtAddAll");
    QVERIFY(search->isEnabled() && !addAll->isEnabled());
    search->click();
    QCOMPARE(f.ports[1]->opens, 1);
    QCOMPARE(search->text(), QStringLiteral("Zastavit"));
    // Three addresses answer, as the line's scheduler would hand their replies over.
    const QMap<int, QByteArray> answers = {
        {5, "#05TYPZDR300-SVC77\r"}, {9, "#09TYPZDR150VC1\r"}, {30, "#1ETYPZDR600-SVC2\r"}};
    QByteArray frame;
    while (SearchTakesTurn(1, &frame)) {
        const int a = SearchOf(1).Asking;
        QCOMPARE(frame, BuildFrame(a, cmdID, "?"));
        if (answers.contains(a))
            SearchReply(1, QString::fromLatin1(answers[a]));
        else
            SearchNoAnswer(1);
    }
    QTRY_COMPARE(search->text(), QStringLiteral("Hledat"));
    const QStringList items = d.Items(d.address);
    QCOMPARE(items.size(), 32);
    QCOMPARE(items[5], QStringLiteral("5 — ZDR300-S"));
    QCOMPARE(items[9], QStringLiteral("9 — ZDR150"));
    QCOMPARE(items[30], QStringLiteral("30 — ZDR600-S"));
    QCOMPARE(items[6], QStringLiteral("6"));
    QVERIFY(addAll->isEnabled());

    MessageCatcher catcher;
    addAll->click();
    QCOMPARE(catcher.texts, refused ? QStringList{"Aktivováno mnoho zařízení"} : QStringList{});
    QCOMPARE(DeviceCount, before + added);
    QVERIFY(!d.form.isVisible());
    const int found[] = {5, 9, 30};
    for (int i = 0; i < added; ++i) {
        const TDevice &s = Devices[before + 1 + i]; // each in the next free slot, in order
        QVERIFY(s.Used);
        QCOMPARE(s.Line, 1);
        QCOMPARE(s.Address, found[i]);
    }
}

CATCHING_TEST_MAIN(QApplication, TstPripoj)
#include "tst_pripoj.moc"
