#include "pripoj.h"

#include "services.h"
#include "ui_pripoj.h"

#include "afcomportcore.h"
#include "connect.h"
#include "forms.h"
#include "global.h"
#include "guarded.h"
#include "panels.h"
#include "search.h"
#include "sysutils.h"

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <afcomport.h>
#include <afportmap.h>
#include <algorithm>

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
// The search's buttons and progress below the dialog's own controls.
constexpr int SearchRowHeight = 56;

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
    // The search's row below the dialog's own controls: its buttons, then its progress.
    setFixedSize(211, 227 + SearchRowHeight);
    m_search = new QPushButton(LoadStr(sSearch, lsCzech), this);
    m_search->setObjectName(QStringLiteral("ButtSearch"));
    m_search->setGeometry(24, 224, 75, 25);
    m_search->setToolTip(LoadStr(sSearchHint, lsCzech));
    m_addAll = new QPushButton(LoadStr(sAddAll, lsCzech), this);
    m_addAll->setObjectName(QStringLiteral("ButtAddAll"));
    m_addAll->setGeometry(112, 224, 75, 25);
    m_addAll->setEnabled(false);
    m_searchText = new QLabel(this);
    m_searchText->setObjectName(QStringLiteral("LabSearch"));
    m_searchText->setGeometry(8, 254, 193, 14);
    m_searchBar = new QProgressBar(this);
    m_searchBar->setObjectName(QStringLiteral("SearchBar"));
    m_searchBar->setGeometry(8, 270, 193, 10);
    m_searchBar->setTextVisible(false);
    m_searchBar->hide();
    m_searchTimer = new QTimer(this);
    m_searchTimer->setInterval(100);
    connect(m_search, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtSearchClick(); }); });
    connect(m_addAll, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtAddAllClick(); }); });
    connect(m_searchTimer, &QTimer::timeout, this, [this] { Guarded([this] { ShowSearch(); }); });
    // The found sources' types widen the address list beyond its box.
    ui->SelAdr->view()->setMinimumWidth(150);

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
    // An address the search heard from carries the type that answered: "5 — ZDR300-S".
    const QMap<int, QString> &found = SearchOf(Line).Found;
    for (int a : FreeAddresses(Line))
        ui->SelAdr->addItem(found.contains(a) ? QStringLiteral("%1 — %2").arg(a).arg(found[a])
                                              : QString::number(a),
                            a);
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
    const int line = SelectedLine();
    if (m_search && !Searching(line)) {
        m_search->setEnabled((m_portChosen || PortOpen(line)) && haveAddress);
        const QList<int> free = FreeAddresses(line);
        const QList<int> found = SearchOf(line).Found.keys();
        m_addAll->setEnabled(
            std::any_of(found.begin(), found.end(), [&free](int a) { return free.contains(a); }));
    }
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
    const int address = ui->SelAdr->currentData().toInt();
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

int TFormPripoj::PortNumber(int line) const
{
    return StrToInt(Ports(line)->currentText().mid(4, 2));
}

bool TFormPripoj::OpenForSearch(int line)
{
    if (!LineNeedsPort(line))
        return true;
    QString error;
    if (OpenLine(line, PortNumber(line), &error)) // the number throws before anything changed
        return true;
    QMessageBox::warning(this, QCoreApplication::applicationName(), error);
    return false;
}

void TFormPripoj::ButtSearchClick()
{
    const int line = SelectedLine();
    if (Searching(line)) {
        StopSearch(line);
        ShowSearch();
        return;
    }
    const QList<int> free = FreeAddresses(line);
    if (free.isEmpty() || !OpenForSearch(line))
        return;
    m_searchLine = line;
    StartSearch(line, free);
    m_searchTimer->start();
    ShowSearch();
}

void TFormPripoj::ShowSearch()
{
    const int line = m_searchLine;
    const TLineSearch &s = SearchOf(line);
    const bool running = Searching(line);
    const TLangSet set = m_lang;
    m_search->setText(LoadStr(running ? sSearchStop : sSearch, set));
    // While a line is searched the others wait; then the lines in use, the first line not in
    // use and the searched one can be chosen again.
    int first = 0;
    for (int n = 1; n <= 4 && !first; ++n)
        if (!PortOpen(n))
            first = n;
    for (int n = 1; n <= 4; ++n)
        Radio(n)->setEnabled(running ? n == line : PortOpen(n) || n == first || n == line);
    m_searchBar->setVisible(running);
    m_searchBar->setRange(0, qMax(1, s.Total));
    m_searchBar->setValue(s.Asked);
    if (running) {
        m_searchText->setText(LoadStr(sSearchProgress, set)
                                  .arg(s.Asking >= 0 ? s.Asking : s.ToAsk.value(0))
                                  .arg(s.Asked)
                                  .arg(s.Total));
        return;
    }
    m_searchTimer->stop();
    m_searchText->setText(line ? LoadStr(sSearchDone, set).arg(s.Found.size()) : QString());
    if (SelectedLine() == line) {
        const int keep = ui->SelAdr->currentData().toInt();
        FillAddressList(line);
        if (const int i = ui->SelAdr->findData(keep); i >= 0)
            ui->SelAdr->setCurrentIndex(i);
    }
    UpdateConnectButton();
}

void TFormPripoj::ButtAddAllClick()
{
    const int line = SelectedLine();
    if (Searching(line))
        return;
    const QList<int> found = SearchOf(line).Found.keys(); // ascending
    const TConnectBatch batch; // the chart list, grid and texts once, for all of them
    for (int address : found) {
        if (!FreeAddresses(line).contains(address))
            continue; // connected meanwhile
        if (DeviceCount >= MaxDevices) {
            DeviceLimitReached(); // the message, once; the rest stay unconnected
            break;
        }
        const int com = LineNeedsPort(line) ? PortNumber(line) : 0;
        QString error;
        if (!ConnectSource(line, com, address, DefaultSourceColor(LowestFreeSlot()), &error)) {
            if (!error.isEmpty())
                QMessageBox::warning(this, QCoreApplication::applicationName(), error);
            break;
        }
    }
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
    m_search->setToolTip(LoadStr(sSearchHint, Set));
    m_addAll->setText(LoadStr(sAddAll, Set));
    if (!m_searchLine || !Searching(m_searchLine))
        m_search->setText(LoadStr(sSearch, Set));
    ShowPortDevices();
}
