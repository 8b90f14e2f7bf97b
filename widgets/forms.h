#pragma once

// The main window and the data module as the units see them: the controls and components
// they reach by name. The application builds the real windows and fills these references;
// tests build only what they need.

#include <QMainWindow>
#include <QObject>

class QTimer;
class QTabWidget;
class QPlainTextEdit;
class QColorDialog;
class QScrollBar;
class QLabel;
class TAfComPort;
class TChart;
class TPanel;
class TCheckListBox;
class TEdit;
class TCheckBox;
class TUpDown;
class TBitBtn;
class QPushButton;

class TFormMainBase : public QMainWindow
{
    Q_OBJECT
public:
    using QMainWindow::QMainWindow;

    QWidget *PanelLeft = nullptr;
    QWidget *PanelTop = nullptr;
    QWidget *PanelMain = nullptr;
    QTabWidget *PageCont = nullptr;
    QWidget *Page1 = nullptr; // main page: the source panels
    QWidget *Page2 = nullptr; // chart page
    QWidget *Page3 = nullptr; // communication page
    QWidget *Page8 = nullptr; // about page
    TPanel *PanDev = nullptr; // the hidden template panel

    // Communication page: one tab per line, sent memo and received memo.
    QTabWidget *ControlLines = nullptr;
    QWidget *LinePage[5] = {};    // Line1..Line4 at 1..4
    QPlainTextEdit *Memo[9] = {}; // Memo1..Memo8 at 1..8: line l sends 2l-1, receives 2l

    // Chart page.
    TChart *Graf = nullptr;
    TCheckListBox *CheckZaz = nullptr;
    TEdit *MaxX = nullptr;
    TUpDown *UpDownX = nullptr;
    TEdit *MaxU = nullptr;
    TUpDown *UpDownY = nullptr;
    TCheckBox *CB_3d = nullptr;
    QScrollBar *SBar_3D = nullptr;
    QScrollBar *SBar_Zoom = nullptr;
    QScrollBar *SBar_Rot = nullptr;
    QPushButton *ButtPrint = nullptr;
    QPushButton *ButtSaveGraf = nullptr;
    QLabel *Label12 = nullptr, *Label13 = nullptr, *Label14 = nullptr, *Label15 = nullptr,
           *Label16 = nullptr;

    QPlainTextEdit *SentMemo(int line) const { return Memo[2 * line - 1]; }
    QPlainTextEdit *RecvMemo(int line) const { return Memo[2 * line]; }
};

class TDMBase : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    QTimer *TSystem = nullptr;
    TAfComPort *PortA = nullptr;
    TAfComPort *PortB = nullptr;
    TAfComPort *PortC = nullptr;
    TAfComPort *PortD = nullptr;
    QColorDialog *ColorDial = nullptr;

    // The port of line 1..4 (A..D).
    TAfComPort *Port(int line) const
    {
        switch (line) {
        case 1:
            return PortA;
        case 2:
            return PortB;
        case 3:
            return PortC;
        case 4:
            return PortD;
        default:
            return nullptr;
        }
    }
};

extern TFormMainBase *FormMain;
extern TDMBase *DM;
