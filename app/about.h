#pragma once

// The about page: product line, rights notice, the maker's addresses and the help link;
// and the desktop shell's "open" of a document, web address or mail link.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class TFormMain;
class QObject;

extern const QString DownloadAddress; // the maker's download page
extern const QString WebAddress;      // the maker's web site
extern const QString MailAddress;     // the maker's mailbox
extern const QString HelpFileCz;
extern const QString HelpFileEn;

// Builds LabAbout1..LabAbout8 on FormMain's Page8.
void BuildAboutPage(TFormMain *Form);

// Hands Target to the desktop shell. Target, Parameters and Directory are each cut to 250
// characters. A bare file name is looked for in Directory (or, when that is empty, the
// current working folder), then in DocumentFolders of the program. ShowCommand has no
// meaning on this desktop. Nothing is reported: a target the shell cannot open leaves
// things as they were.
void ShellOpen(const QString &Target, const QString &Parameters, const QString &Directory,
               int ShowCommand);
// What ShellOpen hands to the shell; an empty URL when a file target does not exist.
QUrl ShellTarget(const QString &Target, const QString &Directory);
// Where a bare document name is looked for when it is not in the working folder: beside the
// program (the build folder, a portable copy), then the installed documents relative to the
// program (<prefix>/bin/ardemo reads <prefix>/share/ardemo/), so that a moved install works.
QStringList DocumentFolders(const QString &programDir);

using TShellOpener = std::function<bool(const QUrl &)>;
// Replaces the desktop shell (tests); an empty opener restores it.
void SetShellOpener(TShellOpener opener);

void LabAbout5Click(QObject *Sender);
void LabAbout6Click(QObject *Sender);
void LabAbout7Click(QObject *Sender);
void LabAbout8Click(QObject *Sender);
