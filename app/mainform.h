#pragma once

// The main window: left bar with the language and all-sources buttons, top bar with the
// end button, banner, date and clock, and the page control with the eight pages.

#include "forms.h"

class QLabel;
class QScrollArea;
class TBitBtn;
class TLabel;
class TPanel;

class TFormMain : public TFormMainBase
{
    Q_OBJECT
public:
    static constexpr int LeftBarWidth = 129;
    static constexpr int TopBarHeight = 48;

    // Builds the window and runs FormCreate.
    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;

    // Left bar.
    TBitBtn *Bu_cz = nullptr;
    TBitBtn *Bu_en = nullptr;
    TBitBtn *ButtAddDev = nullptr;
    TBitBtn *ButtOutOn = nullptr;
    TBitBtn *ButtOutOff = nullptr;
    TBitBtn *Buttoff = nullptr;

    // Top bar.
    TPanel *Panel1 = nullptr;
    TBitBtn *ButtEnd = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *LabDate = nullptr;
    QLabel *LabCas = nullptr;
    QLabel *LabMqtt = nullptr; // the network bridge's state, shown only with a bridge

    // The main page's tab: Page1, which holds the panels, scrolls in it.
    QScrollArea *ScrollMain = nullptr;
    // The placeholder pages F4..F7.
    QWidget *Page3x = nullptr, *Page5 = nullptr, *Page6 = nullptr, *Page7 = nullptr;
    // Communication page: Label4..Label11 over the memos (even: sent, odd: received).
    QLabel *MemoLabel[12] = {};
    // About page: LabAbout1..LabAbout8.
    TLabel *LabAbout[9] = {};

    void FormCreate();
    void FormShow();
    void FormResize();
    // Saves the settings; a failure is shown to the operator. Runs once.
    void FormDestroy();
    void SaveSettings();

    void ButtEndClick();
    void ButtAddDevClick();
    // Shared by Bu_cz and Bu_en: the language code is in the button's name.
    void Bu_enClick(QObject *Sender);

    // Sets a clock label only when its text changes, so that the tick repaints nothing else.
    void SetClockText(QLabel *label, const QString &text);

protected:
    void showEvent(QShowEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildLeftBar();
    void buildTopBar();
    void buildPages();
    void buildCommunicationPage();
    void wireTemplateHandlers();

    bool m_shown = false;
    bool m_destroyed = false;
};

// Fonts at the sizes of the forms, in points as the forms count them (96 dots per inch).
QFont FormFont(int points, bool bold);
