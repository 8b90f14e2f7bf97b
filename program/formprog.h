#pragma once

// The program editor dialog.

#include "global.h"
#include "strtable.h"

#include <QDialog>
#include <functional>

class QFileDialog;
class QLabel;
class QPushButton;
class QTableWidget;
namespace Ui {
class TFormProg;
}
class TProgCellDelegate;

class TFormProg : public QDialog
{
    Q_OBJECT
public:
    explicit TFormProg(QWidget *parent = nullptr);
    ~TFormProg() override;
    void ApplyLanguage(TLangSet Set);

    // Rebuilds the grid from EditSteps (on showing and after a file was opened).
    void FillProgramGrid();
    // Shows rows 1..k (k at most 255), each rewritten from EditSteps.
    void GrowProgramGrid(int k);
    // Key filter of the cell editor: Key is the typed character (8, 10, 13 or a digit pass,
    // anything else is set to 0); a carriage return moves the cursor.
    void TabKeyPress(QObject *Sender, char16_t &Key);
    // The text of the cell in column ACol of step row ARow (1..255) changed.
    void TabSetEditText(QObject *Sender, int ACol, int ARow, const QString &Value);
    void ButtOpenClick();
    void ButtSaveClick();

    // Runs a file dialog and gives the chosen full file name, or an empty text when the
    // operator cancelled. Replaceable so that tests can stand in for the operator.
    static std::function<QString(QFileDialog *Dialog)> RunFileDialog;

    QTableWidget *Tab = nullptr;
    QLabel *LabPath = nullptr;
    QPushButton *ButtOpen = nullptr;
    QPushButton *ButtSave = nullptr;
    QPushButton *ButtOK = nullptr;
    QFileDialog *OpenD = nullptr;
    QFileDialog *SaveDial = nullptr;

    // Step row (1..255) and column of the grid's current cell; row 0 when there is none.
    int CurrentStepRow() const;
    int CurrentColumn() const;
    // Puts the cursor on the cell of step row r, column c (the cell editor opens there).
    void SetCurrentCell(int r, int c);
    // The text of a cell as the operator sees it, the open cell editor's text included.
    QString CellText(int c, int r) const;

protected:
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TProgCellDelegate;
    void FormShow();
    // Handles Enter and Ctrl+Enter from the grid or its cell editor; true when consumed.
    bool HandleEnter(QKeyEvent *e);
    void WriteRow(int r);
    void CurrentCellChanged(int row, int column, int previousRow, int previousColumn);

    Ui::TFormProg *ui;
    TProgCellDelegate *m_delegate;
};

extern TFormProg *FormProg;

void EditProgram(int Slot);
void ButtProgClick(QObject *Sender);

// Steps shown when the editor opens: the highest step that the Next chain from step 1
// reaches (at least 1), so that every step the program runs through can be edited.
int ProgramRowsToShow(const ProgramStep *Steps);
// The name a program is saved under: the chosen name, with ".prg" appended unless the
// name ends with its first ".prg" (case-sensitive).
QString ProgramFileName(const QString &Chosen);
