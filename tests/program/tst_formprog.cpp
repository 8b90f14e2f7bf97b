#include "catchingapp.h"
#include "controls.h"
#include "formprog.h"
#include "global.h"
#include "progfile.h"
#include "sysutils.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>

class TstFormProg : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void layout();
    void rowsShownOnOpening_data();
    void rowsShownOnOpening();
    void typingIntoCells();
    void nextColumnGrowsGridAndStaysWithinTable();
    void enterMovesCursor();
    void okConfirmsAndOtherwiseNothingChanges();
    void ctrlEnterConfirms();
    void escapeLeavesWithoutOk_data();
    void escapeLeavesWithoutOk();
    void editorForTheClickedSource();
    void languageOfCaptionsAndHeaders();
    void saveName_data();
    void saveName();
    void fileButtons();
    void operatorSeesErrors();

private:
    // The open cell editor of the grid, if any.
    QLineEdit *editor() const;
    // Shows the editor on the given working copy, the cursor on step row r, column c.
    void showAt(int r, int c);
    QString cell(int r, int c) const { return FormProg->Tab->item(r - 1, c)->text(); }
    void type(const QString &keys);
    void selectCellText();

    QTemporaryDir m_dir;
    QString m_dialogAnswer; // what the operator picks in the next file dialog
    QFileDialog *m_lastDialog = nullptr;
};

void TstFormProg::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
    FormProg = new TFormProg;
    TFormProg::RunFileDialog = [this](QFileDialog *d) {
        m_lastDialog = d;
        return m_dialogAnswer;
    };
}

void TstFormProg::cleanupTestCase()
{
    delete FormProg;
    FormProg = nullptr;
}

void TstFormProg::init()
{
    InitTables();
    std::fill(std::begin(EditSteps), std::end(EditSteps), ProgramStep{});
    ProgramPath = m_dir.path();
    TextProgramOf = QStringLiteral("Program zdroje č.");
    TextColStep = TextColTime = TextColU = TextColNext = QString();
    m_dialogAnswer.clear();
    m_lastDialog = nullptr;
    FormProg->hide();
    FormProg->ApplyLanguage(lsCzech);
}

QLineEdit *TstFormProg::editor() const
{
    const auto edits = FormProg->Tab->viewport()->findChildren<QLineEdit *>();
    for (QLineEdit *e : edits)
        if (e->isVisible())
            return e;
    return nullptr;
}

void TstFormProg::showAt(int r, int c)
{
    FormProg->show();
    FormProg->SetCurrentCell(r, c);
    QTRY_VERIFY(editor() != nullptr);
}

void TstFormProg::selectCellText()
{
    QLineEdit *e = editor();
    QVERIFY(e);
    e->selectAll();
}

void TstFormProg::type(const QString &keys)
{
    for (QChar ch : keys) {
        QLineEdit *e = editor();
        QVERIFY(e);
        if (ch == QLatin1Char('\b'))
            QTest::keyClick(e, Qt::Key_Backspace);
        else if (ch == QLatin1Char('\r'))
            QTest::keyClick(e, Qt::Key_Return);
        else
            QTest::keyClick(e, ch.toLatin1());
    }
}

void TstFormProg::layout()
{
    TFormProg &f = *FormProg;
    f.show();
    QCOMPARE(f.size(), QSize(274, 447));
    QVERIFY(!(f.windowFlags() & Qt::WindowCloseButtonHint));
    auto *panel = f.findChild<QFrame *>(QStringLiteral("Panel1"));
    QVERIFY(panel);
    QCOMPARE(panel->height(), 71);
    QCOMPARE(panel->geometry().bottom(), 446);
    QVERIFY(panel->font().bold());
    QCOMPARE(f.LabPath->pos(), QPoint(8, 8));
    QCOMPARE(f.ButtOpen->geometry(), QRect(14, 32, 70, 25));
    QCOMPARE(f.ButtSave->geometry(), QRect(102, 32, 70, 25));
    QCOMPARE(f.ButtOK->geometry(), QRect(190, 32, 70, 25));
    QVERIFY(f.ButtOK->isDefault());
    QCOMPARE(f.Tab->columnCount(), 4);
    QCOMPARE(f.Tab->geometry().bottom() + 1, panel->y());
    const int widths[4] = {40, 70, 70, 70};
    for (int c = 0; c < 4; ++c)
        QCOMPARE(f.Tab->columnWidth(c), widths[c]);
    QVERIFY(!(f.Tab->item(0, 0)->flags() & Qt::ItemIsEditable));
    QVERIFY(f.Tab->item(0, 1)->flags() & Qt::ItemIsEditable);
    QCOMPARE(f.LabPath->text(), ProgramPath);

    const QStringList filters = {QStringLiteral("all (*)"), QStringLiteral("prg (*.prg)")};
    QCOMPARE(f.OpenD->nameFilters(), filters);
    QCOMPARE(f.SaveDial->nameFilters(), filters);
    QCOMPARE(f.OpenD->selectedNameFilter(), filters.at(1));
    QCOMPARE(f.SaveDial->selectedNameFilter(), filters.at(0));
    QVERIFY(f.SaveDial->defaultSuffix().isEmpty());
    QCOMPARE(f.SaveDial->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(QDir(f.OpenD->directory()), QDir(m_dir.path()));
}

void TstFormProg::rowsShownOnOpening_data()
{
    QTest::addColumn<QList<int>>("nexts"); // Next of steps 1, 2, 3, ...
    QTest::addColumn<int>("rows");
    QTest::newRow("all zero") << QList<int>{} << 1;
    QTest::newRow("1 -> 2 -> end") << QList<int>{2, 0} << 2;
    QTest::newRow("1 -> 5 -> 3 -> end") << QList<int>{5, 0, 0, 0, 3} << 5;
    QTest::newRow("loop 1 -> 2 -> 1") << QList<int>{2, 1} << 2;
    QTest::newRow("self loop") << QList<int>{1} << 1;
    QTest::newRow("unreached step ignored") << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 9} << 1;
    QTest::newRow("last step 255") << QList<int>{255} << 255;
}

void TstFormProg::rowsShownOnOpening()
{
    QFETCH(QList<int>, nexts);
    QFETCH(int, rows);
    for (int i = 0; i < nexts.size(); ++i)
        EditSteps[i + 1].Next = nexts[i];
    QCOMPARE(ProgramRowsToShow(EditSteps), rows);
    FormProg->show();
    QCOMPARE(FormProg->Tab->rowCount(), rows);
    for (int r = 1; r <= rows; ++r) {
        QCOMPARE(cell(r, 0), QString::number(r));
        QCOMPARE(cell(r, 3), QString::number(EditSteps[r].Next));
    }
}

void TstFormProg::typingIntoCells()
{
    EditSteps[1] = {5, 10, 0};
    showAt(1, 1);
    QCOMPARE(editor()->text(), QStringLiteral("5"));
    selectCellText();
    type(QStringLiteral("4"));
    QCOMPARE(EditSteps[1].Time, 4); // stored at each keystroke
    type(QStringLiteral("2"));
    QCOMPARE(EditSteps[1].Time, 42);
    type(QStringLiteral("\b\b"));
    QVERIFY(editor()->text().isEmpty());
    QCOMPARE(EditSteps[1].Time, 4); // an erased cell keeps the last value it held

    FormProg->SetCurrentCell(1, 2);
    QTRY_VERIFY(editor());
    QCOMPARE(cell(1, 1), QStringLiteral("4")); // the cell left behind shows the kept value
    selectCellText();
    type(QStringLiteral("-1a.5 +e"));
    QCOMPARE(editor()->text(), QStringLiteral("15"));
    QCOMPARE(EditSteps[1].U, 15.0);
    // A pasted text that is not a whole number never reaches the cell.
    selectCellText();
    editor()->insert(QStringLiteral("1.5"));
    QCOMPARE(editor()->text(), QStringLiteral("15"));

    for (char16_t k : {u'-', u'.', u',', u'a', u' ', u'+'}) {
        char16_t key = k;
        FormProg->TabKeyPress(FormProg->Tab, key);
        QCOMPARE(int(key), 0);
    }
    for (char16_t k : {u'0', u'9', char16_t(8), char16_t(10)}) {
        char16_t key = k;
        FormProg->TabKeyPress(FormProg->Tab, key);
        QCOMPARE(key, k);
    }
}

void TstFormProg::nextColumnGrowsGridAndStaysWithinTable()
{
    for (int r = 2; r <= 20; ++r)
        EditSteps[r] = {r, double(r * 10), 0};
    showAt(1, 3);
    QCOMPARE(FormProg->Tab->rowCount(), 1);
    selectCellText();
    type(QStringLiteral("1"));
    QCOMPARE(EditSteps[1].Next, 1);
    QCOMPARE(FormProg->Tab->rowCount(), 1);
    type(QStringLiteral("2"));
    QCOMPARE(EditSteps[1].Next, 12);
    QCOMPARE(FormProg->Tab->rowCount(), 12);
    QCOMPARE(editor()->text(), QStringLiteral("12"));
    for (int r = 2; r <= 12; ++r) {
        QCOMPARE(cell(r, 1), QString::number(r));
        QCOMPARE(cell(r, 2), QString::number(r * 10));
    }
    // A digit that would name a step beyond 255 is refused.
    selectCellText();
    type(QStringLiteral("300"));
    QCOMPARE(editor()->text(), QStringLiteral("30"));
    QCOMPARE(EditSteps[1].Next, 30);
    selectCellText();
    type(QStringLiteral("255"));
    QCOMPARE(EditSteps[1].Next, 255);
    QCOMPARE(FormProg->Tab->rowCount(), 255);
    FormProg->TabSetEditText(FormProg->Tab, 3, 1, QStringLiteral("256"));
    QCOMPARE(EditSteps[1].Next, 255);
    FormProg->TabSetEditText(FormProg->Tab, 3, 2, QStringLiteral("1000"));
    QCOMPARE(EditSteps[2].Next, 0);
    FormProg->GrowProgramGrid(400);
    QCOMPARE(FormProg->Tab->rowCount(), 255);
}

void TstFormProg::enterMovesCursor()
{
    EditSteps[1] = {1, 2, 0};
    showAt(1, 1);
    type(QStringLiteral("\r"));
    QCOMPARE(FormProg->CurrentColumn(), 2);
    type(QStringLiteral("\r"));
    QCOMPARE(FormProg->CurrentColumn(), 3);
    QVERIFY(FormProg->isVisible());
    selectCellText();
    type(QStringLiteral("7\r"));
    QCOMPARE(FormProg->CurrentStepRow(), 7);
    QCOMPARE(FormProg->CurrentColumn(), 1);
    QCOMPARE(FormProg->Tab->rowCount(), 7);
    // Next 0 ends the program: back to column 1 of the same row.
    FormProg->SetCurrentCell(7, 3);
    QTRY_VERIFY(editor());
    type(QStringLiteral("\r"));
    QCOMPARE(FormProg->CurrentStepRow(), 7);
    QCOMPARE(FormProg->CurrentColumn(), 1);
    // A step number read from a file beyond the grid's rows: the grid grows to it.
    EditSteps[2].Next = 40;
    FormProg->GrowProgramGrid(2);
    FormProg->SetCurrentCell(2, 3);
    QTRY_VERIFY(editor());
    type(QStringLiteral("\r"));
    QCOMPARE(FormProg->CurrentStepRow(), 40);
    QCOMPARE(FormProg->Tab->rowCount(), 40);
    // The step number column is never the cursor's place.
    FormProg->Tab->setCurrentCell(4, 0);
    QCOMPARE(FormProg->CurrentColumn(), 1);
    QVERIFY(FormProg->isVisible());
}

void TstFormProg::okConfirmsAndOtherwiseNothingChanges()
{
    Devices[3].Used = true;
    Devices[3].Steps[1] = {10, 100, 2};
    Devices[3].Steps[2] = {20, 200, 0};

    // Closed without OK: the source keeps its program, EditSteps the typed values.
    QTimer::singleShot(0, this, [this] {
        showAt(2, 2);
        selectCellText();
        type(QStringLiteral("55"));
        FormProg->close();
    });
    EditProgram(3);
    QCOMPARE(Devices[3].Steps[2].U, 200.0);
    QCOMPARE(EditSteps[2].U, 55.0);
    QCOMPARE(FormProg->windowTitle(), QStringLiteral("Program zdroje č.3"));

    // The next opening starts again from the source's program; OK copies it back.
    QTimer::singleShot(0, this, [this] {
        QCOMPARE(EditSteps[2].U, 200.0);
        QCOMPARE(FormProg->Tab->rowCount(), 2);
        showAt(2, 2);
        selectCellText();
        type(QStringLiteral("66"));
        QTest::mouseClick(FormProg->ButtOK, Qt::LeftButton);
    });
    EditProgram(3);
    QCOMPARE(Devices[3].Steps[2].U, 66.0);
    QCOMPARE(Devices[3].Steps[1].U, 100.0);
}

void TstFormProg::ctrlEnterConfirms()
{
    Devices[4].Used = true;
    QTimer::singleShot(0, this, [this] {
        showAt(1, 1);
        selectCellText();
        type(QStringLiteral("9"));
        QTest::keyClick(editor(), Qt::Key_Return, Qt::ControlModifier);
    });
    EditProgram(4);
    QCOMPARE(Devices[4].Steps[1].Time, 9);
    QVERIFY(!FormProg->isVisible());
}

void TstFormProg::escapeLeavesWithoutOk_data()
{
    QTest::addColumn<bool>("inCell"); // Escape in the open cell editor, or on the dialog
    QTest::newRow("cell editor") << true;
    QTest::newRow("dialog") << false;
}

void TstFormProg::escapeLeavesWithoutOk()
{
    QFETCH(bool, inCell);
    Devices[5].Used = true;
    Devices[5].Steps[1] = {10, 100, 2};
    Devices[5].Steps[2] = {20, 200, 0};
    bool shownAfter = true;
    QTimer::singleShot(0, this, [&] {
        showAt(1, 1);
        selectCellText();
        type(QStringLiteral("8"));
        showAt(2, 2);
        selectCellText();
        type(QStringLiteral("77"));
        if (inCell)
            QTest::keyClick(editor(), Qt::Key_Escape);
        else
            QTest::keyClick(FormProg, Qt::Key_Escape);
        shownAfter = FormProg->isVisible();
        if (shownAfter)
            FormProg->done(QDialog::Accepted); // what the source would get if Escape stayed
    });
    EditProgram(5);
    QVERIFY(!shownAfter);
    QVERIFY(!FormProg->isVisible());
    // The changed cells do not reach the source; the working copy keeps them.
    QCOMPARE(Devices[5].Steps[1].Time, 10);
    QCOMPARE(Devices[5].Steps[2].U, 200.0);
    QCOMPARE(EditSteps[1].Time, 8);
    QCOMPARE(EditSteps[2].U, 77.0);
}

void TstFormProg::editorForTheClickedSource()
{
    QWidget owner;
    for (int s : {2, 7}) {
        Devices[s].Used = true;
        Devices[s].ButtProg = new TBitBtn(&owner);
        Devices[s].Steps[1].U = s;
    }
    TextProgramOf = QStringLiteral("Program Device No.");
    double seen = -1;
    QTimer::singleShot(0, this, [&seen] {
        seen = EditSteps[1].U;
        FormProg->accept();
    });
    ButtProgClick(Devices[7].ButtProg);
    QCOMPARE(seen, 7.0);
    QCOMPARE(FormProg->windowTitle(), QStringLiteral("Program Device No.7"));
    TBitBtn stranger;
    ButtProgClick(&stranger); // no source: no dialog (a modal one would block here)
    QVERIFY(!FormProg->isVisible());
}

void TstFormProg::languageOfCaptionsAndHeaders()
{
    TFormProg &f = *FormProg;
    f.ApplyLanguage(lsEnglish);
    QCOMPARE(f.ButtOpen->text(), QStringLiteral("Open"));
    QCOMPARE(f.ButtSave->text(), QStringLiteral("Save"));
    QStringList headers;
    for (int c = 0; c < 4; ++c)
        headers << f.Tab->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, (QStringList{"Step", "Time [s]", "U [V]", "Next"}));
    QVERIFY(f.Tab->toolTip().contains(QStringLiteral("Ctrl+Enter")));
    f.ApplyLanguage(lsNone); // no set chosen: nothing changes
    QCOMPARE(f.ButtOpen->text(), QStringLiteral("Open"));
    f.ApplyLanguage(lsCzech);
    QCOMPARE(f.ButtOpen->text(), QStringLiteral("Načti"));
    QCOMPARE(f.ButtSave->text(), QStringLiteral("Ulož"));
    QCOMPARE(f.Tab->horizontalHeaderItem(1)->text(), QStringLiteral("Čas [s]"));
    QCOMPARE(f.Tab->horizontalHeaderItem(3)->text(), QStringLiteral("Další"));
    // Showing the grid writes the headers from the language texts in force.
    TextColNext = QStringLiteral("Next");
    f.show();
    QCOMPARE(f.Tab->horizontalHeaderItem(3)->text(), QStringLiteral("Next"));
}

void TstFormProg::saveName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("no extension") << "prog"
                                  << "prog.prg";
    QTest::newRow("with extension") << "prog.prg"
                                    << "prog.prg";
    QTest::newRow("upper case") << "TEST.PRG"
                                << "TEST.PRG.prg";
    QTest::newRow(".prg inside") << "a.prg.b"
                                 << "a.prg.b.prg";
    QTest::newRow(".prg twice") << "a.prg.prg"
                                << "a.prg.prg.prg";
    QTest::newRow("other extension") << "x.txt"
                                     << "x.txt.prg";
    QTest::newRow("three characters") << "abc"
                                      << "abc.prg";
}

void TstFormProg::saveName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QCOMPARE(ProgramFileName(chosen), saved);
}

void TstFormProg::fileButtons()
{
    // Save: the ".prg" rule applied to the chosen name, which becomes the program path.
    EditSteps[1] = {5, 50, 3};
    EditSteps[3] = {6, 60, 0};
    FormProg->show();
    m_dialogAnswer = m_dir.filePath(QStringLiteral("prog"));
    QTest::mouseClick(FormProg->ButtSave, Qt::LeftButton);
    QCOMPARE(m_lastDialog, FormProg->SaveDial);
    const QString saved = m_dir.filePath(QStringLiteral("prog.prg"));
    QCOMPARE(ProgramPath, saved);
    QCOMPARE(FormProg->LabPath->text(), saved);
    QVERIFY(QFile::exists(saved));
    QVERIFY(!QFile::exists(m_dialogAnswer));

    // Open: typed values give way to the file's, and the grid shows its steps.
    std::fill(std::begin(EditSteps), std::end(EditSteps), ProgramStep{});
    ProgramPath = QDir::homePath();
    FormProg->FillProgramGrid();
    showAt(1, 1);
    selectCellText();
    type(QStringLiteral("99"));
    m_dialogAnswer = saved;
    QTest::mouseClick(FormProg->ButtOpen, Qt::LeftButton);
    QCOMPARE(m_lastDialog, FormProg->OpenD);
    QCOMPARE(ProgramPath, saved);
    QCOMPARE(FormProg->LabPath->text(), saved);
    QCOMPARE(EditSteps[1].Time, 5);
    QCOMPARE(FormProg->Tab->rowCount(), 3);
    QCOMPARE(cell(3, 2), QStringLiteral("60"));
    QTRY_VERIFY(editor());
    QCOMPARE(editor()->text(), QStringLiteral("5"));
    // The open dialog now starts in the folder of that file.
    QCOMPARE(QDir(FormProg->OpenD->directory()), QDir(m_dir.path()));

    // Cancelled dialogs change nothing.
    const QStringList files = QDir(m_dir.path()).entryList(QDir::Files);
    m_dialogAnswer.clear();
    FormProg->ButtOpenClick();
    FormProg->ButtSaveClick();
    QCOMPARE(ProgramPath, saved);
    QCOMPARE(EditSteps[3].U, 60.0);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), files);
}

void TstFormProg::operatorSeesErrors()
{
    CaughtErrors.clear();
    EditSteps[1] = {1, 11, 2};
    EditSteps[2] = {2, 22, 0};
    showAt(1, 1);
    const QString name = m_dir.filePath(QStringLiteral("worse.prg"));
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("0/0/0/0\r\n1/7/70/300\r\n");
    f.close();
    m_dialogAnswer = name;
    QTest::mouseClick(FormProg->ButtOpen, Qt::LeftButton);
    QTRY_COMPARE(CaughtErrors.size(), 1);
    QCOMPARE(CaughtErrors.at(0), QStringLiteral("'300' is not a valid step number (0 to 255)"));
    QCOMPARE(EditSteps[1].Next, 2);
    QCOMPARE(FormProg->Tab->rowCount(), 2);
    QCOMPARE(cell(1, 2), QStringLiteral("11"));

    m_dialogAnswer = m_dir.filePath(QStringLiteral("gone/p.prg"));
    QTest::mouseClick(FormProg->ButtSave, Qt::LeftButton);
    QTRY_COMPARE(CaughtErrors.size(), 2);
    QCOMPARE(CaughtErrors.at(1), QStringLiteral("Unable to write to ") + m_dialogAnswer);

    FormProg->SetCurrentCell(2, 3);
    QTRY_VERIFY(editor());
    selectCellText();
    type(QStringLiteral("\b\r"));
    QTRY_COMPARE(CaughtErrors.size(), 3);
    QCOMPARE(CaughtErrors.at(2), QStringLiteral("'' is not a valid integer value"));
    QCOMPARE(FormProg->CurrentStepRow(), 2);
    QCOMPARE(FormProg->CurrentColumn(), 3);
    QVERIFY(FormProg->isVisible());
}

CATCHING_TEST_MAIN(QApplication, TstFormProg)
#include "tst_formprog.moc"
