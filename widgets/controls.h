#pragma once

// Small widget classes that stand for the form controls of the panels and dialogs. Each
// carries its event handlers as plain callables, so that a clone of a template control
// can be wired to exactly the handlers of the template (handlers find their source from
// the Sender they are given). A handler's error goes to the error box (guarded.h) and ends
// the handler, not the event that raised it.

#include <QCheckBox>
#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <functional>

using TNotifyEvent = std::function<void(QObject *Sender)>;
// Key is the typed character (8 Backspace, 10 line feed, 13 Enter); setting it to 0 drops it,
// and so does an error of the handler.
using TKeyPressEvent = std::function<void(QObject *Sender, char16_t &Key)>;

QColor ColorFromRgb(uint32_t rgb);

class TPanel : public QFrame
{
    Q_OBJECT
public:
    enum TBevelCut { bvNone, bvLowered, bvRaised };
    explicit TPanel(QWidget *parent = nullptr);

    QString Caption() const;
    void SetCaption(const QString &text);
    QColor Color() const { return m_color; }
    void SetColor(const QColor &c);
    TBevelCut BevelInner() const { return m_inner; }
    TBevelCut BevelOuter() const { return m_outer; }
    void SetBevels(TBevelCut inner, TBevelCut outer);
    Qt::Alignment CaptionAlignment() const;
    void SetCaptionAlignment(Qt::Alignment a);
    QLabel *CaptionLabel() const { return m_caption; }

    TNotifyEvent OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    QLabel *m_caption;
    QColor m_color;
    TBevelCut m_inner = bvNone;
    TBevelCut m_outer = bvRaised;
};

class TLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TLabel(QWidget *parent = nullptr);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool t);
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool a);
    // Sets the text and, with AutoSize, fits the label to it as a form label does.
    void SetCaption(const QString &text);

    TNotifyEvent OnClick;
    TNotifyEvent OnMouseMove;

protected:
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;

private:
    bool m_transparent = false;
    bool m_autoSize = true;
};

// A static text: a label with a sunken border and its own background colour.
class TStaticText : public TLabel
{
    Q_OBJECT
public:
    explicit TStaticText(QWidget *parent = nullptr);
    QColor Color() const { return m_color; }
    void SetColor(const QColor &c);

private:
    QColor m_color;
};

// A filled circle in its brush colour, without outline.
class TShape : public QWidget
{
    Q_OBJECT
public:
    explicit TShape(QWidget *parent = nullptr);
    QColor BrushColor() const { return m_brush; }
    void SetBrushColor(const QColor &c);

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QColor m_brush = Qt::white;
};

class TEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TEdit(QWidget *parent = nullptr);
    QColor FontColor() const;
    void SetFontColor(const QColor &c);

    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnChange;

protected:
    void keyPressEvent(QKeyEvent *e) override;
};

class TCheckBox : public QCheckBox
{
    Q_OBJECT
public:
    explicit TCheckBox(QWidget *parent = nullptr);
    TNotifyEvent OnClick; // raised when the operator changes the check state
};

class TBitBtn : public QPushButton
{
    Q_OBJECT
public:
    explicit TBitBtn(QWidget *parent = nullptr);
    TNotifyEvent OnClick;
};

class TSpeedButton : public QToolButton
{
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget *parent = nullptr);
    TNotifyEvent OnClick;
};

class TBevel : public QFrame
{
    Q_OBJECT
public:
    explicit TBevel(QWidget *parent = nullptr);
};

// A list of check boxes; OnClickCheck is raised with the index of the item the operator
// ticked or unticked.
class TCheckListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit TCheckListBox(QWidget *parent = nullptr);
    void AddItem(const QString &text, bool checked);
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);
    std::function<void(QObject *Sender, int Index)> OnClickCheck;

private:
    bool m_filling = false;
};

// Two arrow buttons that step the integer shown in their associated entry within
// Min..Max. A typed value is not clamped; an arrow click reads the entry first (and so
// raises the conversion error for a text that is not a number).
class TUpDown : public QWidget
{
    Q_OBJECT
public:
    explicit TUpDown(QWidget *parent = nullptr);
    void SetAssociate(TEdit *edit);
    TEdit *Associate() const { return m_edit; }
    void SetRange(int min, int max);
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int Position() const { return m_position; }
    // Sets the position (clamped to the range), shows it in the entry and raises OnChanging.
    void SetPosition(int p);
    void StepBy(int delta); // what an arrow click does

    TNotifyEvent OnChanging;

private:
    TEdit *m_edit = nullptr;
    int m_min = 0, m_max = 100, m_position = 0;
};
