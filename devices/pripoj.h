#pragma once

// The connection dialog: line, port, address and colour of one more source.

#include "strtable.h"

#include <QColor>
#include <QDialog>
#include <QHash>
#include <QList>

namespace Ui {
class TFormPripoj;
}
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

class TFormPripoj : public QDialog
{
    Q_OBJECT
public:
    explicit TFormPripoj(QWidget *parent = nullptr);
    ~TFormPripoj() override;
    void ApplyLanguage(TLangSet Set);

    // The dialog's handlers, named after their controls; the line of a shared handler is
    // the last character of the sender's name.
    void FormShow();
    void RadioButton1Click(QObject *Sender);
    void ComboBox1Click();
    void ComboBox2Click();
    void ComboBox3Click();
    void ComboBox4Click();
    void ComboBox1Change(QObject *Sender);
    void PanelColorClick();
    // Connects the source. A port text whose 5th and 6th characters are no number throws
    // EConvertError before anything changes.
    void Button1Click();
    void Button2Click();
    // The line search: starts asking the selected line's free addresses, or stops it.
    void ButtSearchClick();
    // Connects every source the search found, in address order, each in the next free slot.
    void ButtAddAllClick();
    // Progress and result of the search, from the line's search state.
    void ShowSearch();

    // Fills the address list with the addresses free on the line.
    void FillAddressList(int Line);
    // The selected line 1..4.
    int SelectedLine() const;
    QColor SwatchColor() const;
    // Tells, in each "Com nn" item's hint, which device the port stands for on this machine
    // and whether it is there now. Devices come and go: done each time the dialog shows.
    void ShowPortDevices();

protected:
    void showEvent(QShowEvent *e) override;

private:
    QRadioButton *Radio(int line) const;
    QComboBox *Ports(int line) const;
    void UpdateConnectButton();
    // The port number of the line's port text ("Com 07" is 7); throws when it names none.
    int PortNumber(int line) const;
    // Opens the line's port for a search when the line has none open; false (the operator
    // told) when it cannot be opened.
    bool OpenForSearch(int line);
    // "COM3 → /dev/ttyUSB0 (present)" for a port text, from the look of the last showing.
    QString PortHint(const QString &portText);

    Ui::TFormPripoj *ui;
    bool m_portChosen = false; // the operator has changed a port text since start-up
    bool m_centred = false;
    TLangSet m_lang = lsCzech;       // the set of the texts shown; the form starts in Czech
    QHash<int, QString> m_portHints; // by COM number
    QPushButton *m_search = nullptr;
    QPushButton *m_addAll = nullptr;
    QLabel *m_searchText = nullptr;
    QProgressBar *m_searchBar = nullptr;
    QTimer *m_searchTimer = nullptr;
    int m_searchLine = 0; // the line searched last
};

extern TFormPripoj *FormPripoj;

// The address list of FormPripoj for the line (unit Global's routine).
void FillAddressList(int Line);
// Addresses 0..31 not taken by a connected source on the line, ascending.
QList<int> FreeAddresses(int Line);
// Default colour of a new source by the slot it will take (0: no free slot).
QColor DefaultSourceColor(int Slot);
