#include "formprog.h"
#include "ui_formprog.h"

#include "controls.h"
#include "forms.h"
#include "guarded.h"
#include "panels.h"
#include "progfile.h"
#include "sysutils.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QValidator>
#include <algorithm>
#include <cmath>

TFormProg *FormProg = nullptr;

namespace {

constexpr int ColumnWidths[4] = {40, 70, 70, 70};

// Whole numbers within the range of one column. An empty text or a lone minus sign is let
// through (the entry then keeps its value), anything else outside the range is refused at
// the keystroke or paste, so that every stored value can be written and read back.
class TCellValidator : public QValidator
{
public:
    TCellValidator(qint64 min, qint64 max, QObject *parent)
        : QValidator(parent), m_min(min), m_max(max)
    {
    }

    State validate(QString &input, int &) const override
    {
        qsizetype i = 0;
        if (input.startsWith(QLatin1Char('-'))) {
            if (m_min >= 0)
                return Invalid;
            i = 1;
        }
        if (i == input.size())
            return Acceptable;
        if (input.size() - i > 10)
            return Invalid;
        for (qsizetype j = i; j < input.size(); ++j)
            if (input.at(j) < QLatin1Char('0') || input.at(j) > QLatin1Char('9'))
                return Invalid;
        const qint64 v = input.toLongLong();
        return v >= m_min && v <= m_max ? Acceptable : Invalid;
    }

private:
    qint64 m_min, m_max;
};

// The number in a cell as the platform's text-to-number conversion reads it.
double ParseCellNumber(const QString &text, bool *ok)
{
    QLocale loc;
    loc.setNumberOptions(QLocale::RejectGroupSeparator);
    const double v = loc.toDouble(text, ok);
    if (*ok && !std::isfinite(v))
        *ok = false;
    return v;
}

// The text of column c for entry r of the working copy.
QString StoredText(int c, int r)
{
    const ProgramStep &s = EditSteps[r];
    switch (c) {
    case 0:
        return QString::number(r);
    case 1:
        return FloatToStrGeneral(s.Time);
    case 2:
        return FloatToStrGeneral(s.U);
    default:
        return FloatToStrGeneral(s.Next);
    }
}

QString DefaultRunFileDialog(QFileDialog *Dialog)
{
    if (Dialog->exec() != QDialog::Accepted || Dialog->selectedFiles().isEmpty())
        return QString();
    return Dialog->selectedFiles().constFirst();
}

} // namespace

// The cell editor: a one-line entry whose every change goes to TabSetEditText and whose
// keys pass TabKeyPress first.
class TProgCellDelegate : public QStyledItemDelegate
{
public:
    explicit TProgCellDelegate(TFormProg *form) : QStyledItemDelegate(form), m_form(form) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override
    {
        auto *edit = new QLineEdit(parent);
        edit->setFrame(false);
        const int c = index.column();
        const int r = index.row() + 1;
        if (c == 3)
            edit->setValidator(new TCellValidator(0, MaxStepNo, edit));
        else
            edit->setValidator(new TCellValidator(INT32_MIN, INT32_MAX, edit));
        TFormProg *form = m_form;
        QObject::connect(edit, &QLineEdit::textEdited, form, [form, c, r](const QString &t) {
            Guarded([&] { form->TabSetEditText(form->Tab, c, r, t); });
        });
        m_editor = edit;
        m_index = index;
        return edit;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *edit = static_cast<QLineEdit *>(editor);
        // Rewriting the grid around an open cell must not undo what the operator is typing.
        if (edit->property("ardemoFilled").toBool())
            return;
        edit->setText(index.data(Qt::EditRole).toString());
        edit->setProperty("ardemoFilled", true);
    }

    void setModelData(QWidget *, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        // Every keystroke is already stored; the cell left behind shows what the program
        // holds (an erased cell shows the value it kept).
        model->setData(index, StoredText(index.column(), index.row() + 1), Qt::EditRole);
    }

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &) const override
    {
        editor->setGeometry(option.rect);
    }

    QLineEdit *OpenEditor(int c, int r) const
    {
        // A closed editor is hidden at once and deleted later.
        if (m_editor && !m_editor->isHidden() && m_index.isValid() && m_index.column() == c &&
            m_index.row() == r - 1)
            return m_editor;
        return nullptr;
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto *e = static_cast<QKeyEvent *>(event);
            if (m_form->HandleEnter(e))
                return true;
            if (e->key() == Qt::Key_Escape) {
                m_form->reject(); // leaves the editor without handing the table over
                return true;
            }
            char16_t key = 0;
            if (e->key() == Qt::Key_Backspace)
                key = 8;
            else if (!e->text().isEmpty() && e->text().at(0).isPrint() &&
                     !(e->modifiers() & Qt::ControlModifier))
                key = e->text().at(0).unicode();
            // A key whose handling failed is dropped, as one the filter refused.
            if (key && (!Guarded([&] { m_form->TabKeyPress(m_form->Tab, key); }) || key == 0))
                return true;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TFormProg *m_form;
    mutable QPointer<QLineEdit> m_editor;
    mutable QPersistentModelIndex m_index;
};

std::function<QString(QFileDialog *)> TFormProg::RunFileDialog = DefaultRunFileDialog;

TFormProg::TFormProg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(new Ui::TFormProg), m_delegate(new TProgCellDelegate(this))
{
    ui->setupUi(this);
    setFixedSize(274, 447);
    Tab = ui->Tab;
    LabPath = ui->LabPath;
    ButtOpen = ui->ButtOpen;
    ButtSave = ui->ButtSave;
    ButtOK = ui->ButtOK;

    Tab->setItemDelegate(m_delegate);
    Tab->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Tab->horizontalHeader()->setStretchLastSection(false);
    Tab->horizontalHeader()->setFont(Tab->font()); // the whole grid is bold, headers too
    Tab->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Tab->verticalHeader()->setDefaultSectionSize(22);
    for (int c = 0; c < 4; ++c)
        Tab->setColumnWidth(c, ColumnWidths[c]);
    Tab->installEventFilter(this);
    connect(Tab, &QTableWidget::currentCellChanged, this, [this](int r, int c, int pr, int pc) {
        Guarded([&] { CurrentCellChanged(r, c, pr, pc); });
    });

    const QStringList filters = {QStringLiteral("all (*)"), QStringLiteral("prg (*.prg)")};
    OpenD = new QFileDialog(this);
    OpenD->setObjectName(QStringLiteral("OpenD"));
    OpenD->setAcceptMode(QFileDialog::AcceptOpen);
    OpenD->setFileMode(QFileDialog::ExistingFile);
    OpenD->setNameFilters(filters);
    OpenD->selectNameFilter(filters.at(1));
    SaveDial = new QFileDialog(this);
    SaveDial->setObjectName(QStringLiteral("SaveDial"));
    SaveDial->setAcceptMode(QFileDialog::AcceptSave);
    SaveDial->setFileMode(QFileDialog::AnyFile);
    SaveDial->setNameFilters(filters);
    SaveDial->selectNameFilter(filters.at(0));
    SaveDial->setDefaultSuffix(QString());

    // A load or save error reaches the operator's error box.
    connect(ButtOpen, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtOpenClick(); }); });
    connect(ButtSave, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtSaveClick(); }); });
    connect(ButtOK, &QPushButton::clicked, this, &QDialog::accept);
}

TFormProg::~TFormProg()
{
    delete ui;
}

void TFormProg::ApplyLanguage(TLangSet Set)
{
    if (Set == lsNone)
        return;
    ButtOpen->setText(LoadStr(sOpen, Set));
    ButtSave->setText(LoadStr(sSave, Set));
    const TStrId headers[4] = {sColStep, sColTime, sColU, sColNext};
    for (int c = 0; c < 4; ++c)
        Tab->horizontalHeaderItem(c)->setText(LoadStr(headers[c], Set));
    Tab->setToolTip(LoadStr(sProgEnterHint, Set));
    ButtOK->setToolTip(LoadStr(sProgOKHint, Set));
}

int TFormProg::CurrentStepRow() const
{
    return Tab->currentRow() + 1;
}

int TFormProg::CurrentColumn() const
{
    return Tab->currentColumn();
}

void TFormProg::SetCurrentCell(int r, int c)
{
    Tab->setCurrentCell(r - 1, c);
}

QString TFormProg::CellText(int c, int r) const
{
    if (const QLineEdit *edit = m_delegate->OpenEditor(c, r))
        return edit->text();
    const QTableWidgetItem *item = Tab->item(r - 1, c);
    return item ? item->text() : QString();
}

void TFormProg::WriteRow(int r)
{
    for (int c = 0; c < 4; ++c) {
        QTableWidgetItem *item = Tab->item(r - 1, c);
        if (!item) {
            item = new QTableWidgetItem;
            if (c == 0) {
                // The step number is a fixed cell: shown like a header, never edited.
                item->setFlags(Qt::NoItemFlags);
                item->setBackground(palette().button());
                item->setForeground(palette().buttonText());
                item->setTextAlignment(Qt::AlignCenter);
            }
            Tab->setItem(r - 1, c, item);
        }
        const QString text = StoredText(c, r);
        if (item->text() != text)
            item->setText(text);
    }
}

void TFormProg::FillProgramGrid()
{
    const QFileInfo path(ProgramPath);
    const QString folder = ProgramPath.isEmpty() ? QDir::homePath()
                           : path.isDir()        ? ProgramPath
                                                 : path.absolutePath();
    OpenD->setDirectory(folder);
    SaveDial->setDirectory(folder);
    LabPath->setText(ProgramPath);
    LabPath->setToolTip(ProgramPath);

    for (int c = 0; c < 4; ++c)
        Tab->setColumnWidth(c, ColumnWidths[c]);
    const QString *headers[4] = {&TextColStep, &TextColTime, &TextColU, &TextColNext};
    for (int c = 0; c < 4; ++c)
        if (!headers[c]->isEmpty()) // no language chosen yet: the form's own headers stay
            Tab->horizontalHeaderItem(c)->setText(*headers[c]);

    // Leave any open cell first, so that no editor of an earlier program survives.
    Tab->setCurrentItem(nullptr);
    const int n = ProgramRowsToShow(EditSteps);
    Tab->setRowCount(n);
    for (int r = 1; r <= n; ++r)
        WriteRow(r);
    SetCurrentCell(1, 1);
}

void TFormProg::GrowProgramGrid(int k)
{
    k = std::clamp(k, 1, MaxStepNo);
    if (Tab->rowCount() != k)
        Tab->setRowCount(k);
    for (int r = 1; r <= k; ++r)
        WriteRow(r);
}

void TFormProg::TabKeyPress(QObject *, char16_t &Key)
{
    const bool passes = Key == 8 || Key == 10 || Key == 13 || (Key >= u'0' && Key <= u'9');
    if (!passes) {
        Key = 0;
        return;
    }
    if (Key != 13)
        return;
    const int r = CurrentStepRow();
    const int c = CurrentColumn();
    if (r < 1)
        return;
    if (c == 1) {
        SetCurrentCell(r, 2);
    } else if (c == 2) {
        SetCurrentCell(r, 3);
    } else if (c == 3) {
        // Continue at the step that follows; an empty cell raises the conversion error and
        // the cursor stays.
        const int k = StrToInt(CellText(3, r));
        int row = r;
        if (k > 0 && k <= MaxStepNo) {
            if (k > Tab->rowCount())
                GrowProgramGrid(k);
            row = k;
        }
        SetCurrentCell(row, 1);
    }
}

void TFormProg::TabSetEditText(QObject *, int ACol, int ARow, const QString &Value)
{
    if (ARow < 1 || ARow > MaxStepNo)
        return;
    bool ok = false;
    const double v = std::trunc(ParseCellNumber(Value, &ok));
    if (!ok)
        return; // an erased or unfinished cell: the entry keeps its value
    ProgramStep &s = EditSteps[ARow];
    switch (ACol) {
    case 1:
        if (v >= INT32_MIN && v <= INT32_MAX)
            s.Time = int32_t(v);
        break;
    case 2:
        s.U = v;
        break;
    case 3:
        // The table ends at step 255; a larger number is never stored.
        if (v < 0 || v > MaxStepNo)
            return;
        s.Next = int32_t(v);
        if (s.Next > Tab->rowCount())
            GrowProgramGrid(s.Next);
        break;
    default:
        break;
    }
}

void TFormProg::ButtOpenClick()
{
    const QString name = RunFileDialog(OpenD);
    if (name.isEmpty())
        return;
    ProgramPath = name;
    LabPath->setText(name);
    LabPath->setToolTip(name);
    LoadProgramFile(name); // a malformed file raises its error here and the grid stays
    FillProgramGrid();
}

void TFormProg::ButtSaveClick()
{
    const QString chosen = RunFileDialog(SaveDial);
    if (chosen.isEmpty())
        return;
    ProgramPath = ProgramFileName(chosen);
    LabPath->setText(ProgramPath);
    LabPath->setToolTip(ProgramPath);
    SaveProgramFile(ProgramPath);
}

void TFormProg::FormShow()
{
    // Focus first: the cell editor opened by the filling must not lose it again, which
    // would close it.
    Tab->setFocus();
    FillProgramGrid();
}

void TFormProg::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        Guarded([this] { FormShow(); });
}

bool TFormProg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Tab && event->type() == QEvent::KeyPress &&
        HandleEnter(static_cast<QKeyEvent *>(event)))
        return true;
    if (watched == Tab && event->type() == QEvent::FocusIn) {
        // The cell editor is always shown: coming back to the grid reopens it.
        const QModelIndex current = Tab->currentIndex();
        if (current.isValid() && current.column() > 0 &&
            !m_delegate->OpenEditor(current.column(), current.row() + 1))
            Tab->edit(current);
    }
    return QDialog::eventFilter(watched, event);
}

bool TFormProg::HandleEnter(QKeyEvent *e)
{
    if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter)
        return false;
    if (e->modifiers() & Qt::ControlModifier) {
        ButtOK->click();
        return true;
    }
    char16_t key = 13;
    // An empty step number: the error box, the cursor stays.
    Guarded([&] { TabKeyPress(Tab, key); });
    return true;
}

void TFormProg::CurrentCellChanged(int row, int column, int previousRow, int previousColumn)
{
    if (row < 0 || column != 0)
        return;
    // The step number column is fixed: the cursor goes on to the editable cells.
    if (previousRow == row && previousColumn == 1 && row > 0)
        Tab->setCurrentCell(row - 1, 3);
    else
        Tab->setCurrentCell(row, 1);
}

int ProgramRowsToShow(const ProgramStep *Steps)
{
    bool seen[ProgramSize] = {};
    int highest = 1;
    for (int s = 1; s >= 1 && s <= MaxStepNo && !seen[s]; s = Steps[s].Next) {
        seen[s] = true;
        highest = std::max(highest, s);
    }
    return highest;
}

QString ProgramFileName(const QString &Chosen)
{
    const QString ext = QStringLiteral(".prg");
    const qsizetype first = Chosen.indexOf(ext);
    if (first >= 0 && first + ext.size() == Chosen.size())
        return Chosen;
    return Chosen + ext;
}

void EditProgram(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        return;
    if (!FormProg)
        FormProg = new TFormProg(FormMain);
    TDevice &d = Devices[Slot];
    std::copy(std::begin(d.Steps), std::end(d.Steps), std::begin(EditSteps));
    FormProg->setWindowTitle(TextProgramOf + QString::number(Slot));
    // A program loaded or edited in the dialog reaches the source only through OK.
    if (FormProg->exec() == QDialog::Accepted)
        std::copy(std::begin(EditSteps), std::end(EditSteps), std::begin(d.Steps));
}

void ButtProgClick(QObject *Sender)
{
    if (const int s = FindSlot(Sender, &TDevice::ButtProg))
        EditProgram(s);
}
