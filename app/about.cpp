#include "about.h"

#include "controls.h"
#include "global.h"
#include "mainform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QRegularExpression>
#include <QVBoxLayout>

const QString DownloadAddress = QStringLiteral("https://www.tormela.example/download/ardemo");
const QString WebAddress = QStringLiteral("https://www.tormela.example");
const QString MailAddress = QStringLiteral("info@tormela.example");
const QString HelpFileCz = QStringLiteral("Help_Ardemo_CZ.pdf");
const QString HelpFileEn = QStringLiteral("Help_Ardemo_EN.pdf");

namespace {
constexpr int ShellTextMax = 250;
constexpr int SW_SHOWNORMAL = 1;

TShellOpener &Opener()
{
    static TShellOpener o;
    return o;
}

TLabel *AboutLabel(QWidget *page, int n, const QString &text, bool link)
{
    auto *l = new TLabel(page);
    l->setObjectName(QStringLiteral("LabAbout%1").arg(n));
    l->SetAutoSize(false);
    l->SetTransparent(true);
    l->setAlignment(Qt::AlignCenter);
    l->setText(text);
    if (link) {
        QFont f = FormFont(10, true);
        f.setUnderline(true);
        l->setFont(f);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80)); // navy
        l->setPalette(p);
        l->setCursor(Qt::PointingHandCursor);
    }
    return l;
}
} // namespace

void BuildAboutPage(TFormMain *Form)
{
    QWidget *page = Form->Page8;
    auto *lay = new QVBoxLayout(page);
    lay->setContentsMargins(8, 16, 8, 16);
    lay->setSpacing(6);

    TLabel **L = Form->LabAbout;
    L[1] = AboutLabel(page, 1, QStringLiteral("Tormela Ardemo  verze 1.00"), false);
    L[1]->setFont(FormFont(14, true));
    L[2] = AboutLabel(page, 2, QStringLiteral("© 2026 Tormela s.r.o., všechna práva vyhrazena."),
                      false);
    L[3] = AboutLabel(
        page, 3,
        QStringLiteral("Program je chráněn autorským zákonem; šíření jen se souhlasem výrobce."),
        false);
    L[4] = AboutLabel(
        page, 4, QStringLiteral("Aktuální verzi programu si můžete stáhnout na adrese"), false);
    L[5] = AboutLabel(page, 5, DownloadAddress, true);
    L[6] = AboutLabel(page, 6, WebAddress, true);
    L[7] = AboutLabel(page, 7, MailAddress, true);
    L[8] = AboutLabel(page, 8, QStringLiteral("Pomoc"), true);
    for (int i = 2; i <= 4; ++i)
        L[i]->setWordWrap(true);

    lay->addStretch(2);
    lay->addWidget(L[1]);
    lay->addSpacing(18);
    lay->addWidget(L[2]);
    lay->addWidget(L[3]);
    lay->addSpacing(24);
    lay->addWidget(L[4]);
    lay->addWidget(L[5]);
    lay->addSpacing(30);
    // Three equal thirds, each link centred in its own.
    auto *row = new QHBoxLayout;
    row->setSpacing(0);
    for (int i = 6; i <= 8; ++i) {
        auto *third = new QWidget(page);
        third->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        // Equal thirds while there is room; a long address is never cut.
        third->setMinimumWidth(L[i]->sizeHint().width() + 8);
        auto *cell = new QHBoxLayout(third);
        cell->setContentsMargins(0, 0, 0, 0);
        cell->addWidget(L[i], 0, Qt::AlignCenter);
        row->addWidget(third, 1);
    }
    lay->addLayout(row);
    lay->addStretch(3);

    L[5]->OnClick = LabAbout5Click;
    L[6]->OnClick = LabAbout6Click;
    L[7]->OnClick = LabAbout7Click;
    L[8]->OnClick = LabAbout8Click;
}

QUrl ShellTarget(const QString &Target, const QString &Directory)
{
    // "scheme:" of two or more letters is an address; a bare name or a path is a file.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (Target.isEmpty())
        return {};
    if (scheme.match(Target).hasMatch())
        return QUrl(Target);
    if (QFileInfo(Target).isAbsolute())
        return QFileInfo::exists(Target) ? QUrl::fromLocalFile(Target) : QUrl();
    const QString base = Directory.isEmpty() ? QDir::currentPath() : Directory;
    const QString inBase = QDir(base).absoluteFilePath(Target);
    if (QFileInfo::exists(inBase))
        return QUrl::fromLocalFile(inBase);
    // Started from a desktop menu the working folder is anywhere: the installed copy.
    for (const QString &folder : DocumentFolders(QCoreApplication::applicationDirPath())) {
        const QString installed = QDir(folder).absoluteFilePath(Target);
        if (QFileInfo::exists(installed))
            return QUrl::fromLocalFile(installed);
    }
    return {};
}

QStringList DocumentFolders(const QString &programDir)
{
#ifndef ARDEMO_DOCS_FROM_BIN
#define ARDEMO_DOCS_FROM_BIN "../share/ardemo"
#endif
    const QDir dir(programDir);
    return {dir.absolutePath(),
            QDir::cleanPath(dir.absoluteFilePath(QStringLiteral(ARDEMO_DOCS_FROM_BIN)))};
}

void ShellOpen(const QString &Target, const QString &Parameters, const QString &Directory,
               int ShowCommand)
{
    Q_UNUSED(Parameters); // the shell's "open" of a document or address takes none here
    Q_UNUSED(ShowCommand);
    const QUrl url = ShellTarget(Target.left(ShellTextMax), Directory.left(ShellTextMax));
    if (url.isEmpty())
        return;
    if (Opener())
        Opener()(url);
    else
        QDesktopServices::openUrl(url);
}

void SetShellOpener(TShellOpener opener)
{
    Opener() = std::move(opener);
}

void LabAbout5Click(QObject *)
{
    ShellOpen(DownloadAddress, QString(), QString(), SW_SHOWNORMAL);
}

void LabAbout6Click(QObject *)
{
    ShellOpen(WebAddress, QString(), QString(), SW_SHOWNORMAL);
}

void LabAbout7Click(QObject *)
{
    ShellOpen(QStringLiteral("mailto:") + MailAddress, QString(), QString(), SW_SHOWNORMAL);
}

void LabAbout8Click(QObject *)
{
    ShellOpen(LangCode == QLatin1String("cz") ? HelpFileCz : HelpFileEn, QString(), QString(),
              SW_SHOWNORMAL);
}
