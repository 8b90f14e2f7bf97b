#include "controls.h"

#include "guarded.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>

QColor ColorFromRgb(uint32_t rgb)
{
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// ---------------------------------------------------------------- TPanel

TPanel::TPanel(QWidget *parent) : QFrame(parent), m_caption(new QLabel(this))
{
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_color = palette().color(QPalette::Window);
    SetBevels(bvNone, bvRaised);
}

QString TPanel::Caption() const
{
    return m_caption->text();
}

void TPanel::SetCaption(const QString &text)
{
    m_caption->setText(text);
}

void TPanel::SetColor(const QColor &c)
{
    m_color = c;
    QPalette p = palette();
    p.setColor(QPalette::Window, c);
    setPalette(p);
    setAutoFillBackground(true);
}

void TPanel::SetBevels(TBevelCut inner, TBevelCut outer)
{
    m_inner = inner;
    m_outer = outer;
    const TBevelCut shown = outer != bvNone ? outer : inner;
    if (shown == bvNone) {
        setFrameStyle(QFrame::NoFrame);
    } else {
        setFrameStyle(QFrame::Panel | (shown == bvLowered ? QFrame::Sunken : QFrame::Raised));
        setLineWidth(inner != bvNone && outer != bvNone ? 2 : 1);
    }
}

Qt::Alignment TPanel::CaptionAlignment() const
{
    return m_caption->alignment();
}

void TPanel::SetCaptionAlignment(Qt::Alignment a)
{
    m_caption->setAlignment(a);
}

void TPanel::mouseReleaseEvent(QMouseEvent *e)
{
    QFrame::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick)
        Guarded([this] { OnClick(this); });
}

void TPanel::resizeEvent(QResizeEvent *e)
{
    QFrame::resizeEvent(e);
    m_caption->setGeometry(contentsRect());
    m_caption->lower();
}

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(QWidget *parent) : QLabel(parent) {}

void TLabel::SetTransparent(bool t)
{
    m_transparent = t;
    setAutoFillBackground(!t);
}

void TLabel::SetAutoSize(bool a)
{
    m_autoSize = a;
    if (a)
        adjustSize();
}

void TLabel::SetCaption(const QString &text)
{
    if (text == QLabel::text())
        return; // the tick rewrites labels often; an unchanged text costs no relayout
    setText(text);
    if (m_autoSize)
        adjustSize();
}

void TLabel::mouseReleaseEvent(QMouseEvent *e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && isEnabled() && rect().contains(e->position().toPoint()) &&
        OnClick)
        Guarded([this] { OnClick(this); });
}

void TLabel::mouseMoveEvent(QMouseEvent *e)
{
    QLabel::mouseMoveEvent(e);
    if (OnMouseMove)
        Guarded([this] { OnMouseMove(this); });
}

// ---------------------------------------------------------------- TStaticText

TStaticText::TStaticText(QWidget *parent) : TLabel(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    SetAutoSize(false);
    m_color = palette().color(QPalette::Window);
}

void TStaticText::SetColor(const QColor &c)
{
    m_color = c;
    QPalette p = palette();
    p.setColor(QPalette::Window, c);
    setPalette(p);
    setAutoFillBackground(true);
}

// ---------------------------------------------------------------- TShape

TShape::TShape(QWidget *parent) : QWidget(parent) {}

void TShape::SetBrushColor(const QColor &c)
{
    if (c == m_brush)
        return;
    m_brush = c;
    update();
}

void TShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(m_brush);
    const int d = qMin(width(), height());
    p.drawEllipse(
        QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d).adjusted(0.5, 0.5, -0.5, -0.5));
}

// ---------------------------------------------------------------- TEdit

TEdit::TEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange)
            Guarded([this] { OnChange(this); });
    });
}

QColor TEdit::FontColor() const
{
    return palette().color(QPalette::Text);
}

void TEdit::SetFontColor(const QColor &c)
{
    QPalette p = palette();
    p.setColor(QPalette::Text, c);
    setPalette(p);
}

void TEdit::keyPressEvent(QKeyEvent *e)
{
    if (!OnKeyPress) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    char16_t key = 0;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    if (e->key() == Qt::Key_Backspace)
        key = 8;
    else if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && ctrl)
        key = 10;
    else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        key = 13;
    else if (!e->text().isEmpty() && e->text().at(0).isPrint())
        key = e->text().at(0).unicode();
    else {
        // Cursor movement, Delete, Tab and the like are not characters: no filter.
        QLineEdit::keyPressEvent(e);
        return;
    }
    if (!Guarded([&] { OnKeyPress(this, key); }) || key == 0)
        return; // dropped by the filter, or the filter failed
    if (key == 13 || key == 10)
        return; // a one-line entry has no line break; the filter did the work
    if (key == 8) {
        backspace();
        return;
    }
    insert(QString(QChar(key)));
}

// ---------------------------------------------------------------- buttons

TCheckBox::TCheckBox(QWidget *parent) : QCheckBox(parent)
{
    connect(this, &QCheckBox::clicked, this, [this] {
        if (OnClick)
            Guarded([this] { OnClick(this); });
    });
}

TBitBtn::TBitBtn(QWidget *parent) : QPushButton(parent)
{
    connect(this, &QPushButton::clicked, this, [this] {
        if (OnClick)
            Guarded([this] { OnClick(this); });
    });
}

TSpeedButton::TSpeedButton(QWidget *parent) : QToolButton(parent)
{
    setAutoRaise(true);
    connect(this, &QToolButton::clicked, this, [this] {
        if (OnClick)
            Guarded([this] { OnClick(this); });
    });
}

TBevel::TBevel(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Sunken);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

// ---------------------------------------------------------------- TCheckListBox

TCheckListBox::TCheckListBox(QWidget *parent) : QListWidget(parent)
{
    connect(this, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        if (!m_filling && OnClickCheck)
            Guarded([&] { OnClickCheck(this, row(item)); });
    });
}

void TCheckListBox::AddItem(const QString &text, bool checked)
{
    m_filling = true;
    auto *item = new QListWidgetItem(text, this);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    m_filling = false;
}

bool TCheckListBox::Checked(int index) const
{
    const QListWidgetItem *it = item(index);
    return it && it->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int index, bool checked)
{
    if (QListWidgetItem *it = item(index)) {
        m_filling = true;
        it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        m_filling = false;
    }
}

// ---------------------------------------------------------------- TUpDown

#include "sysutils.h"
#include <QVBoxLayout>

TUpDown::TUpDown(QWidget *parent) : QWidget(parent)
{
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    auto *up = new QToolButton(this);
    auto *down = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton *b : {up, down}) {
        b->setAutoRepeat(true);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setFocusPolicy(Qt::NoFocus);
        lay->addWidget(b);
    }
    // A text that is no number raises the conversion error on an arrow click.
    connect(up, &QToolButton::clicked, this, [this] { Guarded([this] { StepBy(1); }); });
    connect(down, &QToolButton::clicked, this, [this] { Guarded([this] { StepBy(-1); }); });
}

void TUpDown::SetAssociate(TEdit *edit)
{
    m_edit = edit;
}

void TUpDown::SetRange(int min, int max)
{
    m_min = min;
    m_max = max;
    m_position = qBound(min, m_position, max);
}

void TUpDown::SetPosition(int p)
{
    m_position = qBound(m_min, p, m_max);
    if (m_edit)
        m_edit->setText(QString::number(m_position));
    if (OnChanging)
        OnChanging(this);
}

void TUpDown::StepBy(int delta)
{
    int current = m_position;
    if (m_edit && !m_edit->text().isEmpty())
        current = StrToInt(m_edit->text());
    SetPosition(current + delta);
}
