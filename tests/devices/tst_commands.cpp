#include "devicefixture.h"
#include "recordbox.h"

#include "commands.h"

#include <QTest>

namespace {
const QColor Gray = ColorFromRgb(0x808080);
const QColor Black = ColorFromRgb(0x000000);

// Types keys as the keyboard does: "<" is Backspace, "^" Ctrl+Enter, "|" Enter.
void Type(TEdit *e, const QString &keys)
{
    for (QChar k : keys) {
        if (k == '<')
            QTest::keyClick(e, Qt::Key_Backspace);
        else if (k == '^')
            QTest::keyClick(e, Qt::Key_Return, Qt::ControlModifier);
        else if (k == '|')
            QTest::keyClick(e, Qt::Key_Return);
        else
            QTest::keyClicks(e, QString(k));
    }
}
} // namespace

class TstCommands : public QObject
{
    Q_OBJECT
private slots:
    void keyFilters_data();
    void keyFilters();
    void sendWithEnterAndSet_data();
    void sendWithEnterAndSet();
    void toggles();
    void allSourcesButtons();
};

void TstCommands::keyFilters_data()
{
    QTest::addColumn<int>("entry"); // 1 voltage, 2 tolerance
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("sent"); // the entry shows an already sent value (gray)
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("grayAfter");
    auto row = [](const char *n, int e, QString b, bool s, QString k, QString a, bool g) {
        QTest::newRow(n) << e << b << s << k << a << g;
    };
    row("U 25 then 5 gives 255", 1, "25", false, "5", "255", false);
    row("U 25 then 6 refused", 1, "25", false, "6", "25", false);
    row("U 26 then 0 refused", 1, "26", false, "0", "26", false);
    row("U empty takes 0", 1, "", false, "0", "0", false);
    row("U sent value replaced", 1, "255", true, "37", "37", false);
    row("U full stop, comma, letter, minus, blank", 1, "12", false, ".,a- ", "12", false);
    row("U letter leaves sent gray", 1, "40", true, "x", "40", true);
    row("U backspace empties all", 1, "125", false, "<", "", false);
    row("U backspace keeps gray", 1, "125", true, "<", "", true);
    row("U ctrl-enter empties", 1, "99", false, "^", "", false);
    row("T 7 then 3 leaves 3", 2, "", false, "73", "3", false);
    row("T 0 refused", 2, "4", false, "0", "4", false);
    row("T sent replaced", 2, "5", true, "9", "9", false);
    row("T others dropped", 2, "5", false, "q.,-", "5", false);
    row("T backspace empties, black", 2, "5", true, "<", "", false);
    row("T ctrl-enter empties", 2, "6", false, "^", "", false);
}

void TstCommands::keyFilters()
{
    QFETCH(int, entry);
    QFETCH(QString, before);
    QFETCH(bool, sent);
    QFETCH(QString, keys);
    QFETCH(QString, after);
    QFETCH(bool, grayAfter);
    DeviceFixture f;
    f.Connect(1, 1, 0);
    TEdit *e = entry == 1 ? Devices[1].Edit1 : Devices[1].Edit2;
    e->setText(before);
    e->SetFontColor(sent ? Gray : Black);
    Type(e, keys);
    QCOMPARE(e->text(), after);
    QCOMPARE(e->FontColor(), grayAfter ? Gray : Black);
    QVERIFY(!Devices[1].PendU && !Devices[1].PendTol); // typing alone sends nothing
}

void TstCommands::sendWithEnterAndSet_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("button"); // SET button, else Enter
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("row"); // a recording row is written (recording is on)
    QTest::newRow("U enter") << 1 << "40" << false << 40.0 << false;
    QTest::newRow("U set") << 1 << "230" << true << 230.0 << true;
    QTest::newRow("U set empty sends 0") << 1 << "" << true << 0.0 << true;
    QTest::newRow("U set decimal point") << 1 << "1.5" << true << 1.5 << true;
    QTest::newRow("U set no number") << 1 << "1,5" << true << 0.0 << true;
    QTest::newRow("T enter") << 2 << "3" << false << 3.0 << false;
    QTest::newRow("T set empty sends 0") << 2 << "" << true << 0.0 << false;
}

void TstCommands::sendWithEnterAndSet()
{
    QFETCH(int, entry);
    QFETCH(QString, text);
    QFETCH(bool, button);
    QFETCH(double, value);
    QFETCH(bool, row);
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    TDevice &d = Devices[2];
    d.CheckBox1->setChecked(true);
    d.USet = d.TolSet = 77;
    TEdit *e = entry == 1 ? d.Edit1 : d.Edit2;
    TBitBtn *set = entry == 1 ? d.ButtSetU : d.ButtSetTol;
    e->setText(text);
    set->setEnabled(true);
    if (button)
        set->click();
    else
        Type(e, "|");
    QCOMPARE(entry == 1 ? d.PendU : d.PendTol, true);
    QCOMPARE(entry == 1 ? d.USet : d.TolSet, value);
    QVERIFY(entry == 1 ? !d.PendTol : !d.PendU);
    QCOMPARE(e->text(), text);
    QCOMPARE(e->FontColor(), Gray);
    QCOMPARE(RecordedRows(2), row ? 1 : 0);
    QVERIFY(!Devices[1].PendU && !Devices[1].PendTol);

    // The next digit starts a new value in black; without recording SET writes no row.
    Type(e, "3");
    QCOMPARE(e->text(), QStringLiteral("3"));
    QCOMPARE(e->FontColor(), Black);
    d.CheckBox1->setChecked(false);
    set->click();
    QCOMPARE(RecordedRows(2), row ? 1 : 0);
}

void TstCommands::toggles()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    TDevice &d = Devices[1];
    d.Label2->setEnabled(true);
    d.Label3->setEnabled(true);
    // Two clicks before the source answers both ask for the opposite of the reported state.
    QTest::mouseClick(d.Label2, Qt::LeftButton);
    QTest::mouseClick(d.Label2, Qt::LeftButton);
    QVERIFY(d.PendOut && d.OutSet && !d.PendSta);
    d.OutOn = true;
    QTest::mouseClick(d.Label2, Qt::LeftButton);
    QVERIFY(!d.OutSet);
    d.StaOn = true;
    QTest::mouseClick(d.Label3, Qt::LeftButton);
    QVERIFY(d.PendSta && !d.StaSet);
    d.StaOn = false;
    QTest::mouseClick(d.Label3, Qt::LeftButton);
    QVERIFY(d.StaSet);
    // A disabled toggle (the source not answering) and strangers do nothing.
    QTest::mouseClick(Devices[2].Label2, Qt::LeftButton);
    Label2Click(f.main.PanDev->findChild<TLabel *>("Label2"));
    Label3Click(Devices[2].Label2);
    ButtSetTolClick(Devices[2].ButtSetU);
    ButtSetUClick(nullptr);
    QVERIFY(!Devices[2].PendOut && !Devices[2].PendSta && !Devices[2].PendTol);
}

void TstCommands::allSourcesButtons()
{
    DeviceFixture f;
    for (int slot : {1, 3, 7})
        f.Connect(slot, 1, slot), Devices[slot].Edit1->setText("12");
    Devices[3].Edit1->setEnabled(false); // not answering: still commanded
    ButtoffClick();
    for (int i : {1, 3, 7}) {
        QCOMPARE(Devices[i].Edit1->text(), QStringLiteral("0"));
        QCOMPARE(Devices[i].Edit1->FontColor(), Gray);
        QVERIFY(Devices[i].PendU && Devices[i].USet == 0 && !Devices[i].PendOut);
    }
    ButtOutOnClick();
    for (int i : {1, 3, 7})
        QVERIFY(Devices[i].OutSet && Devices[i].PendOut);
    for (int i : {1, 3, 7})
        Devices[i].PendOut = false;
    ButtOutOffClick();
    for (int i : {1, 3, 7})
        QVERIFY(!Devices[i].OutSet && Devices[i].PendOut);
    QVERIFY(!Devices[2].PendU && !Devices[2].PendOut); // a free slot is left alone
}

QTEST_MAIN(TstCommands)
#include "tst_commands.moc"
