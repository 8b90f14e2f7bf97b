#include "pripoj.h"

#include "services.h"
#include "ui_pripoj.h"

#include "afcomportcore.h"
#include "connect.h"
#include "forms.h"
#include "global.h"
#include "guarded.h"
#include "panels.h"
#include "sysutils.h"

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>
#include <afcomport.h>
#include <afportmap.h>

TFormPripoj *FormPripoj = nullptr;

QColor DefaultSourceColor(int Slot)
{
    static const uint32_t colours[] = {0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00, 0x00FFFF,
                                       0x008000, 0x000000, 0x008080, 0x808080, 0xFF00FF,
                                       0x800000, 0x000080, 0x808000, 0x800080};
    if (Slot >= 1 && Slot <= 14)
        return ColorFromRgb(colours[Slot - 1]);
    return ColorFromRgb(0xC0C0C0);
}

QList<int> FreeAddresses(int Line)
{
    QList<int> free;
    for (int a = 0; a <= 31; ++a) {
        bool taken = false;
        for (int i = 1; i <= MaxDevices && !taken; ++i)
            taken = Devices[i].Used && Devices[i].Line == Line && Devices[i].Address == a;
        if (!taken)
            free << a;
    }
    return free;
}

void FillAddressList(int Line)
{
    if (FormPripoj)
        FormPripoj->FillAddressList(Line);
}

namespace {
int LineOfName(const QObject *o)
{
    const QString name = o ? o->objectName() : QString();
    return name.isEmpty() ? 0 : name.back().digitValue();
}

bool PortOpen(int line)
{
    TAfComPort *port = DM ? DM->Port(line) : nullptr;
    return port && port->Active();
}
} // namespace

TFormPripoj::TFormPripoj(QWidget *parent) : QDialog(parent), ui(new Ui::TFormPripoj)
{
    ui->setupUi(this);
    if (!FormPripoj)
        FormPripoj = this;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(211, 227);

    ui->PanelColor->SetBevels(TPanel::bvNone, TPanel::bvRaised);
    ui->PanelColor->setLineWidth(2);
    ui->PanelColor->SetColor(DefaultSourceColor(1));
    ui->PanelColor->OnClick = [this](QObject *) { PanelColorClick(); };

    QPalette note = ui->LabFull->palette();
    note.setColor(QPalette::WindowText, ColorFromRgb(0xC00000));
    ui->LabFull->setPalette(note);

    for (int n = 1; n <= 4; ++n) {
        QRadioButton *rb = Radio(n);
        connect(rb, &QRadioButton::toggled, this, [this, rb](bool on) {
            if (on)
                Guarded([&] { RadioButton1Click(rb); });
        });
        QComboBox *cb = Ports(n);
        // Port names are typed or picked whole; an inline completion would exclude a
        // port the operator never meant.
        cb->setCompleter(nullptr);
        connect(cb->lineEdit(), &QLineEdit::textEdited, this,
                [this, cb] { Guarded([&] { ComboBox1Change(cb); }); });
        // The port shown tells its device too, picked or typed.
        connect(cb, &QComboBox::currentTextChanged, this, [this, cb](const QString &text) {
            Guarded([&] { cb->setToolTip(PortHint(text)); });
        });
        connect(cb, &QComboBox::activated, this, [this, cb, n] {
            Guarded([&] {
                ComboBox1Change(cb);
                switch (n) {
                case 1:
                    ComboBox1Click();
                    break;
                case 2:
                    ComboBox2Click();
                    break;
                case 3:
                    ComboBox3Click();
                    break;
                case 4:
                    ComboBox4Click();
                    break;
                }
            });
        });
    }
    // A port text that is no number raises the conversion error to the application's error
    // box; nothing has changed then and the dialog stays open.
    connect(ui->Button1, &QPushButton::clicked, this,
            [this] { Guarded([this] { Button1Click(); }); });
    connect(ui->Button2, &QPushButton::clicked, this,
            [this] { Guarded([this] { Button2Click(); }); });
    UpdateConnectButton();
}

TFormPripoj::~TFormPripoj()
{
    if (FormPripoj == this)
        FormPripoj = nullptr;
    delete ui;
}

QRadioButton *TFormPripoj::Radio(int line) const
{
    QRadioButton *r[] = {ui->RadioButton1, ui->RadioButton2, ui->RadioButton3, ui->RadioButton4};
    return r[line - 1];
}

QComboBox *TFormPripoj::Ports(int line) const
{
    QComboBox *c[] = {ui->ComboBox1, ui->ComboBox2, ui->ComboBox3, ui->ComboBox4};
    return c[line - 1];
}

int TFormPripoj::SelectedLine() const
{
    for (int n = 1; n <= 4; ++n)
        if (Radio(n)->isChecked())
            return n;
    return 1;
}

QColor TFormPripoj::SwatchColor() const
{
    return ui->PanelColor->Color();
}

void TFormPripoj::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!m_centred) {
        m_centred = true;
        if (QScreen *s = screen())
            move(s->availableGeometry().center() - rect().center());
    }
    Guarded([this] { FormShow(); });
}

void TFormPripoj::FormShow()
{
    ui->PanelColor->SetColor(DefaultSourceColor(LowestFreeSlot()));

    bool open[5] = {};
    int first = 0;
    for (int n = 1; n <= 4; ++n) {
        open[n] = PortOpen(n);
        if (!open[n] && !first)
            first = n;
    }
    // The lines in use and the first line not in use can be chosen.
    for (int n = 1; n <= 4; ++n)
        Radio(n)->setEnabled(open[n] || n == first);
    ui->RadioButton1->setChecked(true);
    for (int n = 2; n <= 4; ++n)
        if (open[n])
            Radio(n)->setChecked(true);
    // Only the first line not in use takes a port; a line in use keeps its port.
    for (int n = 1; n <= 4; ++n) {
        Ports(n)->setEnabled(n == first);
        if (!open[n]) {
            Ports(n)->setCurrentIndex(-1);
            Ports(n)->clearEditText();
        }
    }
    FillAddressList(SelectedLine());
    ShowPortDevices();
}

void TFormPripoj::ShowPortDevices()
{
    m_portHints.clear(); // one fresh look at each port for all four lists
    for (int n = 1; n <= 4; ++n) {
        QComboBox *cb = Ports(n);
        for (int i = 0; i < cb->count(); ++i)
            cb->setItemData(i, PortHint(cb->itemText(i)), Qt::ToolTipRole);
        cb->setToolTip(PortHint(cb->currentText()));
    }
}

QString TFormPripoj::PortHint(const QString &portText)
{
    // The same reading of "Com 07" as the connection's; a text that names no port has none.
    int com = 0;
    try {
        com = StrToInt(portText.mid(4, 2));
    } catch (...) {
        return QString();
    }
    if (com < 1)
        return QString();
    auto it = m_portHints.find(com);
    if (it == m_portHints.end()) {
        const TAfPortInfo info = AfPortInfo(com);
        const QString state = LoadStr(info.Present ? sPortPresent : sPortMissing, m_lang);
        it = m_portHints.insert(
            com, LoadStr(sPortDevice, m_lang).arg(com).arg(QFile::decodeName(info.Path), state));
    }
    return *it;
}

void TFormPripoj::FillAddressList(int Line)
{
    ui->SelAdr->clear();
    for (int a : FreeAddresses(Line))
        ui->SelAdr->addItem(QString::number(a));
    if (ui->SelAdr->count())
        ui->SelAdr->setCurrentIndex(0);
    UpdateConnectButton();
}

void TFormPripoj::UpdateConnectButton()
{
    // A full line offers no address: the source could not be addressed, so "Připoj"
    // stays off and a note says why.
    const bool haveAddress = ui->SelAdr->count() > 0;
    ui->Button1->setEnabled(m_portChosen && haveAddress);
    ui->LabFull->setVisible(!haveAddress);
}

void TFormPripoj::RadioButton1Click(QObject *Sender)
{
    const int line = LineOfName(Sender);
    if (line >= 1 && line <= 4)
        FillAddressList(line);
}

void TFormPripoj::ComboBox1Click()
{
    ui->RadioButton1->setChecked(true);
}
void TFormPripoj::ComboBox2Click()
{
    ui->RadioButton2->setChecked(true);
}
void TFormPripoj::ComboBox3Click()
{
    ui->RadioButton3->setChecked(true);
}
void TFormPripoj::ComboBox4Click()
{
    ui->RadioButton4->setChecked(true);
}

void TFormPripoj::ComboBox1Change(QObject *Sender)
{
    const int line = LineOfName(Sender);
    if (line < 1 || line > 4)
        return;
    // A port once chosen for one line is never offered to the others again.
    const QString text = Ports(line)->currentText();
    for (int n = 1; n <= 4; ++n) {
        if (n == line)
            continue;
        QComboBox *other = Ports(n);
        const int idx = other->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (idx < 0)
            continue;
        const QString shown = other->currentText();
        other->removeItem(idx);
        if (other->currentText() != shown)
            other->setEditText(shown); // the other line keeps the port it shows
    }
    m_portChosen = true;
    UpdateConnectButton();
}

void TFormPripoj::PanelColorClick()
{
    if (!DM || !DM->ColorDial)
        return;
    QColorDialog *dial = DM->ColorDial;
    dial->setCurrentColor(ui->PanelColor->Color());
    if (dial->exec() == QDialog::Accepted)
        ui->PanelColor->SetColor(dial->currentColor());
}

void TFormPripoj::Button1Click()
{
    if (ui->SelAdr->currentIndex() < 0)
        return; // no free address on the line: nothing can be connected
    const int address = ui->SelAdr->currentText().toInt();
    const int line = SelectedLine();
    // "Com 07" names port 7; anything else throws before anything has changed. A line whose
    // port is open keeps it, whatever its port text says.
    const int com = LineNeedsPort(line) ? StrToInt(Ports(line)->currentText().mid(4, 2)) : 0;
    QString error;
    ConnectSource(line, com, address, SwatchColor(), &error);
    if (!error.isEmpty())
        QMessageBox::warning(this, QCoreApplication::applicationName(), error);
    close();
}

void TFormPripoj::Button2Click()
{
    close();
}

void TFormPripoj::ApplyLanguage(TLangSet Set)
{
    if (Set == lsNone)
        return;
    setWindowTitle(LoadStr(sPripojCaption, Set));
    ui->Label1->setText(LoadStr(sAddress, Set));
    const TStrId radios[] = {sRadio1, sRadio2, sRadio3, sRadio4};
    for (int n = 1; n <= 4; ++n)
        Radio(n)->setText(LoadStr(radios[n - 1], Set));
    ui->Button1->setText(LoadStr(sConnect, Set));
    ui->Button2->setText(LoadStr(sCancel, Set));
    ui->LabFull->setText(LoadStr(sNoFreeAddress, Set));
    m_lang = Set;
    ShowPortDevices();
}
