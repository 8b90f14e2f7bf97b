#include "chartfixture.h"
#include "cp1250.h"
#include "export.h"
#include "strtable.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>
#include <unistd.h>

namespace {

QByteArray Contents(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void LoadTexts(TLangSet set)
{
    TextChartValues = LoadStr(sChartValues, set);
    TextValuesOf = LoadStr(sValuesOf, set);
    TextAxisX = LoadStr(sAxisX, set);
    TextAxisY = LoadStr(sAxisY, set);
}

} // namespace

class TstExport : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void noSeriesShownGivesTheTitleOnly();
    void fileNamesCountFromTheSeriesShown_data();
    void fileNamesCountFromTheSeriesShown();
    void pointsInTheLocalesNumberFormat_data();
    void pointsInTheLocalesNumberFormat();
    void hiddenSeriesAreLeftOut();
    void exportThatCannotBeWrittenIsReported();
    void printSetsMarginsAndFillsThePage();

private:
    QStringList m_reports;
};

void TstExport::init()
{
    m_reports.clear();
    ExportErrorReporter = [this](const QString &m) { m_reports << m; };
    ExportFileName.clear();
    LoadTexts(lsCzech);
}

void TstExport::cleanup()
{
    ExportErrorReporter = nullptr;
    LoadTexts(lsNone);
}

void TstExport::noSeriesShownGivesTheTitleOnly()
{
    ChartFixture f;
    f.graf()->Series(0)->AddXY(46000.5, 1, QString(), Qt::red); // hidden: not exported
    ButtSaveGrafClick();
    QCOMPARE(ExportFileName, QStringLiteral("Graf_Dev.csv"));
    QCOMPARE(Contents(ExportFileName), QByteArray("Hodnoty z grafu\r\n"));
    QVERIFY(m_reports.isEmpty());
}

void TstExport::fileNamesCountFromTheSeriesShown_data()
{
    QTest::addColumn<int>("shown");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("none shown") << 0
                                << QStringList{"Graf_Dev.csv", "GrafHodn001.csv",
                                               "GrafHodn002.csv"};
    QTest::newRow("one shown") << 1
                               << QStringList{"Graf_Dev.csv", "GrafHodn002.csv", "GrafHodn003.csv"};
    QTest::newRow("two shown") << 2
                               << QStringList{"Graf_Dev.csv", "GrafHodn003.csv", "GrafHodn004.csv"};
}

void TstExport::fileNamesCountFromTheSeriesShown()
{
    QFETCH(int, shown);
    QFETCH(QStringList, names);
    ChartFixture f;
    for (int k = 0; k < shown; ++k)
        f.graf()->Series(10 + k)->SetActive(true);
    for (const QString &name : names) {
        ButtSaveGrafClick();
        QCOMPARE(ExportFileName, name);
        QVERIFY(QFileInfo::exists(name));
    }
    // More series shown later: the counter starts above their number.
    for (int k = 0; k < 5; ++k)
        f.graf()->Series(20 + k)->SetActive(true);
    ButtSaveGrafClick();
    QCOMPARE(ExportFileName, QStringLiteral("GrafHodn%1.csv").arg(shown + 6, 3, 10, QChar(u'0')));
    QVERIFY(m_reports.isEmpty());
}

void TstExport::pointsInTheLocalesNumberFormat_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("set");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("czech comma") << int(QLocale::Czech) << int(lsCzech)
                                 << QByteArray("Hodnoty z grafu\r\n"
                                               "Hodnoty ze zdroje \xE8.3\r\n"
                                               "Osa X;46000,5;46000,5000115741;46000,50002\r\n"
                                               "Osa Y;12,25;0;-1\r\n");
    QTest::newRow("english point") << int(QLocale::English) << int(lsEnglish)
                                   << QByteArray("Graph's Values\r\n"
                                                 "Values from the device No.3\r\n"
                                                 "Axis X;46000.5;46000.5000115741;46000.50002\r\n"
                                                 "Axis Y;12.25;0;-1\r\n");
}

void TstExport::pointsInTheLocalesNumberFormat()
{
    QFETCH(int, language);
    QFETCH(int, set);
    QFETCH(QByteArray, expected);
    ChartFixture f;
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    LoadTexts(TLangSet(set));
    TChartSeries *s = f.graf()->Series(2);
    s->SetActive(true);
    s->AddXY(46000.5, 12.25, QString(), Qt::red);
    s->AddXY(46000.5 + 1.0 / 86400, 0, QString(), Qt::red);
    s->AddXY(46000.50002, -1, QString(), Qt::red);
    ButtSaveGrafClick();
    QCOMPARE(Contents(ExportFileName), expected);
}

void TstExport::hiddenSeriesAreLeftOut()
{
    ChartFixture f;
    f.graf()->Series(0)->SetActive(true); // shown, no points yet
    f.graf()->Series(1)->AddXY(46000.1, 5, QString(), Qt::red);
    f.graf()->Series(49)->SetActive(true);
    f.graf()->Series(49)->AddXY(46000.25, 230, QString(), Qt::blue);
    ButtSaveGrafClick();
    QCOMPARE(Contents(ExportFileName), QByteArray("Hodnoty z grafu\r\n"
                                                  "Hodnoty ze zdroje \xE8.1\r\n"
                                                  "Osa X\r\n"
                                                  "Osa Y\r\n"
                                                  "Hodnoty ze zdroje \xE8.50\r\n"
                                                  "Osa X;46000,25\r\n"
                                                  "Osa Y;230\r\n"));
}

void TstExport::exportThatCannotBeWrittenIsReported()
{
    ChartFixture f;
    f.graf()->Series(0)->SetActive(true);
    // A working folder that has gone away takes no file, whoever the user is.
    const QString folder = QDir::currentPath();
    QVERIFY(QDir().mkdir(QStringLiteral("gone")));
    QVERIFY(QDir::setCurrent(QStringLiteral("gone")));
    QVERIFY(::rmdir((folder + QStringLiteral("/gone")).toLocal8Bit().constData()) == 0);
    ButtSaveGrafClick();
    QCOMPARE(m_reports.size(), 1);
    QVERIFY(m_reports[0].startsWith(QStringLiteral("Hodnoty grafu nelze uložit do souboru ")));
    QVERIFY(m_reports[0].contains(QStringLiteral("Graf_Dev.csv")));
    LangCode = QStringLiteral("en");
    ButtSaveGrafClick();
    QCOMPARE(m_reports.size(), 2);
    QVERIFY(m_reports[1].startsWith(QStringLiteral("The chart values could not be saved to ")));
    QDir::setCurrent(folder);
}

void TstExport::printSetsMarginsAndFillsThePage()
{
    ChartFixture f;
    f.graf()->SetPrintMargins(10, 10, 10, 10);
    f.graf()->SetPrintProportional(true); // as a previous preview may have left them
    // The preview is modal: look at it and close it as soon as it shows.
    bool previewShown = false;
    QWidget *owner = nullptr;
    QMargins margins;
    bool proportional = true;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            previewShown = true;
            owner = w->parentWidget();
            margins = f.graf()->PrintMargins();
            proportional = f.graf()->PrintProportional();
            w->close();
        }
    });
    closer.start(20);
    ButtPrintClick();
    closer.stop();
    QVERIFY(previewShown);
    QCOMPARE(owner, static_cast<QWidget *>(f.form.get()));
    QCOMPARE(margins, QMargins(3, 3, 3, 3));
    QVERIFY(!proportional);
}

QTEST_MAIN(TstExport)
#include "tst_export.moc"
