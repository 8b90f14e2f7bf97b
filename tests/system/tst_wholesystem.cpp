// One operator's session with the whole program, through the real serial layer and the
// source simulator on two lines, from a fresh settings file to the end button:
//
//   line A: address 1, a source that can stabilise (slot 1); address 5, silent (slot 2);
//           address 7, connected later into the freed slot 2
//   line B: address 3, type ZDR150 (slot 3); address 12, type ZDR60 (slot 4)
//
// The operator connects the four sources through the dialog, sets voltages and a
// tolerance, switches outputs and stabilisation, enters a program in the editor and saves
// it, loads it for the second source, runs both programs at once with recording on, ticks
// both in the chart, changes the chart's span and axis, exports the chart, switches to
// English, removes the silent source, connects another into its slot, empties line B and
// connects on it again, and ends the program with its end button. Checked on the way and
// at the end: the frames the simulator received, the panels, the communication memos, the
// program, recording and export files and the settings file.

#include "afcomport.h"
#include "commlog.h"
#include "memolines.h"
#include "scheduler.h"
#include "sysutils.h"
#include "tchart.h"
#include "wholeprogram.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSet>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QThread>

namespace {

const QColor Lime(0x00, 0xFF, 0x00), Red(0xFF, 0x00, 0x00), White(0xFF, 0xFF, 0xFF);
const QColor Gray(0x80, 0x80, 0x80);

// The frames the simulator's source at the address received on the line, in order.
QList<QByteArray> FramesTo(SimProcess &sim, int line, int address)
{
    const QByteArray head = '@' + QByteArray::number(address, 16).toUpper().rightJustified(2, '0');
    QList<QByteArray> r;
    for (const QByteArray &f : sim.Received(line))
        if (f.startsWith(head))
            r << f;
    return r;
}

// The set commands among them: every frame whose value is not a question.
QList<QByteArray> SetFramesTo(SimProcess &sim, int line, int address)
{
    QList<QByteArray> r;
    for (const QByteArray &f : FramesTo(sim, line, address))
        if (!f.contains('?'))
            r << f;
    return r;
}

// The date-time number of a moment: days since 30 December 1899, local time.
double DayNumber(const QDateTime &t)
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0)).msecsTo(t) / 86400000.0;
}

QLineEdit *CellEditor()
{
    for (QLineEdit *e : FormProg->Tab->viewport()->findChildren<QLineEdit *>())
        if (e->isVisible())
            return e;
    return nullptr;
}

// Waits for the moment right after a reply on the line, when the next request is still two
// ticks away. A source connected then does not take over the reply of a request that is
// still out (the line credits a reply to its current source, and the new source becomes
// current at once).
bool WaitBetweenRequests(int line)
{
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (!Lines[line].Waiting && Lines[line].Countdown >= ReplyPause)
            return true;
        QThread::usleep(500);
    }
    return false;
}

} // namespace

class TstWholeSystem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void startsFreshAndConnectsFourSources();
    void panelsShowTheSources();
    void commandsReachTheWire();
    void programEnteredSavedAndLoaded();
    void twoProgramsRunWithRecording();
    void chartAndExport();
    void languageSwitch();
    void removeTheSilentSource();
    void memosMatchTheWire();
    void freedSlotReusedAndIdleLineClosed();
    void endWritesTheSettings();

private:
    // Types into the open cell of the program editor and presses Enter.
    void typeCell(const QString &text);
    void tickInChart(int row);

    std::unique_ptr<WholeProgram> m_prog;
    QDateTime m_started;
    QString m_programFile;
    QList<QPoint> m_positionsBeforeRemoval;
};

void TstWholeSystem::initTestCase()
{
    m_started = QDateTime::currentDateTime();
    m_prog = std::make_unique<WholeProgram>();
    const QString err =
        m_prog->Start({{"addr=1,type=ZDR300-S,tol=2,slew=0", "addr=5,silent", "addr=7,slew=0"},
                       {"addr=3,type=ZDR150,u=7,slew=0", "addr=12,type=ZDR60,serial=A77,slew=0"}});
    QVERIFY2(err.isEmpty(), qPrintable(err));
    QVERIFY(QTest::qWaitForWindowExposed(FormMain));
}

void TstWholeSystem::cleanupTestCase()
{
    m_prog.reset();
}

void TstWholeSystem::startsFreshAndConnectsFourSources()
{
    // No "Setup" section yet: Czech, the default span and axis.
    QCOMPARE(LangCode, QStringLiteral("cz"));
    QCOMPARE(ChartWindow, 120);
    TFormMain *m = m_prog->Form();
    QCOMPARE(m->UpDownY->Position(), 300);
    QCOMPARE(m->windowTitle(), QStringLiteral("Ardemo verze 1.00 - cz"));
    QCOMPARE(DeviceCount, 0);

    // The second source of a line joins between two requests of the first.
    QCOMPARE(m_prog->Connect(1, 1), 1);
    QVERIFY(WaitBetweenRequests(1));
    QCOMPARE(m_prog->Connect(1, 5), 2);
    QCOMPARE(m_prog->Connect(2, 3), 3);
    QVERIFY(WaitBetweenRequests(2));
    QCOMPARE(m_prog->Connect(2, 12), 4);
    QCOMPARE(DeviceCount, 4);
    QVERIFY2(m_prog->Errors().isEmpty(), qPrintable(m_prog->Errors().join('\n')));

    // Default colours by slot, titles before any reply, the chart's list unticked.
    const QColor colours[] = {Red, QColor(0, 0, 0xFF), Lime, QColor(0xFF, 0xFF, 0)};
    for (int s = 1; s <= 4; ++s)
        QCOMPARE(Devices[s].PanelCol->Color(), colours[s - 1]);
    QCOMPARE(Devices[2].Label1->text(), QStringLiteral("2: Adr. 5"));
    QCOMPARE(m->CheckZaz->count(), 4);
    const QStringList items = {"01: Adr. = 1", "02: Adr. = 5", "03: Adr. = 3", "04: Adr. = 12"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(m->CheckZaz->item(i)->text(), items[i]);
        QVERIFY(!m->CheckZaz->Checked(i));
    }
}

void TstWholeSystem::panelsShowTheSources()
{
    // Each source's first turn: voltage, identification, tolerance.
    const struct
    {
        int slot;
        const char *title, *u, *tol;
    } expected[] = {
        {1, "1: Adr.1,  ZDR300-S   v.č.: 1001\r", "U = 000 V", "Tol = 2 V"},
        {3, "3: Adr.3,  ZDR150   v.č.: 1003\r", "U = 000 V", "Tol = 1 V"},
        {4, "4: Adr.12,  ZDR60   v.č.: A77\r", "U = 000 V", "Tol = 1 V"},
    };
    for (const auto &e : expected) {
        const TDevice &d = Devices[e.slot];
        QTRY_COMPARE_WITH_TIMEOUT(d.Disp2->text(), QString::fromLatin1(e.tol), 8000);
        QCOMPARE(d.Label1->text(), QString::fromUtf8(e.title));
        QCOMPARE(d.Disp1->text(), QString::fromLatin1(e.u));
        QVERIFY(d.PanNekom->isHidden());
        QCOMPARE(d.Shape1->BrushColor(), Red); // output off
        QVERIFY(d.Edit1->isEnabled());
        QVERIFY(d.ButtSt->isEnabled());
    }
    // The reply's carriage return ends the title as a blank: the title keeps to one line.
    QVERIFY(Devices[1].Label1->height() <
            2 * QFontMetrics(Devices[1].Label1->font()).lineSpacing());
    // Only the first can stabilise.
    QVERIFY(Devices[1].Edit2->isEnabled());
    QVERIFY(Devices[1].Label3->isEnabled());
    QCOMPARE(Devices[1].Shape2->BrushColor(), Red);
    for (int s : {3, 4}) {
        QVERIFY(!Devices[s].Edit2->isEnabled());
        QVERIFY(!Devices[s].ButtSetTol->isEnabled());
        QCOMPARE(Devices[s].Shape2->BrushColor(), White);
    }
    // The silent source: time-outs on its panel and in the log.
    const TDevice &silent = Devices[2];
    QTRY_VERIFY_WITH_TIMEOUT(
        MemoLines(FormMain->RecvMemo(1)).contains(QStringLiteral("Zař.č.2: Neodpovídá")), 5000);
    QVERIFY(!silent.PanNekom->isHidden());
    QCOMPARE(silent.PanNekom->Caption(), QStringLiteral("NEKOMUNIKUJE"));
    QCOMPARE(silent.Disp1->text(), QStringLiteral("U = .... V"));
    QCOMPARE(silent.Label1->text(), QStringLiteral("2: Adr. 5"));
    QVERIFY(!silent.Edit1->isEnabled());
    QVERIFY(!silent.ButtSt->isEnabled());
}

void TstWholeSystem::commandsReachTheWire()
{
    TFormMain *m = m_prog->Form();
    TDevice &a = Devices[1];
    // All at once, before the scheduler runs again: 12 V by Enter, a tolerance of 5 V by
    // SET, the outputs of all sources on, stabilisation of the first on; 25 V and 40 V by
    // SET on line B.
    QTest::keyClicks(a.Edit1, QStringLiteral("12"));
    QTest::keyClick(a.Edit1, Qt::Key_Return);
    QTest::keyClicks(a.Edit2, QStringLiteral("5"));
    QTest::mouseClick(a.ButtSetTol, Qt::LeftButton);
    QTest::mouseClick(m->ButtOutOn, Qt::LeftButton);
    QTest::mouseClick(a.Label3, Qt::LeftButton);
    QTest::keyClicks(Devices[3].Edit1, QStringLiteral("25"));
    QTest::mouseClick(Devices[3].ButtSetU, Qt::LeftButton);
    QTest::keyClicks(Devices[4].Edit1, QStringLiteral("40"));
    QTest::mouseClick(Devices[4].ButtSetU, Qt::LeftButton);
    QCOMPARE(a.Edit1->FontColor(), Gray);
    QCOMPARE(a.Edit2->FontColor(), Gray);
    QVERIFY(a.PendU && a.PendTol && a.PendOut && a.PendSta);
    QVERIFY(Devices[2].PendOut); // whether or not the source answers

    // The panels show what the sources report.
    QTRY_COMPARE_WITH_TIMEOUT(a.Shape2->BrushColor(), Lime, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(a.Disp1->text(), QStringLiteral("U = 012 V"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(a.Disp2->text(), QStringLiteral("Tol = 5 V"), 5000);
    QCOMPARE(a.Shape1->BrushColor(), Lime);
    QTRY_COMPARE_WITH_TIMEOUT(Devices[3].Disp1->text(), QStringLiteral("U = 025 V"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(Devices[4].Disp1->text(), QStringLiteral("U = 040 V"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(Devices[4].Shape1->BrushColor(), Lime, 5000);
    QCOMPARE(Devices[3].Shape1->BrushColor(), Lime);
    QCOMPARE(Devices[3].Shape2->BrushColor(), White);
    QVERIFY(!a.PendU && !a.PendTol && !a.PendOut && !a.PendSta);

    // The source's turn on the wire: the tolerance goes first, then the voltage and its
    // read-back, the output and the stabilisation each with its query, then the rest of
    // the turn.
    SimProcess &sim = m_prog->Sim();
    QTRY_VERIFY_WITH_TIMEOUT(FramesTo(sim, 1, 1).count("@01TOL?8F\r") >= 2, 5000);
    const QList<QByteArray> toA = FramesTo(sim, 1, 1);
    const qsizetype first = toA.indexOf("@01TOL585\r");
    QVERIFY(first > 0);
    const QList<QByteArray> turn = {
        "@01TOL585\r", "@01NAP012D3\r", "@01NAP???FD\r", "@01OUT18A\r", "@01OUT?98\r",
        "@01STA17A\r", "@01STA?88\r",   "@01NAP???FD\r", "@01ID?2D\r",  "@01TOL?8F\r"};
    QCOMPARE(toA.mid(first, turn.size()), turn);
    QCOMPARE(SetFramesTo(sim, 1, 1),
             (QList<QByteArray>{"@01TOL585\r", "@01NAP012D3\r", "@01OUT18A\r", "@01STA17A\r"}));
    // Line B: the voltage before the output, each source in its own turn.
    QCOMPARE(SetFramesTo(sim, 2, 3), (QList<QByteArray>{"@03NAP025D9\r", "@03OUT18C\r"}));
    QCOMPARE(SetFramesTo(sim, 2, 12), (QList<QByteArray>{"@0CNAP040E6\r", "@0COUT19C\r"}));
    // The silent source heard its output command once, then only questions.
    QTRY_VERIFY_WITH_TIMEOUT(FramesTo(sim, 1, 5).contains("@05OUT18E\r"), 5000);
    QCOMPARE(SetFramesTo(sim, 1, 5), QList<QByteArray>{"@05OUT18E\r"});
    for (const SimFrame &f : sim.Frames())
        QVERIFY2(f.kind != "BAD", f.text.constData());
}

void TstWholeSystem::typeCell(const QString &text)
{
    QLineEdit *e = nullptr;
    QTRY_VERIFY((e = CellEditor()) != nullptr);
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
}

void TstWholeSystem::programEnteredSavedAndLoaded()
{
    m_programFile = m_prog->Dir() + QStringLiteral("/rampa_napětí.prg");
    const auto dialog = TFormProg::RunFileDialog;
    const QString chosen = m_prog->Dir() + QStringLiteral("/rampa_napětí");
    TFormProg::RunFileDialog = [chosen](QFileDialog *) { return chosen; };

    // Source 3: two steps of one second's time (two seconds each), 60 V then 80 V, typed
    // into the grid, saved, confirmed with Ctrl+Enter.
    QString title;
    bool closedByKeys = false;
    QTimer::singleShot(0, this, [this, &title, &closedByKeys] {
        title = FormProg->windowTitle();
        for (const char *cell : {"1", "60", "2", "1", "80", "0"}) {
            typeCell(QLatin1String(cell));
            if (QTest::currentTestFailed())
                break;
        }
        FormProg->ButtSave->click();
        if (QLineEdit *e = CellEditor())
            QTest::keyClick(e, Qt::Key_Return, Qt::ControlModifier);
        closedByKeys = !FormProg->isVisible();
        if (FormProg->isVisible())
            FormProg->ButtOK->click(); // the dialog must not stay open on a failure
    });
    QTest::mouseClick(Devices[3].ButtProg, Qt::LeftButton);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(closedByKeys);
    QCOMPARE(title, QStringLiteral("Program zdroje č.3"));
    const ProgramStep *s3 = Devices[3].Steps;
    QCOMPARE((QList<int>{s3[1].Time, int(s3[1].U), s3[1].Next}), (QList<int>{1, 60, 2}));
    QCOMPARE((QList<int>{s3[2].Time, int(s3[2].U), s3[2].Next}), (QList<int>{1, 80, 0}));
    QCOMPARE(ProgramPath, m_programFile);

    // The file: 256 lines index/time/voltage/next.
    QByteArray want = "0/0/0/0\r\n1/1/60/2\r\n2/1/80/0\r\n";
    for (int i = 3; i < 256; ++i)
        want += QByteArray::number(i) + "/0/0/0\r\n";
    QCOMPARE(ReadFile(m_programFile), want);

    // Source 4: the same program opened from the file, confirmed with OK.
    TFormProg::RunFileDialog = [this](QFileDialog *) { return m_programFile; };
    int rows = 0;
    QTimer::singleShot(0, this, [&rows] {
        FormProg->ButtOpen->click();
        rows = FormProg->Tab->rowCount();
        FormProg->ButtOK->click();
    });
    QTest::mouseClick(Devices[4].ButtProg, Qt::LeftButton);
    TFormProg::RunFileDialog = dialog;
    QCOMPARE(rows, 2);
    for (int i = 0; i < ProgramSize; ++i) {
        QCOMPARE(Devices[4].Steps[i].Time, s3[i].Time);
        QCOMPARE(Devices[4].Steps[i].U, s3[i].U);
        QCOMPARE(Devices[4].Steps[i].Next, s3[i].Next);
    }
    QVERIFY2(m_prog->Errors().isEmpty(), qPrintable(m_prog->Errors().join('\n')));
}

void TstWholeSystem::tickInChart(int row)
{
    TCheckListBox *list = m_prog->Form()->CheckZaz;
    list->setCurrentRow(row);
    QTest::keyClick(list->viewport(), Qt::Key_Space);
    QVERIFY(list->Checked(row));
}

void TstWholeSystem::twoProgramsRunWithRecording()
{
    TFormMain *m = m_prog->Form();
    // Recording on for both, then both into the chart (F2), back to the panels (F1).
    QTest::mouseClick(Devices[3].CheckBox1, Qt::LeftButton);
    QTest::mouseClick(Devices[4].CheckBox1, Qt::LeftButton);
    const QString rec3 = m_prog->Dir() + QStringLiteral("/Dev_no3 adr.3.csv");
    const QString rec4 = m_prog->Dir() + QStringLiteral("/Dev_no4 adr.12.csv");
    QCOMPARE(Devices[3].RecFile, QStringLiteral("Dev_no3 adr.3.csv"));
    QCOMPARE(ReadFile(rec3), QByteArray("Zdroj \xE8.3 adr.3\r\nDatum a \xE8"
                                        "as;U [V];Uset [V]\r\n"));
    QCOMPARE(ReadFile(rec4), QByteArray("Zdroj \xE8.4 adr.12\r\nDatum a \xE8"
                                        "as;U [V];Uset [V]\r\n"));
    QTest::keyClick(m, Qt::Key_F2);
    QCOMPARE(m->PageCont->currentWidget(), m->Page2);
    tickInChart(2);
    tickInChart(3);
    QVERIFY(Devices[3].InChart && Devices[4].InChart);
    QVERIFY(m->Graf->Series(2)->Active() && m->Graf->Series(3)->Active());
    QVERIFY(!m->Graf->Series(0)->Active());
    QTest::keyClick(m, Qt::Key_F1);
    QCOMPARE(m->PageCont->currentWidget(), m->ScrollMain);

    // Both start in the same moment.
    QTest::mouseClick(Devices[3].ButtSt, Qt::LeftButton);
    QTest::mouseClick(Devices[4].ButtSt, Qt::LeftButton);
    for (int s : {3, 4}) {
        QCOMPARE(Devices[s].StepNo, 1);
        QVERIFY(Devices[s].ButtSt->isHidden());
        QVERIFY(!Devices[s].ButtEn->isHidden());
        QVERIFY(Devices[s].Edit1->text().isEmpty());
    }
    QTRY_COMPARE_WITH_TIMEOUT(Devices[3].LabUProg->text(), QStringLiteral("Napětí = 60"), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(Devices[3].LabKrok->text(), QStringLiteral("Krok = 2"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(Devices[3].StepNo == 0 && Devices[4].StepNo == 0, 8000);
    for (int s : {3, 4}) {
        QTRY_COMPARE_WITH_TIMEOUT(Devices[s].Disp1->text(), QStringLiteral("U = 000 V"), 5000);
        QVERIFY(!Devices[s].ButtSt->isHidden());
        QVERIFY(Devices[s].ButtEn->isHidden());
        QCOMPARE(Devices[s].LabKrok->text(), QStringLiteral("Krok = 0"));
    }

    // The wire: each step's voltage and the end voltage, in order.
    QCOMPARE(SetFramesTo(m_prog->Sim(), 2, 3),
             (QList<QByteArray>{"@03NAP025D9\r", "@03OUT18C\r", "@03NAP060D8\r", "@03NAP080DA\r",
                                "@03NAP000D2\r"}));
    QCOMPARE(SetFramesTo(m_prog->Sim(), 2, 12),
             (QList<QByteArray>{"@0CNAP040E6\r", "@0COUT19C\r", "@0CNAP060E8\r", "@0CNAP080EA\r",
                                "@0CNAP000E2\r"}));

    // The recordings: a row for each new reading and each step change (none at the start).
    static const QRegularExpression row(
        QStringLiteral("^(\\d{1,2}):(\\d{1,2}):(\\d{4}) (\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d{3});"
                       "(-?\\d+);(-?\\d+)$"));
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString &file : {rec3, rec4}) {
        const QByteArray bytes = ReadFile(file);
        QVERIFY(bytes.endsWith("\r\n"));
        QList<QByteArray> lines = bytes.chopped(1).split('\n');
        QVERIFY2(lines.size() == 2 + 5, bytes.constData());
        QStringList values;
        QDateTime last = m_started.addMSecs(-m_started.time().msec());
        for (int i = 2; i < lines.size(); ++i) {
            QVERIFY(lines[i].endsWith('\r'));
            const auto match = row.match(QString::fromLatin1(lines[i].chopped(1)));
            QVERIFY2(match.hasMatch(), lines[i].constData());
            const QDateTime when(QDate(match.captured(3).toInt(), match.captured(2).toInt(),
                                       match.captured(1).toInt()),
                                 QTime(match.captured(4).toInt(), match.captured(5).toInt(),
                                       match.captured(6).toInt(), match.captured(7).toInt()));
            QVERIFY2(when >= last && when <= now, lines[i].constData());
            last = when;
            values << match.captured(8) + ';' + match.captured(9);
        }
        QCOMPARE(values, (QStringList{"60;60", "60;80", "80;80", "80;0", "0;0"}));
    }
}

void TstWholeSystem::chartAndExport()
{
    TFormMain *m = m_prog->Form();
    // The operator recolours the second programmed source: its next points take the new
    // colour, the earlier ones keep theirs. The ticks go on while the colour dialog is
    // open, so a point sampled meanwhile may take either colour.
    const QColor purple(0x80, 0x00, 0x80);
    const int beforeDialog = m->Graf->Series(3)->Count();
    QVERIFY(beforeDialog > 0);
    QTimer::singleShot(0, this, [purple] {
        DM->ColorDial->setCurrentColor(purple);
        DM->ColorDial->accept();
    });
    QTest::mouseClick(Devices[4].ButtonColor, Qt::LeftButton);
    QCOMPARE(Devices[4].PanelCol->Color(), purple);
    const int recoloured = m->Graf->Series(3)->Count();
    QTRY_VERIFY_WITH_TIMEOUT(m->Graf->Series(3)->Count() >= recoloured + 2, 4000);

    QTest::keyClick(m, Qt::Key_F2);
    // A span of 60 s and an axis up to 50 V, typed as the operator does.
    m->MaxX->selectAll();
    QTest::keyClicks(m->MaxX, QStringLiteral("60"));
    QTest::keyClick(m->MaxX, Qt::Key_Return);
    QCOMPARE(ChartWindow, 60);
    m->MaxU->selectAll();
    QTest::keyClicks(m->MaxU, QStringLiteral("50"));
    QTest::keyClick(m->MaxU, Qt::Key_Return);
    QCOMPARE(m->UpDownY->Position(), 50);

    // One point a second for each ticked source, in its colour, at the voltages it had.
    QTRY_VERIFY_WITH_TIMEOUT(m->Graf->Series(2)->Count() >= 5 && m->Graf->Series(3)->Count() >= 5,
                             5000);
    QCOMPARE(m->Graf->CountActiveSeries(), 2);
    QTest::mouseClick(m->ButtSaveGraf, Qt::LeftButton);
    const QDateTime exported = QDateTime::currentDateTime();
    const QByteArray bytes = ReadFile(m_prog->Dir() + QStringLiteral("/Graf_Dev.csv"));
    QVERIFY(bytes.endsWith("\r\n"));
    const QList<QByteArray> lines = bytes.chopped(1).split('\n');
    QCOMPARE(lines.size(), 1 + 2 * 3);
    QCOMPARE(lines[0], QByteArray("Hodnoty z grafu\r"));
    const QList<QSet<int>> voltages = {{7, 25, 60, 80, 0}, {0, 40, 60, 80}};
    for (int k : {2, 3}) {
        const int at = 1 + (k - 2) * 3;
        QCOMPARE(lines[at], "Hodnoty ze zdroje \xE8." + QByteArray::number(k + 1) + '\r');
        QVERIFY(lines[at + 1].startsWith("Osa X;") && lines[at + 1].endsWith('\r'));
        QVERIFY(lines[at + 2].startsWith("Osa Y;") && lines[at + 2].endsWith('\r'));
        const QList<QByteArray> xs = lines[at + 1].chopped(1).split(';').mid(1);
        const QList<QByteArray> ys = lines[at + 2].chopped(1).split(';').mid(1);
        const TChartSeries *series = m->Graf->Series(k);
        QCOMPARE(xs.size(), series->Count());
        QCOMPARE(ys.size(), series->Count());
        double previous = DayNumber(m_started) - 1.0 / 86400;
        for (int i = 0; i < xs.size(); ++i) {
            bool ok = false;
            const double x = xs[i].toDouble(&ok);
            QVERIFY2(ok, xs[i].constData());
            QVERIFY(qAbs(x - series->XValue(i)) < 1e-9);
            QVERIFY2(x > previous && x <= DayNumber(exported) + 1.0 / 86400, xs[i].constData());
            previous = x;
            const int y = ys[i].toInt(&ok);
            QVERIFY2(ok, ys[i].constData());
            QCOMPARE(double(y), series->YValue(i));
            QVERIFY2(voltages[k - 2].contains(y), ys[i].constData());
            const QColor yellow(0xFF, 0xFF, 0);
            if (k == 3 && i >= beforeDialog && i < recoloured) {
                // Sampled while the dialog was open: either colour, but never the old one
                // after the new.
                const QColor c = series->PointColor(i);
                QVERIFY(c == purple || c == yellow);
                QVERIFY(i == 0 || c == purple || series->PointColor(i - 1) == yellow);
                continue;
            }
            const QColor colour = k == 3 && i < beforeDialog ? yellow : k == 3 ? purple : Lime;
            QCOMPARE(series->PointColor(i), colour);
        }
    }
    QTest::keyClick(m, Qt::Key_F1);
}

void TstWholeSystem::languageSwitch()
{
    TFormMain *m = m_prog->Form();
    const QString czechTop = MemoLines(FormMain->SentMemo(2)).first();
    QVERIFY2(czechTop.startsWith(QStringLiteral("Zař.č.")), qPrintable(czechTop));
    QTest::mouseClick(m->Bu_en, Qt::LeftButton);
    QCOMPARE(LangCode, QStringLiteral("en"));
    QCOMPARE(m->windowTitle(), QStringLiteral("Ardemo version 1.00 - en"));
    QVERIFY(m->Bu_cz->isVisible());
    QCOMPARE(Devices[1].CheckBox1->text(), QStringLiteral("Record"));
    QCOMPARE(Devices[2].PanNekom->Caption(), QStringLiteral("NO ANSWER"));
    QCOMPARE(Devices[4].ButtonDel->text(), QStringLiteral("Remove"));
    QTRY_COMPARE_WITH_TIMEOUT(Devices[3].LabKrok->text(), QStringLiteral("Step = 0"), 2000);
    QCOMPARE(Devices[3].LabUProg->text(), QStringLiteral("Voltage = 0"));
    // New log entries in English; what was written stays Czech.
    QTRY_VERIFY_WITH_TIMEOUT(
        MemoLines(FormMain->SentMemo(2)).first().startsWith(QStringLiteral("Dev. No.")), 3000);
    QVERIFY(MemoLines(FormMain->SentMemo(2)).contains(czechTop));
    QTRY_VERIFY_WITH_TIMEOUT(
        MemoLines(FormMain->RecvMemo(1)).contains(QStringLiteral("Dev. No.2: No Answer")), 5000);
    QVERIFY(MemoLines(FormMain->RecvMemo(1)).contains(QStringLiteral("Zař.č.2: Neodpovídá")));
    // Recording still on: the files keep their Czech header whatever the language.
    QVERIFY(Devices[3].CheckBox1->isChecked());

    // The last source's output goes off by its "Out" label.
    QTest::mouseClick(Devices[4].Label2, Qt::LeftButton);
    QVERIFY(Devices[4].PendOut && !Devices[4].OutSet);
    QTRY_COMPARE_WITH_TIMEOUT(Devices[4].Shape1->BrushColor(), Red, 5000);
    QCOMPARE(SetFramesTo(m_prog->Sim(), 2, 12).constLast(), QByteArray("@0COUT09B\r"));
}

void TstWholeSystem::removeTheSilentSource()
{
    TFormMain *m = m_prog->Form();
    SimProcess &sim = m_prog->Sim();
    for (int s : {1, 3, 4})
        m_positionsBeforeRemoval << Devices[s].PanDev->pos();
    const QPoint silentAt = Devices[2].PanDev->pos();

    QTest::mouseClick(Devices[2].ButtonDel, Qt::LeftButton);
    QVERIFY(Devices[2].PanDev->isHidden()); // at once; the record goes with the scheduler
    QTRY_COMPARE_WITH_TIMEOUT(DeviceCount, 3, 5000);
    QVERIFY(!Devices[2].Used);
    QCOMPARE(m->CheckZaz->count(), 3);
    const QStringList items = {"01: Adr. = 1", "03: Adr. = 3", "04: Adr. = 12"};
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m->CheckZaz->item(i)->text(), items[i]);
    QVERIFY(!m->CheckZaz->Checked(0));
    QVERIFY(m->CheckZaz->Checked(1) && m->CheckZaz->Checked(2));
    QVERIFY(!m->Graf->Series(1)->Active());
    // The others close up in slot order and keep their titles.
    QCOMPARE(Devices[1].PanDev->pos(), m_positionsBeforeRemoval[0]);
    QCOMPARE(Devices[3].PanDev->pos(), silentAt);
    QCOMPARE(Devices[4].PanDev->pos(), m_positionsBeforeRemoval[1]);
    QVERIFY(Devices[3].Label1->text().startsWith(QStringLiteral("3: Adr.3,")));

    // Line A now serves only the first source: two more turns, nothing more to address 5.
    const qsizetype silentFrames = FramesTo(sim, 1, 5).size();
    const qsizetype turns = FramesTo(sim, 1, 1).count("@01TOL?8F\r");
    QTRY_VERIFY_WITH_TIMEOUT(FramesTo(sim, 1, 1).count("@01TOL?8F\r") >= turns + 2, 5000);
    QCOMPARE(FramesTo(sim, 1, 5).size(), silentFrames);
    QCOMPARE(Lines[1].Cur, 1);
    const QString top = MemoLines(FormMain->SentMemo(1)).first();
    QVERIFY2(top.startsWith(QStringLiteral("Dev. No.1, Stav")), qPrintable(top));
    QVERIFY(DM->PortA->Active()); // the line keeps its port for its other source
}

void TstWholeSystem::memosMatchTheWire()
{
    // Each line's sent memo, oldest first, is what the line's sources received (the newest
    // request may still be on its way); each answer sits opposite its request with the
    // same slot and state.
    static const QRegularExpression sentEntry(
        QStringLiteral("^(Zař\\.č\\.|Dev\\. No\\.)(\\d), Stav(\\d+): (@[0-9A-F]{2}[A-Z]+[^↵]*)↵$"));
    static const QRegularExpression recvEntry(
        QStringLiteral("^(Zař\\.č\\.|Dev\\. No\\.)(\\d)(, Stav(\\d+): #([0-9A-F]{2})[^↵]*↵"
                       "|: Neodpovídá|: No Answer)$"));
    const int addresses[] = {0, 1, 5, 3, 12};
    for (int line : {1, 2})
        QTRY_COMPARE_WITH_TIMEOUT(MemoLines(FormMain->SentMemo(line)).size(), 50, 10000);
    for (int line : {1, 2}) {
        const QStringList sent = MemoLines(FormMain->SentMemo(line));
        const QStringList recv = MemoLines(FormMain->RecvMemo(line));
        QCOMPARE(sent.size(), 50);
        QCOMPARE(recv.size(), 50);
        QList<QByteArray> frames;
        for (int k = 0; k < sent.size(); ++k) {
            const auto s = sentEntry.match(sent[k]);
            QVERIFY2(s.hasMatch(), qPrintable(sent[k]));
            const int slot = s.captured(2).toInt();
            frames.prepend(s.captured(4).toLatin1() + '\r');
            QVERIFY(frames.first().startsWith(
                '@' + QByteArray::number(addresses[slot], 16).toUpper().rightJustified(2, '0')));
            if (recv[k].isEmpty())
                continue;
            const auto r = recvEntry.match(recv[k]);
            QVERIFY2(r.hasMatch(), qPrintable(recv[k]));
            QCOMPARE(r.captured(2).toInt(), slot);
            if (!r.captured(4).isEmpty()) {
                QCOMPARE(r.captured(4), s.captured(3));
                QCOMPARE(r.captured(5).toInt(nullptr, 16), addresses[slot]);
            }
        }
        const QList<QByteArray> wire = m_prog->Sim().Received(line);
        const QList<QByteArray> logged = frames.mid(0, frames.size() - 1);
        bool found = false;
        for (qsizetype at = wire.size() - logged.size(); at >= 0 && !found; --at)
            found = wire.mid(at, logged.size()) == logged;
        QVERIFY2(found, qPrintable(QStringLiteral("line %1").arg(line)));
    }
}

void TstWholeSystem::freedSlotReusedAndIdleLineClosed()
{
    TFormMain *m = m_prog->Form();
    // The next source takes the freed slot 2 with its default colour, an empty program
    // and the language in force, and joins the chart's list unticked.
    QVERIFY(WaitBetweenRequests(1));
    QCOMPARE(m_prog->Connect(1, 7), 2);
    const TDevice &d = Devices[2];
    QCOMPARE(d.PanelCol->Color(), QColor(0, 0, 0xFF));
    QCOMPARE(d.CheckBox1->text(), QStringLiteral("Record"));
    QCOMPARE(d.PanNekom->Caption(), QStringLiteral("NO ANSWER"));
    QCOMPARE(d.StepNo, 0);
    for (const ProgramStep &step : d.Steps)
        QVERIFY(step.Time == 0 && step.U == 0 && step.Next == 0);
    QCOMPARE(m->CheckZaz->item(1)->text(), QStringLiteral("02: Adr. = 7"));
    QVERIFY(!m->CheckZaz->Checked(1));
    QVERIFY(!m->Graf->Series(1)->Active());
    QTRY_COMPARE_WITH_TIMEOUT(d.Label1->text(),
                              QStringLiteral("2: Adr.7,  ZDR300-S   v.č.: 1007\r"), 5000);
    QCOMPARE(d.Disp1->text(), QStringLiteral("U = 000 V"));
    QTRY_VERIFY_WITH_TIMEOUT(FramesTo(m_prog->Sim(), 1, 7).contains("@07TOL?95\r"), 5000);

    // Line B's two sources go: the line falls idle, its port closes, its page stays.
    QTest::mouseClick(Devices[3].ButtonDel, Qt::LeftButton);
    QTest::mouseClick(Devices[4].ButtonDel, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(DeviceCount, 2, 5000);
    QCOMPARE(Lines[2].Cur, NoDevice);
    QVERIFY(!DM->PortB->Active());
    QVERIFY(DM->PortA->Active());
    QVERIFY(m->ControlLines->isTabVisible(m->ControlLines->indexOf(m->LinePage[2])));
    QCOMPARE(m->CheckZaz->count(), 2);
    const qsizetype frames = m_prog->Sim().Received(2).size();
    const qsizetype turns = FramesTo(m_prog->Sim(), 1, 7).count("@07TOL?95\r");
    QTRY_VERIFY_WITH_TIMEOUT(FramesTo(m_prog->Sim(), 1, 7).count("@07TOL?95\r") > turns, 5000);
    QCOMPARE(m_prog->Sim().Received(2).size(), frames);

    // The line opens again with the next source connected on it, into the lowest free slot;
    // the source kept its state meanwhile.
    QCOMPARE(SetFramesTo(m_prog->Sim(), 2, 12).size(), 6);
    QCOMPARE(m_prog->Connect(2, 12), 3);
    QVERIFY(DM->PortB->Active());
    const TDevice &again = Devices[3];
    QTRY_COMPARE_WITH_TIMEOUT(again.Label1->text(),
                              QStringLiteral("3: Adr.12,  ZDR60   v.č.: A77\r"), 5000);
    // Its output, switched off before, shows once the source is asked for it.
    QTRY_COMPARE_WITH_TIMEOUT(again.Shape1->BrushColor(), Red, 5000);
    QCOMPARE(again.PanelCol->Color(), Lime);
    QCOMPARE(again.CheckBox1->text(), QStringLiteral("Record"));
    QVERIFY(!again.CheckBox1->isChecked());
    QVERIFY2(m_prog->Errors().isEmpty(), qPrintable(m_prog->Errors().join('\n')));
}

void TstWholeSystem::endWritesTheSettings()
{
    const QString ini = m_prog->IniPath();
    const QByteArray ports = ReadFile(ini);
    QVERIFY(ports.startsWith("[Ports]\r\n"));
    QVERIFY(m_prog->EndByButton());
    QVERIFY2(m_prog->Errors().isEmpty(), qPrintable(m_prog->Errors().join('\n')));

    const QByteArray path = m_prog->Dir().toLocal8Bit() + "/rampa_nap\xEC"
                                                          "t\xED.prg";
    // The section the program did not know is kept as it was; its own section follows.
    QByteArray saved = ReadFile(ini);
    QVERIFY(saved.startsWith(ports));
    saved = saved.mid(ports.size());
    while (saved.startsWith("\r\n"))
        saved = saved.mid(2); // a blank line between the sections is the writer's choice
    // The connected sources follow in a section of their own, kept for the next start.
    const qsizetype sources = saved.indexOf("\r\n[Sources]\r\n");
    QVERIFY(sources > 0);
    QCOMPARE(saved.mid(sources + 2), "[Sources]\r\nSlot1=A,1,1,#FF0000,0\r\nSlot2=A,1,7,#0000FF,"
                                     "0\r\nSlot3=B,2,12,#00FF00,0\r\n");
    saved.truncate(sources); // the blank line before it is the writer's too
    QCOMPARE(saved, "[Setup]\r\nLang=en\r\nPath=" + path + "\r\nMaxX=60\r\nMaxY=50\r\n");
    // The recordings ended with their sources; their rows stay.
    QCOMPARE(ReadFile(m_prog->Dir() + QStringLiteral("/Dev_no3 adr.3.csv")).count('\n'), 7);
}

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    TstWholeSystem test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_wholesystem.moc"
