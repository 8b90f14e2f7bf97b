#include "devicefixture.h"

#include "commands.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
const QColor Gray = ColorFromRgb(0x808080);
const QColor Black = ColorFromRgb(0x000000);

// Types one key into an entry the way the keyboard does.
void Type(TEdit *e, const QString &key)
{
    if (key == QLatin1String("<bs>"))
        QTest::keyClick(e, Qt::Key_Backspace);
    else if (key == QLatin1String("<enter>"))
        QTest::keyClick(e, Qt::Key_Return);
    else if (key == QLatin1String("<ctrl-enter>"))
        QTest::keyClick(e, Qt::Key_Return, Qt::ControlModifier);
    else
        QTest::keyClicks(e, key);
}
} // namespace

class TstCommands : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void voltageKeys_data();
    void voltageKeys();
    void toleranceKeys_data();
    void toleranceKeys();
    void enterSendsVoltageWithoutRecordRow();
    void enterSendsTolerance();
    void setVoltage_data();
    void setVoltage();
    void setVoltageRecordRow();
    void setToleranceEmptySendsZero();
    void toggles();
    void allSourcesButtons();
    void strangersChangeNothing();

private:
    QTemporaryDir m_dir;
};

void TstCommands::init()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
}

void TstCommands::voltageKeys_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("sent"); // the entry shows an already sent value (gray)
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("grayAfter");

    QTest::newRow("25 then 5 gives 255") << "25" << false << "5" << "255" << false;
    QTest::newRow("25 then 6 is refused") << "25" << false << "6" << "25" << false;
    QTest::newRow("26 then 0 is refused") << "26" << false << "0" << "26" << false;
    QTest::newRow("empty takes 0") << "" << false << "0" << "0" << false;
    QTest::newRow("three digits at most") << "100" << false << "0" << "100" << false;
    QTest::newRow("sent value replaced") << "12" << true << "7" << "7" << false;
    QTest::newRow("sent 255 replaced") << "255" << true << "3" << "3" << false;
    QTest::newRow("full stop dropped") << "12" << false << "." << "12" << false;
    QTest::newRow("comma dropped") << "12" << false << "," << "12" << false;
    QTest::newRow("letter dropped") << "12" << false << "a" << "12" << false;
    QTest::newRow("minus dropped") << "" << false << "-" << "" << false;
    QTest::newRow("blank dropped") << "1" << false << " " << "1" << false;
    QTest::newRow("letter on sent keeps gray") << "40" << true << "x" << "40" << true;
    QTest::newRow("backspace empties all") << "125" << false << "<bs>" << "" << false;
    QTest::newRow("backspace keeps gray") << "125" << true << "<bs>" << "" << true;
    QTest::newRow("ctrl-enter empties") << "99" << false << "<ctrl-enter>" << "" << false;
}

void TstCommands::voltageKeys()
{
    QFETCH(QString, before);
    QFETCH(bool, sent);
    QFETCH(QString, key);
    QFETCH(QString, after);
    QFETCH(bool, grayAfter);

    DeviceFixture f;
    f.Connect(1, 1, 0);
    TEdit *e = Devices[1].Edit1;
    e->setText(before);
    e->SetFontColor(sent ? Gray : Black);
    Type(e, key);
    QCOMPARE(e->text(), after);
    QCOMPARE(e->FontColor(), grayAfter ? Gray : Black);
    QVERIFY(!Devices[1].PendU); // typing alone sends nothing
}

void TstCommands::toleranceKeys_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("after");

    QTest::newRow("7 then 3 leaves 3") << "" << false << "73" << "3";
    QTest::newRow("0 refused") << "" << false << "0" << "";
    QTest::newRow("0 keeps previous") << "4" << false << "0" << "4";
    QTest::newRow("sent replaced") << "5" << true << "9" << "9";
    QTest::newRow("letter dropped") << "5" << false << "q" << "5";
    QTest::newRow("full stop dropped") << "5" << false << "." << "5";
    QTest::newRow("backspace empties") << "5" << true << "<bs>" << "";
    QTest::newRow("ctrl-enter empties") << "6" << false << "<ctrl-enter>" << "";
}

void TstCommands::toleranceKeys()
{
    QFETCH(QString, before);
    QFETCH(bool, sent);
    QFETCH(QString, keys);
    QFETCH(QString, after);

    DeviceFixture f;
    f.Connect(1, 1, 0);
    TEdit *e = Devices[1].Edit2;
    e->setText(before);
    e->SetFontColor(sent ? Gray : Black);
    const bool replaced = before != after;
    Type(e, keys);
    QCOMPARE(e->text(), after);
    // Whatever cleared the entry starts a new value in black.
    if (replaced)
        QCOMPARE(e->FontColor(), Black);
    QVERIFY(!Devices[1].PendTol);
}

void TstCommands::enterSendsVoltageWithoutRecordRow()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    QList<int> rows;
    Hooks::WriteRecordRow = [&](int slot) { rows << slot; };
    TDevice &d = Devices[2];
    d.CheckBox1->setChecked(true);
    Type(d.Edit1, "40");
    Type(d.Edit1, "<enter>");
    QVERIFY(d.PendU);
    QCOMPARE(d.USet, 40.0);
    QCOMPARE(d.Edit1->text(), QStringLiteral("40"));
    QCOMPARE(d.Edit1->FontColor(), Gray);
    QVERIFY(rows.isEmpty());
    QVERIFY(!Devices[1].PendU);

    // The next digit after sending starts a new value.
    Type(d.Edit1, "3");
    QCOMPARE(d.Edit1->text(), QStringLiteral("3"));
    QCOMPARE(d.Edit1->FontColor(), Black);
}

void TstCommands::enterSendsTolerance()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    TDevice &d = Devices[1];
    Type(d.Edit2, "73");
    Type(d.Edit2, "<enter>");
    QVERIFY(d.PendTol);
    QCOMPARE(d.TolSet, 3.0);
    QCOMPARE(d.Edit2->text(), QStringLiteral("3")); // Enter itself is not typed in
    QCOMPARE(d.Edit2->FontColor(), Gray);
    QVERIFY(!d.PendU);
}

void TstCommands::setVoltage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty sends 0 V") << "" << 0.0;
    QTest::newRow("whole") << "230" << 230.0;
    QTest::newRow("decimal point") << "1.5" << 1.5;
    QTest::newRow("comma is no number") << "1,5" << 0.0;
    QTest::newRow("letters are no number") << "ab" << 0.0;
}

void TstCommands::setVoltage()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    DeviceFixture f;
    f.Connect(1, 1, 0);
    TDevice &d = Devices[1];
    d.USet = 77;
    d.Edit1->setText(text);
    d.ButtSetU->setEnabled(true);
    d.ButtSetU->click();
    QVERIFY(d.PendU);
    QCOMPARE(d.USet, value);
    QCOMPARE(d.Edit1->FontColor(), Gray);
    QCOMPARE(d.Edit1->text(), text);
}

void TstCommands::setVoltageRecordRow()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    QList<int> rows;
    Hooks::WriteRecordRow = [&](int slot) { rows << slot; };
    for (int i : {1, 2})
        Devices[i].ButtSetU->setEnabled(true);
    Devices[2].Edit1->setText("12");
    Devices[2].ButtSetU->click();
    QVERIFY(rows.isEmpty()); // recording off
    Devices[2].CheckBox1->setChecked(true);
    Devices[2].ButtSetU->click();
    QCOMPARE(rows, QList<int>{2});
    Devices[1].ButtSetU->click();
    QCOMPARE(rows, QList<int>{2});

    // Without a recording unit connected, SET still sends.
    Hooks::WriteRecordRow = nullptr;
    Devices[2].PendU = false;
    Devices[2].ButtSetU->click();
    QVERIFY(Devices[2].PendU);
}

void TstCommands::setToleranceEmptySendsZero()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    TDevice &d = Devices[1];
    d.TolSet = 5;
    d.ButtSetTol->setEnabled(true);
    d.ButtSetTol->click();
    QVERIFY(d.PendTol);
    QCOMPARE(d.TolSet, 0.0);
    QCOMPARE(d.Edit2->FontColor(), Gray);
    QVERIFY(!d.PendU);
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
    d.OutOn = false;
    QTest::mouseClick(d.Label2, Qt::LeftButton);
    QVERIFY(d.PendOut);
    QVERIFY(d.OutSet);
    QTest::mouseClick(d.Label2, Qt::LeftButton);
    QVERIFY(d.OutSet);
    d.OutOn = true;
    d.PendOut = false;
    QTest::mouseClick(d.Label2, Qt::LeftButton);
    QVERIFY(d.PendOut);
    QVERIFY(!d.OutSet);

    d.StaOn = true;
    QTest::mouseClick(d.Label3, Qt::LeftButton);
    QVERIFY(d.PendSta);
    QVERIFY(!d.StaSet);
    d.StaOn = false;
    QTest::mouseClick(d.Label3, Qt::LeftButton);
    QVERIFY(d.StaSet);

    // A disabled toggle (source not answering) does nothing.
    Devices[2].OutOn = false;
    QTest::mouseClick(Devices[2].Label2, Qt::LeftButton);
    QVERIFY(!Devices[2].PendOut);
    QVERIFY(!Devices[2].PendSta && !Devices[2].PendOut);
}

void TstCommands::allSourcesButtons()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(3, 1, 1);
    f.Connect(7, 2, 4);
    // Source 3 is not answering: its entry is disabled under the overlay.
    Devices[3].Edit1->setEnabled(false);
    for (int i : {1, 3, 7})
        Devices[i].Edit1->setText("12");

    ButtoffClick();
    for (int i : {1, 3, 7}) {
        QCOMPARE(Devices[i].Edit1->text(), QStringLiteral("0"));
        QCOMPARE(Devices[i].Edit1->FontColor(), Gray);
        QCOMPARE(Devices[i].USet, 0.0);
        QVERIFY(Devices[i].PendU);
    }
    QVERIFY(!Devices[2].PendU);

    ButtOutOnClick();
    for (int i : {1, 3, 7}) {
        QVERIFY(Devices[i].OutSet);
        QVERIFY(Devices[i].PendOut);
    }
    QVERIFY(!Devices[2].PendOut && !Devices[2].OutSet);

    for (int i : {1, 3, 7})
        Devices[i].PendOut = false;
    ButtOutOffClick();
    for (int i : {1, 3, 7}) {
        QVERIFY(!Devices[i].OutSet);
        QVERIFY(Devices[i].PendOut);
    }
    QVERIFY(!Devices[2].PendOut);
    QVERIFY(!Devices[1].PendSta && !Devices[1].PendTol);
}

void TstCommands::strangersChangeNothing()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    // The template's own controls belong to no source.
    auto *tplSet = f.main.PanDev->findChild<TBitBtn *>("ButtSetU");
    ButtSetUClick(tplSet);
    ButtSetUClick(nullptr);
    Label2Click(f.main.PanDev->findChild<TLabel *>("Label2"));
    // A control of one kind does not pass for another kind.
    ButtSetTolClick(Devices[1].ButtSetU);
    Label3Click(Devices[1].Label2);
    QVERIFY(!Devices[1].PendU && !Devices[1].PendTol && !Devices[1].PendOut
            && !Devices[1].PendSta);
}

QTEST_MAIN(TstCommands)
#include "tst_commands.moc"
