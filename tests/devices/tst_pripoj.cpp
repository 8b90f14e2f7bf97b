#include "devicefixture.h"

#include "pripoj.h"
#include "sysutils.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Dialog
{
    TFormPripoj form;
    QRadioButton *radio[5] = {};
    QComboBox *ports[5] = {};
    QComboBox *address = nullptr;
    QPushButton *connect = nullptr;
    QPushButton *cancel = nullptr;
    TPanel *swatch = nullptr;
    QLabel *full = nullptr;

    Dialog()
    {
        for (int n = 1; n <= 4; ++n) {
            radio[n] = form.findChild<QRadioButton *>(QStringLiteral("RadioButton%1").arg(n));
            ports[n] = form.findChild<QComboBox *>(QStringLiteral("ComboBox%1").arg(n));
        }
        address = form.findChild<QComboBox *>("SelAdr");
        connect = form.findChild<QPushButton *>("Button1");
        cancel = form.findChild<QPushButton *>("Button2");
        swatch = form.findChild<TPanel *>("PanelColor");
        full = form.findChild<QLabel *>("LabFull");
    }

    QStringList Addresses() const
    {
        QStringList l;
        for (int i = 0; i < address->count(); ++i)
            l << address->itemText(i);
        return l;
    }

    QStringList Items(int n) const
    {
        QStringList l;
        for (int i = 0; i < ports[n]->count(); ++i)
            l << ports[n]->itemText(i);
        return l;
    }

    // The operator picks an item of line n's port list.
    void Pick(int n, const QString &text)
    {
        const int i = ports[n]->findText(text);
        QVERIFY(i >= 0);
        ports[n]->setCurrentIndex(i);
        emit ports[n]->activated(i);
    }

    // The operator types a port name into line n's list.
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
    void init();
    void layout();
    void firstOpening();
    void linesInUse();
    void highestOpenLineSelected();
    void addressListsPerLine();
    void portExclusionNeverGivesBack();
    void exclusionKeepsOtherLinesPort();
    void connectNewLine();
    void joinOpenLine();
    void slotReuseWithDefaultColour();
    void defaultColours_data();
    void defaultColours();
    void openFailure_data();
    void openFailure();
    void portTextNotANumber_data();
    void portTextNotANumber();
    void notANumberThroughTheButton();
    void fullLineCannotBeJoined();
    void fiftyFirstSourceRefused();
    void swatchColour();
    void cancelChangesNothing();
    void language();

private:
    QTemporaryDir m_dir;
};

void TstPripoj::init()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
}

void TstPripoj::layout()
{
    DeviceFixture f;
    Dialog d;
    QCOMPARE(FormPripoj, &d.form);
    QCOMPARE(d.form.size(), QSize(211, 227));
    QCOMPARE(d.form.windowTitle(), QStringLiteral("Připojení zařízení"));
    QCOMPARE(d.form.findChild<QWidget *>("Bevel1")->geometry(), QRect(8, 8, 193, 129));
    const int y[] = {0, 16, 48, 80, 112};
    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(d.radio[n]->geometry(), QRect(16, y[n], 81, 17));
        QCOMPARE(d.ports[n]->pos(), QPoint(112, y[n] - 4));
        QCOMPARE(d.ports[n]->width(), 81);
        QVERIFY(d.ports[n]->isEditable());
        QCOMPARE(d.radio[n]->text(), QStringLiteral("Linka %1").arg(QChar('A' + n - 1)));
        QStringList com;
        for (int i = 1; i <= 15; ++i)
            com << QStringLiteral("Com %1").arg(i, 2, 10, QLatin1Char('0'));
        QCOMPARE(d.Items(n), com);
    }
    QCOMPARE(d.form.findChild<QLabel *>("Label1")->pos(), QPoint(8, 158));
    QCOMPARE(d.form.findChild<QLabel *>("Label1")->text(), QStringLiteral("Adresa:"));
    QCOMPARE(d.address->pos(), QPoint(80, 152));
    QCOMPARE(d.address->width(), 49);
    QVERIFY(!d.address->isEditable());
    QCOMPARE(d.swatch->geometry(), QRect(160, 152, 28, 28));
    QCOMPARE(d.swatch->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(d.connect->geometry(), QRect(24, 192, 75, 25));
    QCOMPARE(d.cancel->geometry(), QRect(112, 192, 75, 25));
    QCOMPARE(d.connect->text(), QStringLiteral("Připoj"));
    QCOMPARE(d.cancel->text(), QStringLiteral("Storno"));
    QVERIFY(!d.connect->isEnabled());
    QVERIFY(!(d.form.windowFlags() & Qt::WindowCloseButtonHint));
}

void TstPripoj::firstOpening()
{
    DeviceFixture f;
    Dialog d;
    d.form.show();
    QVERIFY(d.radio[1]->isEnabled() && d.radio[1]->isChecked());
    for (int n = 2; n <= 4; ++n) {
        QVERIFY(!d.radio[n]->isEnabled());
        QVERIFY(!d.ports[n]->isEnabled());
    }
    QVERIFY(d.ports[1]->isEnabled());
    QCOMPARE(d.Addresses(), Range(0, 31));
    QCOMPARE(d.address->currentText(), QStringLiteral("0"));
    QCOMPARE(d.form.SwatchColor(), ColorFromRgb(0xFF0000));
    QVERIFY(!d.connect->isEnabled());
    QVERIFY(!d.full->isVisibleTo(&d.form));
    QVERIFY(d.ports[1]->currentText().isEmpty());

    d.Pick(1, "Com 02");
    QVERIFY(d.connect->isEnabled());
}

void TstPripoj::linesInUse()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 5);
    Dialog d;
    d.ports[1]->setEditText("Com 03");
    d.ports[2]->setEditText("Com 09"); // left over from an earlier opening
    d.form.show();
    QVERIFY(d.radio[1]->isEnabled() && d.radio[2]->isEnabled());
    QVERIFY(!d.radio[3]->isEnabled() && !d.radio[4]->isEnabled());
    QVERIFY(d.radio[1]->isChecked());
    QVERIFY(!d.ports[1]->isEnabled());
    QCOMPARE(d.ports[1]->currentText(), QStringLiteral("Com 03"));
    QVERIFY(d.ports[2]->isEnabled());
    QVERIFY(d.ports[2]->currentText().isEmpty());
    QCOMPARE(d.Addresses(), Range(0, 31, {0, 5}));
    QCOMPARE(d.address->currentText(), QStringLiteral("1"));
    QCOMPARE(d.form.SwatchColor(), ColorFromRgb(0x00FF00)); // slot 3

    d.radio[2]->click();
    QCOMPARE(d.Addresses(), Range(0, 31));

    // All four lines in use: every line selectable, no port list open to change.
    for (int n = 2; n <= 4; ++n)
        f.ports[n]->SetOpen(true);
    d.form.hide();
    d.form.show();
    for (int n = 1; n <= 4; ++n) {
        QVERIFY(d.radio[n]->isEnabled());
        QVERIFY(!d.ports[n]->isEnabled());
    }
    QVERIFY(d.radio[4]->isChecked());
}

void TstPripoj::highestOpenLineSelected()
{
    DeviceFixture f;
    f.Connect(1, 2, 3);
    f.Connect(2, 2, 4);
    Dialog d;
    d.form.show();
    // Line A is not in use, line B is: B selected, A the line that may take a port.
    QVERIFY(d.radio[2]->isChecked());
    QVERIFY(d.radio[1]->isEnabled());
    QVERIFY(d.ports[1]->isEnabled());
    QVERIFY(!d.ports[2]->isEnabled());
    QVERIFY(!d.radio[3]->isEnabled());
    QCOMPARE(d.Addresses(), Range(0, 31, {3, 4}));
}

void TstPripoj::addressListsPerLine()
{
    DeviceFixture f;
    f.Connect(1, 1, 7);
    f.Connect(2, 2, 7);
    f.Connect(3, 2, 31);
    QList<int> expected;
    for (int a = 0; a <= 31; ++a)
        if (a != 7)
            expected << a;
    QCOMPARE(FreeAddresses(1), expected);
    QCOMPARE(FreeAddresses(3).size(), 32); // sources on other lines never count
    Dialog d;
    d.form.show();
    d.radio[1]->click();
    QCOMPARE(d.Addresses(), Range(0, 31, {7}));
    d.radio[2]->click();
    QCOMPARE(d.Addresses(), Range(0, 30, {7}));
    // A source whose removal waits still holds its address; a removed one does not.
    Devices[3].PanDev->hide();
    RemoveReq[3] = true;
    FillAddressList(2);
    QCOMPARE(d.Addresses(), Range(0, 30, {7}));
    RemoveDevice(3);
    FillAddressList(2);
    QCOMPARE(d.Addresses(), Range(0, 31, {7}));
}

void TstPripoj::portExclusionNeverGivesBack()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    Dialog d;
    d.form.show();
    QVERIFY(d.ports[2]->isEnabled());
    d.Pick(2, "Com 03");
    QVERIFY(d.radio[2]->isChecked()); // choosing a port selects its line
    for (int n : {1, 3, 4})
        QVERIFY(!d.Items(n).contains("Com 03"));
    QVERIFY(d.Items(2).contains("Com 03"));
    d.Pick(2, "Com 04");
    for (int n : {1, 3, 4}) {
        QVERIFY(!d.Items(n).contains("Com 03"));
        QVERIFY(!d.Items(n).contains("Com 04"));
        QCOMPARE(d.Items(n).size(), 13);
    }
    // Typed names exclude too, and a typed name is never added as an item.
    d.TypePort(2, "Com 11");
    QCOMPARE(d.ports[2]->currentText(), QStringLiteral("Com 11"));
    QVERIFY(!d.Items(4).contains("Com 11"));
    QTest::keyClick(d.ports[2]->lineEdit(), Qt::Key_Return);
    d.TypePort(2, "Com 99");
    QTest::keyClick(d.ports[2]->lineEdit(), Qt::Key_Return);
    QCOMPARE(d.Items(2).size(), 15);

    // Closing and opening again gives nothing back.
    d.form.hide();
    d.form.show();
    QCOMPARE(d.Items(3).size(), 12);
    QVERIFY(d.connect->isEnabled()); // stays enabled once a port was chosen
}

void TstPripoj::exclusionKeepsOtherLinesPort()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    Dialog d;
    d.ports[1]->setCurrentIndex(4);
    QCOMPARE(d.ports[1]->currentText(), QStringLiteral("Com 05"));
    d.form.show();
    // Typing line A's port for line B removes it from A's list, but A still shows it.
    d.TypePort(2, "Com 05");
    QVERIFY(!d.Items(1).contains("Com 05"));
    QCOMPARE(d.ports[1]->currentText(), QStringLiteral("Com 05"));
}

void TstPripoj::connectNewLine()
{
    DeviceFixture f;
    int languageCalls = 0;
    Hooks::ApplyLanguage = [&] { ++languageCalls; };
    Devices[1].Steps[17] = ProgramStep{5, 12.5, 3}; // left by nobody, cleared anyway
    Devices[1].StepNo = 9;
    Dialog d;
    d.form.show();
    d.Pick(1, "Com 07");
    d.address->setCurrentIndex(d.address->findText("12"));
    d.connect->click();

    QCOMPARE(f.ports[1]->ComNumber(), 7);
    QCOMPARE(f.ports[1]->opens, 1);
    QVERIFY(f.main.ControlLines->isTabVisible(0));
    QVERIFY(!f.main.ControlLines->isTabVisible(1));
    QCOMPARE(DeviceCount, 1);
    const TDevice &s = Devices[1];
    QVERIFY(s.Used);
    QCOMPARE(s.Line, 1);
    QCOMPARE(s.Address, 12);
    QCOMPARE(Lines[1].Cur, 1);
    QCOMPARE(s.Label1->text(), QStringLiteral("1: Adr. 12"));
    QCOMPARE(s.PanelCol->Color(), ColorFromRgb(0xFF0000));
    QCOMPARE(s.LabKrok->text(), QStringLiteral("Krok = 0"));
    QCOMPARE(s.StepNo, 0);
    QCOMPARE(s.Steps[17].Next, 0);
    QCOMPARE(s.Steps[17].U, 0.0);
    QCOMPARE(s.PanDev->pos(), QPoint(5, 5));
    QCOMPARE(f.main.CheckZaz->count(), 1);
    QCOMPARE(f.main.CheckZaz->item(0)->text(), QStringLiteral("01: Adr. = 12"));
    QCOMPARE(languageCalls, 1);
    QVERIFY(!d.form.isVisible());
}

void TstPripoj::joinOpenLine()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    Lines[1].Cur = 1;
    Dialog d;
    d.form.show();
    d.ports[2]->setEditText("Com 02");
    d.Pick(2, "Com 04"); // enables "Připoj"
    d.radio[1]->click();
    d.connect->click();
    // The open port is neither reopened nor renumbered.
    QCOMPARE(f.ports[1]->opens, 0);
    QCOMPARE(f.ports[2]->opens, 0);
    QCOMPARE(DeviceCount, 3);
    QCOMPARE(Devices[3].Line, 1);
    QCOMPARE(Devices[3].Address, 2);
    QCOMPARE(Lines[1].Cur, 3);
    QCOMPARE(Devices[3].PanDev->pos(), QPoint(5, 210));
    QVERIFY(!f.main.ControlLines->isTabVisible(0)); // shown only when a port is opened
}

void TstPripoj::slotReuseWithDefaultColour()
{
    DeviceFixture f;
    f.Connect(1, 1, 0);
    f.Connect(2, 1, 1);
    f.Connect(3, 1, 2);
    RemoveDevice(2);
    Dialog d;
    d.form.show();
    QCOMPARE(d.form.SwatchColor(), ColorFromRgb(0x0000FF));
    d.Pick(2, "Com 05");
    d.radio[1]->click();
    QCOMPARE(d.Addresses(), Range(0, 31, {0, 2}));
    d.connect->click();
    QVERIFY(Devices[2].Used);
    QCOMPARE(Devices[2].Label1->text(), QStringLiteral("2: Adr. 1"));
    QCOMPARE(Devices[2].PanelCol->Color(), ColorFromRgb(0x0000FF));
    QCOMPARE(Lines[1].Cur, 2);
    QCOMPARE(DeviceCount, 3);
    QCOMPARE(Devices[2].PanDev->pos(), QPoint(245, 5));
    QCOMPARE(Devices[3].PanDev->pos(), QPoint(5, 210));
}

void TstPripoj::defaultColours_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<uint>("rgb");
    const uint table[] = {0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00, 0x00FFFF, 0x008000, 0x000000,
                          0x008080, 0x808080, 0xFF00FF, 0x800000, 0x000080, 0x808000, 0x800080};
    for (int s = 1; s <= 14; ++s)
        QTest::addRow("slot %d", s) << s << table[s - 1];
    QTest::newRow("slot 15") << 15 << 0xC0C0C0u;
    QTest::newRow("slot 50") << 50 << 0xC0C0C0u;
    QTest::newRow("no free slot") << 0 << 0xC0C0C0u;
}

void TstPripoj::defaultColours()
{
    QFETCH(int, slot);
    QFETCH(uint, rgb);
    QCOMPARE(DefaultSourceColor(slot), ColorFromRgb(rgb));
}

void TstPripoj::openFailure_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("A") << 1 << QStringLiteral("Linka 1 nelze otevřít.");
    QTest::newRow("C") << 3 << QStringLiteral("Linka 3 nelze otevřít.");
    QTest::newRow("D") << 4 << QStringLiteral("Linka 4 nelze otevřít.");
}

void TstPripoj::openFailure()
{
    QFETCH(int, line);
    QFETCH(QString, message);
    DeviceFixture f;
    for (int n = 1; n < line; ++n)
        f.Connect(n, n, 0);
    int languageCalls = 0;
    Hooks::ApplyLanguage = [&] { ++languageCalls; };
    f.ports[line]->failOpen = true;
    Dialog d;
    d.form.show();
    d.Pick(line, "Com 08");
    QVERIFY(d.radio[line]->isChecked());
    MessageCatcher catcher;
    d.connect->click();
    QCOMPARE(catcher.texts, QStringList{message});
    QCOMPARE(f.ports[line]->ComNumber(), 8);
    QCOMPARE(DeviceCount, line - 1);
    QVERIFY(!Devices[line].Used);
    QCOMPARE(Lines[line].Cur, NoDevice);
    QVERIFY(f.main.ControlLines->isTabVisible(line - 1)); // the line's page shows anyway
    QCOMPARE(languageCalls, 1);
    QVERIFY(!d.form.isVisible());

    // Next time the same line is again the one that takes a port.
    d.form.show();
    QVERIFY(d.ports[line]->isEnabled());
    QVERIFY(d.ports[line]->currentText().isEmpty());
    QVERIFY(d.radio[line]->isEnabled());
}

void TstPripoj::portTextNotANumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("nothing chosen") << "" << "'' is not a valid integer value";
    QTest::newRow("typed word") << "Port A1" << "' A' is not a valid integer value";
    QTest::newRow("short") << "Com" << "'' is not a valid integer value";
}

void TstPripoj::portTextNotANumber()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    DeviceFixture f;
    Dialog d;
    d.form.show();
    d.TypePort(1, text.isEmpty() ? QStringLiteral("x") : text);
    if (text.isEmpty())
        d.ports[1]->clearEditText();
    QVERIFY(d.connect->isEnabled());
    QString caught;
    try {
        d.form.Button1Click();
    } catch (const EConvertError &e) {
        caught = QString::fromUtf8(e.what());
    }
    QCOMPARE(caught, error);
    QCOMPARE(f.ports[1]->opens, 0);
    QCOMPARE(DeviceCount, 0);
    QVERIFY(!f.main.ControlLines->isTabVisible(0));
    QVERIFY(d.form.isVisible());
}

void TstPripoj::notANumberThroughTheButton()
{
    DeviceFixture f;
    Dialog d;
    d.form.show();
    d.TypePort(1, "Com xy");
    MessageCatcher catcher;
    d.connect->click();
    QCOMPARE(catcher.texts, QStringList{"'xy' is not a valid integer value"});
    QVERIFY(d.form.isVisible());
    QCOMPARE(DeviceCount, 0);
    // The operator corrects the text and goes on.
    d.TypePort(1, "Com 06");
    d.connect->click();
    QCOMPARE(DeviceCount, 1);
    QCOMPARE(f.ports[1]->ComNumber(), 6);
}

void TstPripoj::fullLineCannotBeJoined()
{
    DeviceFixture f;
    for (int a = 0; a < 32; ++a)
        f.Connect(a + 1, 1, a);
    Dialog d;
    d.form.show();
    d.Pick(2, "Com 02");
    d.radio[1]->click();
    QVERIFY(d.Addresses().isEmpty());
    QVERIFY(!d.connect->isEnabled());
    QVERIFY(d.full->isVisibleTo(&d.form));
    d.form.Button1Click(); // even if reached, it adds nothing
    QCOMPARE(DeviceCount, 32);
    QVERIFY(d.form.isVisible());

    d.radio[2]->click();
    QVERIFY(d.connect->isEnabled());
    QVERIFY(!d.full->isVisibleTo(&d.form));
    d.connect->click();
    QCOMPARE(DeviceCount, 33);
    QCOMPARE(Devices[33].Line, 2);
    QCOMPARE(Devices[33].Address, 0);
}

void TstPripoj::fiftyFirstSourceRefused()
{
    DeviceFixture f;
    for (int i = 1; i <= 50; ++i)
        f.Connect(i, 1 + (i - 1) / 32, (i - 1) % 32);
    f.ports[2]->SetOpen(true);
    Dialog d;
    d.form.show();
    QCOMPARE(d.form.SwatchColor(), ColorFromRgb(0xC0C0C0));
    d.Pick(3, "Com 09");
    MessageCatcher catcher;
    d.connect->click();
    QCOMPARE(catcher.texts, QStringList{QStringLiteral("Aktivováno mnoho zařízení")});
    QCOMPARE(DeviceCount, 50);
    QCOMPARE(f.ports[3]->opens, 0); // no port is opened for a source that cannot come
    QCOMPARE(Devices[50].Line, 2);
    QCOMPARE(Devices[50].Address, 17);
    QVERIFY(!d.form.isVisible());
}

void TstPripoj::swatchColour()
{
    DeviceFixture f;
    Dialog d;
    d.form.show();
    f.colorDial->answer = QColor(0x20, 0x40, 0x60);
    QTest::mouseClick(d.swatch, Qt::LeftButton);
    QCOMPARE(f.colorDial->presetSeen, ColorFromRgb(0xFF0000));
    QCOMPARE(d.form.SwatchColor(), QColor(0x20, 0x40, 0x60));
    f.colorDial->accept = false;
    f.colorDial->answer = Qt::yellow;
    QTest::mouseClick(d.swatch, Qt::LeftButton);
    QCOMPARE(d.form.SwatchColor(), QColor(0x20, 0x40, 0x60));
    d.Pick(1, "Com 01");
    d.connect->click();
    QCOMPARE(Devices[1].PanelCol->Color(), QColor(0x20, 0x40, 0x60));
}

void TstPripoj::cancelChangesNothing()
{
    DeviceFixture f;
    Dialog d;
    d.form.show();
    d.Pick(1, "Com 01");
    d.cancel->click();
    QVERIFY(!d.form.isVisible());
    QCOMPARE(DeviceCount, 0);
    QCOMPARE(f.ports[1]->opens, 0);
}

void TstPripoj::language()
{
    DeviceFixture f;
    Dialog d;
    d.form.ApplyLanguage(lsEnglish);
    QCOMPARE(d.form.windowTitle(), QStringLiteral("Addition device"));
    QCOMPARE(d.form.findChild<QLabel *>("Label1")->text(), QStringLiteral("Address:"));
    QCOMPARE(d.radio[3]->text(), QStringLiteral("Line C"));
    QCOMPARE(d.connect->text(), QStringLiteral("Add"));
    QCOMPARE(d.cancel->text(), QStringLiteral("Cancel"));
    d.form.ApplyLanguage(lsNone);
    QCOMPARE(d.connect->text(), QStringLiteral("Add"));
    d.form.ApplyLanguage(lsCzech);
    QCOMPARE(d.form.windowTitle(), QStringLiteral("Připojení zařízení"));
    QCOMPARE(d.radio[4]->text(), QStringLiteral("Linka D"));
    QCOMPARE(d.connect->text(), QStringLiteral("Připoj"));
    QCOMPARE(d.cancel->text(), QStringLiteral("Storno"));
}

QTEST_MAIN(TstPripoj)
#include "tst_pripoj.moc"
