// The user guide (docs/guide.md) and the help documents (docs/Help_Ardemo_EN.html and
// _CZ.html, printed to the PDFs the About page opens) must tell the same story: the same
// sections in the same order, the same file names, keys and examples, and every screenshot
// the guide shows present in both languages. The captions the guide names in both languages
// ("**Add / Připoj**") are those of the program's string table. A change to one that is not
// made to the other fails here. The settings examples of the README read as it says.

#include "afportmap.h"
#include "inifile.h"
#include "strtable.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString ReadText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool WriteText(const QString &path, const QString &text)
{
    QFile f(path);
    const QByteArray bytes = text.toUtf8();
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Plain text of an HTML fragment: tags dropped, the entities the help uses decoded.
QString PlainText(QString html)
{
    html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    html.replace(QLatin1String("&ndash;"), QStringLiteral("\u2013"));
    html.replace(QLatin1String("&nbsp;"), QStringLiteral(" "));
    html.replace(QLatin1String("&lt;"), QStringLiteral("<"));
    html.replace(QLatin1String("&gt;"), QStringLiteral(">"));
    html.replace(QLatin1String("&amp;"), QStringLiteral("&"));
    return html.trimmed();
}

QStringList Captures(const QString &text, const QString &pattern)
{
    QStringList r;
    const QRegularExpression re(pattern, QRegularExpression::DotMatchesEverythingOption);
    for (auto it = re.globalMatch(text); it.hasNext();)
        r << it.next().captured(1);
    return r;
}

QStringList HelpSections(const QString &html)
{
    QStringList r;
    for (const QString &h : Captures(html, QStringLiteral("<h2>(.*?)</h2>")))
        r << PlainText(h);
    return r;
}

QSet<QString> HelpCodes(const QString &html)
{
    QSet<QString> r;
    for (const QString &c : Captures(html, QStringLiteral("<code>(.*?)</code>")))
        r << PlainText(c);
    return r;
}

QString Collapsed(const QString &s)
{
    return s.simplified();
}

// A caption as the guide quotes it: without the page's key ("F2 - "), without a trailing
// colon, equals sign or ellipsis, and without the surrounding blanks.
QString BareCaption(QString s)
{
    s = s.simplified();
    s.remove(QRegularExpression(QStringLiteral("^F\\d+ - ")));
    s.remove(QRegularExpression(QStringLiteral("\\s*(:|=|\\.\\.\\.)$")));
    return s.trimmed();
}

// "**English / Czech**" pairs of the guide that are not one entry of the string table.
QStringList CaptionProblems(const QString &guide)
{
    QStringList problems;
    for (const QString &bold : Captures(guide, QStringLiteral("\\*\\*([^*]+)\\*\\*"))) {
        const QStringList pair = bold.simplified().split(QStringLiteral(" / "));
        if (pair.size() != 2)
            continue;
        bool found = false;
        for (int id = 0; id < sStrCount && !found; ++id)
            found = BareCaption(LoadStr(TStrId(id), lsEnglish)) == pair[0] &&
                    BareCaption(LoadStr(TStrId(id), lsCzech)) == pair[1];
        if (!found)
            problems << QStringLiteral("caption not in the program: ") + bold.simplified();
    }
    return problems;
}

// What differs between the guide and the help documents in docsDir; empty when they agree.
QStringList Drift(const QString &docsDir)
{
    QStringList problems;
    const QDir dir(docsDir);
    const QString en = ReadText(dir.filePath(QStringLiteral("Help_Ardemo_EN.html")));
    const QString cz = ReadText(dir.filePath(QStringLiteral("Help_Ardemo_CZ.html")));
    const QString guide = ReadText(dir.filePath(QStringLiteral("guide.md")));
    if (en.isEmpty() || cz.isEmpty() || guide.isEmpty())
        return {QStringLiteral("missing: a help document or the guide")};

    // Sections: numbered 1..n in both helps, the English titles as the guide's headings in
    // the same order, each followed by its Czech title.
    const QStringList enSections = HelpSections(en), czSections = HelpSections(cz);
    if (enSections.size() != czSections.size())
        problems << QStringLiteral("section count: English help %1, Czech help %2")
                        .arg(enSections.size())
                        .arg(czSections.size());
    for (const QStringList *list : {&enSections, &czSections})
        for (int i = 0; i < list->size(); ++i)
            if (!list->at(i).startsWith(QString::number(i + 1) + QStringLiteral(". ")))
                problems << QStringLiteral("section number: ") + list->at(i);
    const QStringList headings = Captures(guide, QStringLiteral("(?:^|\\n)## ([^\\n]*)"));
    if (headings != enSections)
        problems << QStringLiteral("guide headings [%1] differ from the help's sections [%2]")
                        .arg(headings.join(QStringLiteral(" | ")),
                             enSections.join(QStringLiteral(" | ")));
    const QStringList czInGuide =
        Captures(guide, QStringLiteral("\\n## [^\\n]*\\n+\\*Česky: ([^*\\n]*)\\*"));
    if (czInGuide != czSections)
        problems << QStringLiteral("guide's Czech titles [%1] differ from the Czech help [%2]")
                        .arg(czInGuide.join(QStringLiteral(" | ")),
                             czSections.join(QStringLiteral(" | ")));

    // Facts: file names, keys and commands are the same in both helps and all in the guide;
    // every example block of the help is in the guide.
    const QSet<QString> enCodes = HelpCodes(en), czCodes = HelpCodes(cz);
    for (const QString &c : enCodes - czCodes)
        problems << QStringLiteral("only in the English help: ") + c;
    for (const QString &c : czCodes - enCodes)
        problems << QStringLiteral("only in the Czech help: ") + c;
    for (const QString &c : enCodes)
        if (!guide.contains(c))
            problems << QStringLiteral("not in the guide: ") + c;
    const QString flatGuide = Collapsed(guide);
    for (const QString &pre : Captures(en, QStringLiteral("<pre>(.*?)</pre>")))
        if (!flatGuide.contains(Collapsed(PlainText(pre))))
            problems << QStringLiteral("example not in the guide: ") + Collapsed(PlainText(pre));

    problems << CaptionProblems(guide);

    // Screenshots: every picture the guide shows exists, each page in both languages, and no
    // picture lies unused.
    QSet<QString> shown;
    for (const QString &ref : Captures(guide, QStringLiteral("!\\[[^\\]]*\\]\\(([^)\\s]+)\\)"))) {
        if (!QFile::exists(dir.filePath(ref)))
            problems << QStringLiteral("missing picture: ") + ref;
        shown << QDir::cleanPath(ref);
    }
    for (const QString &ref : shown) {
        const QString name = ref.section(QLatin1Char('/'), -1);
        const QString path = ref.left(ref.size() - name.size());
        for (const auto &[from, to] : {std::pair{"en-", "cz-"}, std::pair{"cz-", "en-"}})
            if (name.startsWith(QLatin1String(from)) &&
                !shown.contains(path + QLatin1String(to) + name.mid(3)))
                problems << QStringLiteral("shown in one language only: ") + ref;
    }
    const QDir img(dir.filePath(QStringLiteral("guide/img")));
    for (const QString &png : img.entryList({QStringLiteral("*.png")}, QDir::Files))
        if (!shown.contains(QStringLiteral("guide/img/") + png))
            problems << QStringLiteral("picture not in the guide: ") + png;
    if (shown.isEmpty())
        problems << QStringLiteral("the guide shows no pictures");
    return problems;
}

// The indented example block of the README that begins with the given line, unindented.
QString ReadmeBlock(const QString &firstLine)
{
    const QStringList lines =
        ReadText(QStringLiteral(ARDEMO_DOCS_DIR "/../README.md")).split(QLatin1Char('\n'));
    QStringList block;
    QString previous;
    for (const QString &line : lines) {
        const bool starts =
            previous.trimmed().isEmpty() && line == QStringLiteral("    ") + firstLine;
        previous = line;
        if (block.isEmpty() && !starts)
            continue;
        if (!line.startsWith(QLatin1String("    ")))
            break;
        block << line.mid(4);
    }
    return block.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

bool CopyTree(const QString &from, const QString &to)
{
    const QDir src(from);
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo &fi : src.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + fi.fileName();
        if (fi.isDir() ? !CopyTree(fi.filePath(), target) : !QFile::copy(fi.filePath(), target))
            return false;
    }
    return true;
}

} // namespace

class TestGuide : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_dir.isValid());
    }

    void guideAndHelpAgree()
    {
        const QStringList problems = Drift(QStringLiteral(ARDEMO_DOCS_DIR));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // Each kind of drift, made on a copy of the documents, is reported.
    void driftIsReported_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("report");

        QTest::newRow("guide heading renamed") << "guide.md"
                                               << "## 7. The chart"
                                               << "## 7. The graph"
                                               << "guide headings";
        QTest::newRow("section added to the English help only")
            << "Help_Ardemo_EN.html"
            << "<h2>12. Help and contact</h2>"
            << "<h2>12. Printing</h2><p>x</p><h2>13. Help and contact</h2>"
            << "section count";
        QTest::newRow("Czech section renamed") << "Help_Ardemo_CZ.html"
                                               << "<h2>7. Graf</h2>"
                                               << "<h2>7. Grafy</h2>"
                                               << "Czech titles";
        QTest::newRow("sections out of order") << "Help_Ardemo_CZ.html"
                                               << "<h2>10. Jazyk</h2>"
                                               << "<h2>11. Jazyk</h2>"
                                               << "section number";
        QTest::newRow("file name changed in one help") << "Help_Ardemo_EN.html"
                                                       << "<code>Graf_Dev.csv</code>"
                                                       << "<code>Graph.csv</code>"
                                                       << "only in the English help";
        QTest::newRow("file name changed in the guide") << "guide.md"
                                                        << "`Dev_no3 adr.12.csv`"
                                                        << "`Dev_3_12.csv`"
                                                        << "not in the guide";
        QTest::newRow("example changed in the help") << "Help_Ardemo_EN.html"
                                                     << "COM1=/tmp/lineA"
                                                     << "COM1=/tmp/line1"
                                                     << "example not in the guide";
        QTest::newRow("caption that the program does not have")
            << "guide.md"
            << "**Remove / Odebrat**"
            << "**Delete / Odebrat**"
            << "caption not in the program: Delete / Odebrat";
        QTest::newRow("languages of a caption mixed up")
            << "guide.md"
            << "**Open / Načti**"
            << "**Open / Ulož**"
            << "caption not in the program: Open / Ulož";
        QTest::newRow("picture missing") << "guide.md"
                                         << "guide/img/en-about.png"
                                         << "guide/img/en-about2.png"
                                         << "missing picture";
        QTest::newRow("picture in one language only")
            << "guide.md"
            << "![Stránka O programu, česky](guide/img/cz-about.png)"
            << ""
            << "shown in one language only";
    }

    void driftIsReported()
    {
        QFETCH(QString, file);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, report);
        const QString copy = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())
                                                .replace(QLatin1Char(' '), QLatin1Char('_')));
        QVERIFY(CopyTree(QStringLiteral(ARDEMO_DOCS_DIR), copy));
        QVERIFY2(Drift(copy).isEmpty(), "the copy agrees before it is changed");

        const QString path = copy + QLatin1Char('/') + file;
        QString text = ReadText(path);
        QVERIFY2(text.count(from) == 1, qPrintable(from));
        QVERIFY(WriteText(path, text.replace(from, to)));

        const QStringList problems = Drift(copy);
        QVERIFY2(problems.join(QLatin1Char('\n')).contains(report),
                 qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // The settings file shown in the README gives the program what the README says.
    void readmeSettingsExample()
    {
        const QString ini = m_dir.filePath(QStringLiteral("example.INI"));
        const QString text = ReadmeBlock(QStringLiteral("[Setup]"));
        QVERIFY(text.contains(QLatin1String("Lang=")));
        QVERIFY(WriteText(ini, text));
        const TIniFile file(ini);
        const QString setup = QStringLiteral("Setup");
        QVERIFY(QStringList({QStringLiteral("cz"), QStringLiteral("en")})
                    .contains(file.ReadString(setup, QStringLiteral("Lang"), QString())));
        QVERIFY(file.ReadString(setup, QStringLiteral("Path"), QString()).endsWith(".prg"));
        const int maxX = file.ReadInteger(setup, QStringLiteral("MaxX"), -1);
        const int maxY = file.ReadInteger(setup, QStringLiteral("MaxY"), -1);
        QVERIFY2(maxX >= 5 && maxX <= 300, "MaxX");
        QVERIFY2(maxY >= 1 && maxY <= 1000, "MaxY");
        AfSetPortMapFile(ini);
        QCOMPARE(AfPortDevicePath(1), QByteArray("/dev/ttyUSB0"));
        QCOMPARE(AfPortDevicePath(2), QByteArray("/dev/ttyS1"));
    }

    // The "Ports" example of the README names the devices it says, quoted or not.
    void readmePortsExample()
    {
        const QString ini = m_dir.filePath(QStringLiteral("ports.INI"));
        const QString text = ReadmeBlock(QStringLiteral("[Ports]"));
        QVERIFY(WriteText(ini, text));
        AfSetPortMapFile(ini);
        const QRegularExpression entry(QStringLiteral("^COM(\\d+)=\"?([^\"\\r]+)\"?\\r?$"),
                                       QRegularExpression::MultilineOption);
        int seen = 0;
        for (auto it = entry.globalMatch(text); it.hasNext(); ++seen) {
            const QRegularExpressionMatch m = it.next();
            QCOMPARE(AfPortDevicePath(m.captured(1).toInt()), m.captured(2).toUtf8());
        }
        QVERIFY(seen >= 2);
        QCOMPARE(AfPortDevicePath(15), QByteArray("/dev/ttyS14"));
        AfSetPortMapFile(QString());
    }

    void unusedPictureIsReported()
    {
        const QString copy = m_dir.filePath(QStringLiteral("unused"));
        QVERIFY(CopyTree(QStringLiteral(ARDEMO_DOCS_DIR), copy));
        QVERIFY(QFile::copy(copy + QStringLiteral("/guide/img/en-main.png"),
                            copy + QStringLiteral("/guide/img/en-old.png")));
        QVERIFY(Drift(copy).contains(QStringLiteral("picture not in the guide: en-old.png")));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestGuide)
#include "tst_guide.moc"
