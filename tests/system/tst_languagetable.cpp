// The interface language on the whole program: every caption, hint and language text the
// switch sets, in both languages, read back from the live windows (main window and its
// pages, connection dialog, program editor, the panels of the connected sources and of one
// connected after a switch); the texts the switch leaves alone; the string table free of
// garbled Czech letters; and the Czech letters as code-page 1250 bytes in the recording,
// export and settings files.

#include "commlog.h"
#include "cp1250.h"
#include "memolines.h"
#include "panels.h"
#include "strtable.h"
#include "tchart.h"
#include "wholeprogram.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStringDecoder>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <functional>

namespace {

// One language-dependent text: where it is read and what it says in each language.
struct TRow
{
    QString name;
    std::function<QString()> read;
    const char *cz;
    const char *en;
};

TFormMain *Main()
{
    return qobject_cast<TFormMain *>(FormMain);
}

template <typename T> T *Pripoj(const char *name)
{
    return FormPripoj ? FormPripoj->findChild<T *>(QLatin1String(name)) : nullptr;
}

QString TabText(QTabWidget *tabs, QWidget *page)
{
    return tabs->tabText(tabs->indexOf(page));
}

// The windows' rows. The window caption carries the code in force, added by the caller.
QList<TRow> WindowRows()
{
    TFormMain *m = Main();
    QList<TRow> r = {
        {"FormMain caption", [m] { return m->windowTitle(); }, "Ardemo verze 1.00 - ",
         "Ardemo version 1.00 - "},
        {"LabAbout1", [m] { return m->LabAbout[1]->text(); }, "Tormela Ardemo  verze 1.00",
         "Tormela Ardemo  version 1.00"},
        {"LabAbout4", [m] { return m->LabAbout[4]->text(); },
         "Aktuální verzi programu si můžete stáhnout na adrese",
         "Actual version of this software you can download from web site"},
        {"LabAbout8", [m] { return m->LabAbout[8]->text(); }, "Nápověda", "Help"},
        {"ButtEnd caption", [m] { return m->ButtEnd->text(); }, "Konec", "End"},
        {"ButtEnd hint", [m] { return m->ButtEnd->toolTip(); }, "Ukončení programu",
         "Program termination"},
        {"Bu_en hint", [m] { return m->Bu_en->toolTip(); }, "Přepnout jazyk", "Language change"},
        {"Bu_cz hint", [m] { return m->Bu_cz->toolTip(); }, "Přepnout jazyk", "Language change"},
        {"ButtAddDev caption", [m] { return m->ButtAddDev->text(); }, "Připoj", "Add"},
        {"ButtAddDev hint", [m] { return m->ButtAddDev->toolTip(); }, "Přidat nové zařízení",
         "Add new device"},
        {"ButtOutOn caption", [m] { return m->ButtOutOn->text(); }, "Výstup - zap", "Out - on"},
        {"ButtOutOn hint", [m] { return m->ButtOutOn->toolTip(); },
         "Zapnout výstup u všech zařízení", "Switch on for all devices"},
        {"ButtOutOff caption", [m] { return m->ButtOutOff->text(); }, "Výstup - vyp", "Out - off"},
        {"ButtOutOff hint", [m] { return m->ButtOutOff->toolTip(); },
         "Vypnout výstup u všech zařízení", "Switch off for all devices"},
        {"Buttoff hint", [m] { return m->Buttoff->toolTip(); }, "Nastaví 0V pro všechna zařízení",
         "Set 0V for all devices"},
        {"Page1", [m] { return TabText(m->PageCont, m->ScrollMain); }, " F1 - Hlavní ",
         " F1 - Main "},
        {"Page2", [m] { return TabText(m->PageCont, m->Page2); }, " F2 - Graf ", " F2 - Graph "},
        {"Page3", [m] { return TabText(m->PageCont, m->Page3); }, " F3 - Komunikace ",
         " F3 - Communications "},
        {"Page8", [m] { return TabText(m->PageCont, m->Page8); }, " F8 - O programu ... ",
         " F8 - About... "},
        {"ButtSaveGraf", [m] { return m->ButtSaveGraf->text(); }, "Ulož", "Save"},
        {"ButtPrint", [m] { return m->ButtPrint->text(); }, "Tisk", "Print"},
        {"Label16", [m] { return m->Label16->text(); }, "Osa X max [s]:", "Axis X max [s]:"},
        {"Label15", [m] { return m->Label15->text(); }, "Osa Y max [V]:", "Axis Y max [V]:"},
        {"Label12", [m] { return m->Label12->text(); }, "Zvětšení", "Zoom"},
        {"Label14", [m] { return m->Label14->text(); }, "Natočení", "Rotation"},
        {"FormPripoj caption", [] { return FormPripoj->windowTitle(); }, "Připojení zařízení",
         "Addition device"},
        {"FormPripoj.Label1", [] { return Pripoj<QLabel>("Label1")->text(); },
         "Adresa:", "Address:"},
        {"FormPripoj.Button1", [] { return Pripoj<QPushButton>("Button1")->text(); }, "Připoj",
         "Add"},
        {"FormPripoj.Button2", [] { return Pripoj<QPushButton>("Button2")->text(); }, "Storno",
         "Cancel"},
        {"FormProg.ButtOpen", [] { return FormProg->ButtOpen->text(); }, "Načti", "Open"},
        {"FormProg.ButtSave", [] { return FormProg->ButtSave->text(); }, "Ulož", "Save"},
        // The language texts the other units build from.
        {"TextAxisX", [] { return TextAxisX; }, "Osa X", "Axis X"},
        {"TextAxisY", [] { return TextAxisY; }, "Osa Y", "Axis Y"},
        {"TextValuesOf", [] { return TextValuesOf; }, "Hodnoty ze zdroje č.",
         "Values from the device No."},
        {"TextDevNo", [] { return TextDevNo; }, "Zař.č.", "Dev. No."},
        {"TextNoAnswer", [] { return TextNoAnswer; }, ": Neodpovídá", ": No Answer"},
        {"TextProgramOf", [] { return TextProgramOf; }, "Program zdroje č.", "Program Device No."},
        {"TextColStep", [] { return TextColStep; }, "Krok", "Step"},
        {"TextColTime", [] { return TextColTime; }, "Čas [s]", "Time [s]"},
        {"TextColU", [] { return TextColU; }, "U [V]", "U [V]"},
        {"TextColNext", [] { return TextColNext; }, "Další", "Next"},
        {"TextChartValues", [] { return TextChartValues; }, "Hodnoty z grafu", "Graph's Values"},
        {"TextStepIs", [] { return TextStepIs; }, "Krok = ", "Step = "},
        {"TextTimeIs", [] { return TextTimeIs; }, "Čas = ", "Time = "},
        {"TextVoltageIs", [] { return TextVoltageIs; }, "Napětí = ", "Voltage = "},
    };
    const char *linesCz[] = {" Linka A ", " Linka B ", " Linka C ", " Linka D "};
    const char *linesEn[] = {" Line A ", " Line B ", " Line C ", " Line D "};
    const char *radiosCz[] = {"Linka A", "Linka B", "Linka C", "Linka D"};
    const char *radiosEn[] = {"Line A", "Line B", "Line C", "Line D"};
    for (int l = 1; l <= 4; ++l) {
        r << TRow{QStringLiteral("Line%1").arg(l),
                  [m, l] { return TabText(m->ControlLines, m->LinePage[l]); }, linesCz[l - 1],
                  linesEn[l - 1]};
        r << TRow{QStringLiteral("Label%1").arg(2 + 2 * l),
                  [m, l] { return m->MemoLabel[2 + 2 * l]->text(); }, "Odeslané:", "Request:"};
        r << TRow{QStringLiteral("Label%1").arg(3 + 2 * l),
                  [m, l] { return m->MemoLabel[3 + 2 * l]->text(); }, "Přijaté:", "Answer:"};
        const QByteArray radio = "RadioButton" + QByteArray::number(l);
        r << TRow{QStringLiteral("FormPripoj.RadioButton%1").arg(l),
                  [radio] { return Pripoj<QRadioButton>(radio.constData())->text(); },
                  radiosCz[l - 1], radiosEn[l - 1]};
    }
    return r;
}

// The rows of one source's panel.
QList<TRow> PanelRows(int slot)
{
    const TDevice &d = Devices[slot];
    const QString p = QStringLiteral("panel %1 ").arg(slot);
    return {
        {p + "ButtProg hint", [&d] { return d.ButtProg->toolTip(); }, "Edit program",
         "Edit program"},
        {p + "CheckBox1 caption", [&d] { return d.CheckBox1->text(); }, "Záznam", "Record"},
        {p + "CheckBox1 hint", [&d] { return d.CheckBox1->toolTip(); },
         "Zapnout / vypnout záznam do souboru", "Switch on or of record to file"},
        {p + "ButtonColor caption", [&d] { return d.ButtonColor->text(); }, "Barva", "Color"},
        {p + "ButtonColor hint", [&d] { return d.ButtonColor->toolTip(); }, "Nastavení barvy",
         "Set device color"},
        {p + "ButtonDel caption", [&d] { return d.ButtonDel->text(); }, "Odebrat", "Remove"},
        {p + "ButtonDel hint", [&d] { return d.ButtonDel->toolTip(); }, "Odstraní zařízení",
         "Remove device"},
        {p + "Label2 hint", [&d] { return d.Label2->toolTip(); }, "Výstup Zap/Vyp",
         "Output on/off"},
        {p + "Label3 hint", [&d] { return d.Label3->toolTip(); }, "Stabilizace Zap/Vyp",
         "Stabilization on/off"},
        {p + "Edit1 hint", [&d] { return d.Edit1->toolTip(); }, "Nastavení napětí",
         "Voltage regulation"},
        {p + "ButtSetU hint", [&d] { return d.ButtSetU->toolTip(); }, "Nastavení napětí",
         "Voltage regulation"},
        {p + "Edit2 hint", [&d] { return d.Edit2->toolTip(); }, "Nastavení tolerance stabilizace",
         "Set toleration stabilization"},
        {p + "ButtSetTol hint", [&d] { return d.ButtSetTol->toolTip(); },
         "Nastavení tolerance stabilizace", "Set toleration stabilization"},
        {p + "ButtSt hint", [&d] { return d.ButtSt->toolTip(); }, "Spustění program",
         "Run program"},
        {p + "ButtEn hint", [&d] { return d.ButtEn->toolTip(); }, "Stop programu", "Stop program"},
        {p + "PanNekom caption", [&d] { return d.PanNekom->Caption(); }, "NEKOMUNIKUJE",
         "NO ANSWER"},
    };
}

// Texts the language never touches, as they stand right after start-up.
QList<QPair<QString, std::function<QString()>>> FixedTexts()
{
    TFormMain *m = Main();
    QList<QPair<QString, std::function<QString()>>> r = {
        {"Buttoff caption", [m] { return m->Buttoff->text(); }},
        {"Label13", [m] { return m->Label13->text(); }},
        {"CB_3d", [m] { return m->CB_3d->text(); }},
        {"left axis title", [m] { return m->Graf->LeftAxisTitle(); }},
        {"LabAbout5", [m] { return m->LabAbout[5]->text(); }},
        {"LabAbout6", [m] { return m->LabAbout[6]->text(); }},
        {"LabAbout7", [m] { return m->LabAbout[7]->text(); }},
    };
    for (QWidget *page : {m->Page3x, m->Page5, m->Page6, m->Page7})
        r.append({page->objectName(), [m, page] { return TabText(m->PageCont, page); }});
    return r;
}

// Czech needs these letters beyond ASCII. Any other letter outside ASCII ("Ã", "Å", "Ä"
// and the like) is a Czech letter garbled on its way into the program, as is the
// replacement character or a control character. An empty text when the text is clean,
// else what is wrong with it.
QString GarbledIn(const QString &text, bool czech)
{
    static const QString czechLetters = QStringLiteral("áčďéěíňóřšťúůýžÁČĎÉĚÍŇÓŘŠŤÚŮÝŽ");
    for (QChar c : text) {
        const bool bad =
            c == QChar::ReplacementCharacter ||
            (c != QLatin1Char('\n') && c.category() == QChar::Other_Control) ||
            (c.unicode() >= 0x80 && c.isLetter() && !(czech && czechLetters.contains(c)));
        if (bad)
            return QStringLiteral("\"%1\" [U+%2]")
                .arg(text)
                .arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return {};
}

QString Hex(const QByteArray &b)
{
    return QString::fromLatin1(b.toHex(' '));
}

} // namespace

class TstLanguageTable : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void everyRowInBothSets();
    void sourceConnectedAfterSwitchGetsTextsInForce();
    void programEditorFollowsTheLanguage();
    void logEntriesKeepTheLanguageTheyWereWrittenIn();
    void stringTableHoldsCleanCzech();
    void lettersOfASourceInTheCodePage();
    void everyShownTextIsCleanCzech();
    void czechLettersInRecordingAndExport();
    void czechLettersInTheSettingsFile();

private:
    // Compares every row of the windows and of the given panels with the set.
    void expectSet(TLangSet set, const QList<int> &slotList);
    void clickFlag(const char *code);

    std::unique_ptr<WholeProgram> m_prog;
    QList<QPair<QString, QString>> m_fixed; // the fixed texts at start-up
    QStringList m_templateTexts;            // the template panel's texts at start-up
};

// The template panel's own captions and hints, in a fixed order.
static QStringList TemplateTexts()
{
    QStringList r;
    TPanel *t = FormMain->PanDev;
    for (const char *name : {"ButtProg", "ButtonColor", "ButtonDel", "ButtSetU", "ButtSetTol"}) {
        auto *b = t->findChild<TBitBtn *>(QLatin1String(name));
        r << b->text() << b->toolTip();
    }
    for (const char *name : {"Label2", "Label3"}) {
        auto *l = t->findChild<TLabel *>(QLatin1String(name));
        r << l->text() << l->toolTip();
    }
    auto *c = t->findChild<TCheckBox *>(QStringLiteral("CheckBox1"));
    r << c->text() << c->toolTip();
    for (const char *name : {"ButtSt", "ButtEn"})
        r << t->findChild<TSpeedButton *>(QLatin1String(name))->toolTip();
    r << t->findChild<TPanel *>(QStringLiteral("PanNekom"))->Caption();
    return r;
}

void TstLanguageTable::initTestCase()
{
    m_prog = std::make_unique<WholeProgram>();
    // Line C carries a source whose type and serial number hold Czech letters in the code
    // page; they come through a configuration file because a command line is UTF-8.
    const QByteArray lineC = m_prog->Dir().toLocal8Bit() + "/lineC";
    const QString config = m_prog->Dir() + QStringLiteral("/czech.cfg");
    QVERIFY(WriteFile(config, "--line " + lineC +
                                  " --source addr=9,type=ZDR\xC1\xC8"
                                  "EK-S,serial=\xC8"
                                  "12\n"));
    const QString err = m_prog->Start({{"addr=1,slew=0", "addr=2,slew=0"}, {"addr=7,slew=0"}},
                                      {QStringLiteral("--config"), config},
                                      "COM3=" + lineC + "\r\n[Setup]\r\nLang=cz\r\n");
    QVERIFY2(err.isEmpty(), qPrintable(err));
    QVERIFY(QTest::qWaitForWindowExposed(FormMain));
    for (const auto &f : FixedTexts())
        m_fixed.append({f.first, f.second()});
    m_templateTexts = TemplateTexts();
    QCOMPARE(m_prog->Connect(1, 1), 1);
    QCOMPARE(m_prog->Connect(1, 2), 2);
}

void TstLanguageTable::cleanupTestCase()
{
    m_prog.reset();
}

void TstLanguageTable::clickFlag(const char *code)
{
    TFormMain *m = Main();
    TBitBtn *flag = QByteArray(code) == "en" ? m->Bu_en : m->Bu_cz;
    QVERIFY2(flag->isVisible(), code);
    QTest::mouseClick(flag, Qt::LeftButton);
    QCOMPARE(LangCode, QString::fromLatin1(code));
}

void TstLanguageTable::expectSet(TLangSet set, const QList<int> &slotList)
{
    const bool cz = set == lsCzech;
    QList<TRow> rows = WindowRows();
    for (int s : slotList)
        rows << PanelRows(s);
    QStringList wrong;
    for (const TRow &r : rows) {
        QString want = QString::fromUtf8(cz ? r.cz : r.en);
        if (r.name == QLatin1String("FormMain caption"))
            want += LangCode;
        const QString got = r.read();
        if (got != want)
            wrong << QStringLiteral("%1: \"%2\", expected \"%3\"").arg(r.name, got, want);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    // The rights notice: two lines, one text per language.
    TFormMain *m = Main();
    for (int n : {2, 3}) {
        const QString text = m->LabAbout[n]->text();
        QVERIFY(!text.isEmpty());
        QCOMPARE(text == LoadStr(n == 2 ? sAbout2 : sAbout3, cz ? lsCzech : lsEnglish), true);
    }
    QVERIFY(m->LabAbout[2]->text() != m->LabAbout[3]->text());
    // The flag shown is the one that switches to the other language.
    QCOMPARE(m->Bu_en->isVisible(), cz);
    QCOMPARE(m->Bu_cz->isVisible(), !cz);
    // What the language never changes.
    for (const auto &f : FixedTexts())
        for (const auto &was : m_fixed)
            if (was.first == f.first)
                QVERIFY2(f.second() == was.second, qPrintable(f.first));
    for (int s : slotList) {
        const TDevice &d = Devices[s];
        QCOMPARE(d.ButtSetU->text(), QStringLiteral("SET"));
        QCOMPARE(d.ButtSetTol->text(), QStringLiteral("SET"));
        QCOMPARE(d.ButtProg->text(), QStringLiteral("Program"));
        QCOMPARE(d.Label2->text(), QStringLiteral("Out"));
        QCOMPARE(d.Label3->text(), QStringLiteral("Sta"));
    }
    // The template panel stays as designed.
    QCOMPARE(TemplateTexts(), m_templateTexts);
}

void TstLanguageTable::everyRowInBothSets()
{
    // Czech from the settings file, then English and back by the flags.
    expectSet(lsCzech, {1, 2});
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_fixed.size(), FixedTexts().size());
    QCOMPARE(FormMain->PanDev->findChild<TCheckBox *>(QStringLiteral("CheckBox1"))->text(),
             QStringLiteral("Záznam"));
    clickFlag("en");
    expectSet(lsEnglish, {1, 2});
    if (QTest::currentTestFailed())
        return;
    clickFlag("cz");
    expectSet(lsCzech, {1, 2});
}

void TstLanguageTable::sourceConnectedAfterSwitchGetsTextsInForce()
{
    clickFlag("en");
    // A panel built now starts from the template's Czech texts; the connection ends with
    // the language pass, so the new source speaks English at once.
    QCOMPARE(m_prog->Connect(2, 7), 3);
    expectSet(lsEnglish, {1, 2, 3});
    if (QTest::currentTestFailed())
        return;
    clickFlag("cz");
    expectSet(lsCzech, {1, 2, 3});
}

void TstLanguageTable::programEditorFollowsTheLanguage()
{
    struct TCase
    {
        const char *code, *title;
        QStringList headers;
        const char *open, *save;
    };
    const TCase cases[] = {
        {"en", "Program Device No.2", {"Step", "Time [s]", "U [V]", "Next"}, "Open", "Save"},
        {"cz", "Program zdroje č.2", {"Krok", "Čas [s]", "U [V]", "Další"}, "Načti", "Ulož"},
    };
    for (const TCase &c : cases) {
        clickFlag(c.code);
        QString title, open, save;
        QStringList headers;
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            shown = FormProg->isVisible();
            title = FormProg->windowTitle();
            for (int col = 0; col < 4; ++col)
                headers << FormProg->Tab->horizontalHeaderItem(col)->text();
            open = FormProg->ButtOpen->text();
            save = FormProg->ButtSave->text();
            FormProg->ButtOK->click();
        });
        // The operator opens the editor from the second source's panel.
        QTest::mouseClick(Devices[2].ButtProg, Qt::LeftButton);
        QVERIFY(shown);
        QCOMPARE(title, QString::fromUtf8(c.title));
        QCOMPARE(headers, c.headers);
        QCOMPARE(open, QString::fromUtf8(c.open));
        QCOMPARE(save, QString::fromUtf8(c.save));
    }
}

void TstLanguageTable::logEntriesKeepTheLanguageTheyWereWrittenIn()
{
    static const QRegularExpression czech(QStringLiteral("^Zař\\.č\\.[12], Stav\\d+: @0[12]"));
    static const QRegularExpression english(QStringLiteral("^Dev\\. No\\.[12], Stav\\d+: @0[12]"));
    QPlainTextEdit *sent = FormMain->SentMemo(1);
    QTRY_VERIFY_WITH_TIMEOUT(MemoLines(sent).first().contains(czech), 5000);
    const QStringList before = MemoLines(sent);
    clickFlag("en");
    // New entries in English on top, the log as it stood below them, unchanged.
    QTRY_VERIFY_WITH_TIMEOUT(MemoLines(sent).first().contains(english), 5000);
    const QStringList lines = MemoLines(sent);
    int added = 0;
    while (added < lines.size() && lines[added].contains(english))
        ++added;
    QVERIFY(added < lines.size());
    QCOMPARE(lines.mid(added), before.mid(0, lines.size() - added));
    clickFlag("cz");
}

void TstLanguageTable::stringTableHoldsCleanCzech()
{
    const QString czechLetters = QStringLiteral("áčďéěíňóřšťúůýžÁČĎÉĚÍŇÓŘŠŤÚŮÝŽ");
    int accented = 0;
    for (int id = 0; id < sStrCount; ++id) {
        for (TLangSet set : {lsCzech, lsEnglish}) {
            const QString text = LoadStr(TStrId(id), set);
            const QString where =
                QStringLiteral("text %1 (%2): ").arg(id).arg(set == lsCzech ? "cz" : "en");
            QVERIFY2(!text.isEmpty(), qPrintable(where));
            const QString garbled = GarbledIn(text, set == lsCzech);
            QVERIFY2(garbled.isEmpty(), qPrintable(where + garbled));
            for (QChar c : text)
                accented += czechLetters.contains(c);
            // UTF-8 bytes taken for code-page letters would read back as valid UTF-8.
            const QByteArray bytes = ToCp1250(text);
            if (FromCp1250(bytes) == text &&
                text.contains(QRegularExpression(QStringLiteral("[^\\x00-\\x7F]")))) {
                QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
                const QString again = utf8.decode(bytes);
                QVERIFY2(utf8.hasError() || again == text, qPrintable(where + text));
            }
        }
    }
    QVERIFY(accented > 50);
    // The texts that go into files have every letter in the code page.
    for (int id = sAxisX; id <= sVoltageIs; ++id) {
        const QString text = LoadStr(TStrId(id), lsCzech);
        QCOMPARE(FromCp1250(ToCp1250(text)), text);
    }
}

void TstLanguageTable::lettersOfASourceInTheCodePage()
{
    // The source names itself "ZDRÁČEK-S", serial "Č12", in code-page bytes.
    QCOMPARE(m_prog->Connect(3, 9), 4);
    QTRY_COMPARE_WITH_TIMEOUT(Devices[4].Label1->text(),
                              QStringLiteral("4: Adr.9,  ZDRÁČEK-S   v.č.: Č12\r"), 5000);
    QVERIFY(Devices[4].CanStab);
    const QStringList log = MemoLines(FormMain->RecvMemo(3));
    QVERIFY2(!log.filter(QStringLiteral(": #09TYPZDRÁČEK-SVCČ12↵")).isEmpty(),
             qPrintable(log.join(QLatin1Char('\n'))));
}

void TstLanguageTable::everyShownTextIsCleanCzech()
{
    // Every caption, hint, title, tab, list item and log line of all windows, the designed
    // texts that the language leaves alone included, in both languages.
    for (const char *code : {"en", "cz"}) {
        clickFlag(code);
        QStringList texts;
        QList<QWidget *> widgets = FormMain->findChildren<QWidget *>();
        widgets << FormMain;
        for (QWidget *w : widgets) {
            if (w == FormProg->LabPath)
                continue; // a file name from the settings
            texts << w->windowTitle() << w->toolTip();
            if (auto *l = qobject_cast<QLabel *>(w)) {
                // A panel title ends with the carriage return of the identification reply.
                QString text = l->text();
                if (text.endsWith(QLatin1Char('\r')) && w->objectName() == QLatin1String("Label1"))
                    text.chop(1);
                texts << text;
            } else if (auto *b = qobject_cast<QAbstractButton *>(w))
                texts << b->text();
            else if (auto *t = qobject_cast<QTabWidget *>(w))
                for (int i = 0; i < t->count(); ++i)
                    texts << t->tabText(i);
            else if (auto *m = qobject_cast<QPlainTextEdit *>(w))
                texts << MemoLines(m);
            else if (auto *list = qobject_cast<QListWidget *>(w))
                for (int i = 0; i < list->count(); ++i)
                    texts << list->item(i)->text();
        }
        for (int c = 0; c < 4; ++c)
            texts << FormProg->Tab->horizontalHeaderItem(c)->text();
        for (int k = 0; k < Main()->Graf->SeriesCount(); ++k)
            texts << Main()->Graf->Series(k)->Title();
        int czech = 0;
        for (const QString &t : texts) {
            const QString garbled = GarbledIn(t, true);
            QVERIFY2(garbled.isEmpty(), qPrintable(garbled));
            czech += t.contains(QRegularExpression(QStringLiteral("[čřěšžůáíé]")));
        }
        QVERIFY(czech > 10); // the designed Czech hints stay in English too
    }
    // Designed texts the language leaves as they are, with their Czech letters.
    TPanel *t = FormMain->PanDev;
    QCOMPARE(t->findChild<TBitBtn *>(QStringLiteral("ButtProg"))->toolTip(),
             QStringLiteral("Nastavení programu"));
    QCOMPARE(t->findChild<TBitBtn *>(QStringLiteral("ButtonDel"))->toolTip(),
             QStringLiteral("Odebrat zařízení"));
    QCOMPARE(Devices[1].LabKrok->toolTip(), QStringLiteral("Aktuální stav programu"));
    QCOMPARE(Main()->Graf->Series(2)->Title(), QStringLiteral("č. 3"));
}

void TstLanguageTable::czechLettersInRecordingAndExport()
{
    TFormMain *m = Main();
    // Recording header: the same Czech line in both languages.
    QTest::mouseClick(Devices[1].CheckBox1, Qt::LeftButton);
    clickFlag("en");
    QTest::mouseClick(Devices[2].CheckBox1, Qt::LeftButton);
    const QByteArray rec1 = ReadFile(m_prog->Dir() + "/Dev_no1 adr.1.csv");
    const QByteArray rec2 = ReadFile(m_prog->Dir() + "/Dev_no2 adr.2.csv");
    QVERIFY2(rec1.startsWith("Zdroj \xE8.1 adr.1\r\nDatum a \xE8"
                             "as;U [V];Uset [V]\r\n"),
             qPrintable(Hex(rec1.left(60))));
    QVERIFY2(rec2.startsWith("Zdroj \xE8.2 adr.2\r\nDatum a \xE8"
                             "as;U [V];Uset [V]\r\n"),
             qPrintable(Hex(rec2.left(60))));

    // Export in each language: on the chart page (F2) the operator ticks the first source
    // in the list.
    QTest::keyClick(m, Qt::Key_F2);
    QCOMPARE(m->PageCont->currentWidget(), m->Page2);
    m->CheckZaz->setCurrentRow(0);
    QTest::keyClick(m->CheckZaz->viewport(), Qt::Key_Space);
    QVERIFY(m->CheckZaz->Checked(0));
    QVERIFY(Devices[1].InChart);
    QTRY_VERIFY_WITH_TIMEOUT(m->Graf->Series(0)->Count() >= 1, 3000);
    QTest::mouseClick(m->ButtSaveGraf, Qt::LeftButton);
    clickFlag("cz");
    QTest::mouseClick(m->ButtSaveGraf, Qt::LeftButton);
    const QByteArray en = ReadFile(m_prog->Dir() + "/Graf_Dev.csv");
    const QByteArray cz = ReadFile(m_prog->Dir() + "/GrafHodn002.csv");
    QVERIFY2(en.startsWith("Graph's Values\r\nValues from the device No.1\r\nAxis X;"),
             en.constData());
    QVERIFY2(cz.startsWith("Hodnoty z grafu\r\nHodnoty ze zdroje \xE8.1\r\nOsa X;"),
             qPrintable(Hex(cz.left(60))));
    QVERIFY(cz.contains("\r\nOsa Y;"));
    QTest::keyClick(m, Qt::Key_F1);
    QCOMPARE(m->PageCont->currentWidget(), m->ScrollMain);
}

void TstLanguageTable::czechLettersInTheSettingsFile()
{
    // The operator saves a program under a Czech name; the settings keep its path.
    const QString name = m_prog->Dir() + QStringLiteral("/napětí_žluťoučký.prg");
    const auto dialog = TFormProg::RunFileDialog;
    TFormProg::RunFileDialog = [name](QFileDialog *) { return name; };
    QTimer::singleShot(0, this, [] {
        FormProg->ButtSave->click();
        FormProg->ButtOK->click();
    });
    QTest::mouseClick(Devices[1].ButtProg, Qt::LeftButton);
    TFormProg::RunFileDialog = dialog;
    QCOMPARE(ProgramPath, name);
    QVERIFY(QFileInfo::exists(name));

    const QString ini = m_prog->IniPath();
    m_prog->Stop();
    const QByteArray bytes = ReadFile(ini);
    const QByteArray path = "Path=" + m_prog->Dir().toLatin1() +
                            "/nap\xEC"
                            "t\xED_\x9Elu\x9Dou\xE8k\xFD.prg\r\n";
    QVERIFY2(bytes.contains(path), qPrintable(Hex(bytes)));
    QVERIFY(bytes.contains("Lang=cz\r\n"));

    // The next run reads the same letters back and shows them in the editor.
    WholeProgram next;
    const QString err = next.Start({{"addr=1,slew=0"}}, {}, "[Setup]\r\n" + path + "Lang=en\r\n");
    QVERIFY2(err.isEmpty(), qPrintable(err));
    QCOMPARE(ProgramPath, name);
    QCOMPARE(LangCode, QStringLiteral("en"));
    QCOMPARE(next.Connect(1, 1), 1);
    QString shown;
    QTimer::singleShot(0, this, [&shown] {
        shown = FormProg->LabPath->text();
        FormProg->ButtOK->click();
    });
    QTest::mouseClick(Devices[1].ButtProg, Qt::LeftButton);
    QCOMPARE(shown, name);
}

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    TstLanguageTable test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_languagetable.moc"
