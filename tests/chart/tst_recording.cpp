#include "chartfixture.h"
#include "cp1250.h"
#include "panelview.h"
#include "recording.h"
#include "strtable.h"

#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace {

const QByteArray Header3_12("Zdroj \xE8.3 adr.12\r\nDatum a \xE8"
                            "as;U [V];Uset [V]\r\n");

QByteArray Contents(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QList<QByteArray> Rows(const QString &name)
{
    QList<QByteArray> lines = Contents(name).split('\n');
    lines.removeLast(); // after the last line end
    return lines;
}

// What the reply parser does with a voltage reading while the box is ticked.
void Reading(int slot, double u)
{
    TDevice &d = Devices[slot];
    d.UPrev = d.U;
    d.U = u;
    if (d.CheckBox1->isChecked() && d.U != d.UPrev)
        WriteRecordRow(slot);
}

} // namespace

class TstRecording : public QObject
{
    Q_OBJECT
private slots:
    void namesTakeACounterWhenTaken();
    void headerLinesInTheCodePage();
    void rowText_data();
    void rowText();
    void onlyChangedReadingsWriteRows();
    void rowsCarryTheRequestedVoltage();
    void twoSourcesWriteTheirOwnFiles();
    void deletedFileIsRecreatedWithoutHeader();
    void recordBoxStartsANewFileEachTime();
    void unwritableFolderIsShownAndRetried();
};

void TstRecording::namesTakeACounterWhenTaken()
{
    ChartFixture f;
    f.connect(3, 12);
    f.connect(10, 0);
    const QStringList expected{QStringLiteral("Dev_no3 adr.12.csv"),
                               QStringLiteral("Dev_no3 adr.12_001.csv"),
                               QStringLiteral("Dev_no3 adr.12_002.csv")};
    for (const QString &name : expected) {
        StartRecording(3);
        QCOMPARE(Devices[3].RecFile, name);
        QCOMPARE(Contents(name), Header3_12);
    }
    // A gap left by a deleted file is filled first.
    QFile::remove(expected[1]);
    StartRecording(3);
    QCOMPARE(Devices[3].RecFile, expected[1]);

    StartRecording(10);
    QCOMPARE(Devices[10].RecFile, QStringLiteral("Dev_no10 adr.0.csv"));
    QVERIFY(!RecordFailing(3));
    QVERIFY(!RecordFailing(10));
}

void TstRecording::headerLinesInTheCodePage()
{
    ChartFixture f;
    f.connect(3, 12);
    for (const char *lang : {"en", "cz"}) {
        LangCode = QLatin1String(lang); // the header is the same in both languages
        StartRecording(3);
        const QByteArray bytes = Contents(Devices[3].RecFile);
        QCOMPARE(bytes, Header3_12);
        QCOMPARE(uchar(bytes.at(6)), uchar(0xE8));
        QCOMPARE(FromCp1250(bytes).split(QStringLiteral("\r\n")).at(1),
                 QStringLiteral("Datum a čas;U [V];Uset [V]"));
    }
}

void TstRecording::rowText_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<double>("u");
    QTest::addColumn<double>("uset");
    QTest::addColumn<QString>("row");
    const QDateTime t(QDate(2026, 12, 6), QTime(22, 8, 56, 123));
    QTest::newRow("worked example") << t << 120.0 << 0.0 << "6:12:2026 22:08:56.123;120;0";
    QTest::newRow("no leading zeros in the date") << QDateTime(QDate(2027, 2, 1), QTime(3, 4, 5, 6))
                                                  << 5.0 << 5.0 << "1:2:2027 03:04:05.006;5;5";
    QTest::newRow("midnight") << QDateTime(QDate(2026, 1, 31), QTime(0, 0)) << 0.0 << 0.0
                              << "31:1:2026 00:00:00.000;0;0";
    QTest::newRow("1.7 rounds up") << t << 1.7 << 12.0 << "6:12:2026 22:08:56.123;2;12";
    QTest::newRow("0.4 rounds down") << t << 0.4 << 0.0 << "6:12:2026 22:08:56.123;0;0";
    QTest::newRow("half away from zero") << t << 2.5 << -2.5 << "6:12:2026 22:08:56.123;3;-3";
    QTest::newRow("unreadable reply") << t << -1.0 << 30.0 << "6:12:2026 22:08:56.123;-1;30";
    QTest::newRow("no thousands separator")
        << t << 1000.4 << 999.5 << "6:12:2026 22:08:56.123;1000;1000";
}

void TstRecording::rowText()
{
    QFETCH(QDateTime, when);
    QFETCH(double, u);
    QFETCH(double, uset);
    QFETCH(QString, row);
    for (QLocale::Language lang : {QLocale::Czech, QLocale::English}) {
        QLocale::setDefault(QLocale(lang));
        QCOMPARE(RecordRowText(when, u, uset), row);
    }
    QLocale::setDefault(QLocale::c());
}

void TstRecording::onlyChangedReadingsWriteRows()
{
    ChartFixture f;
    f.connect(3, 12);
    Devices[3].CheckBox1->setChecked(false);
    Reading(3, 119); // before recording: nothing
    Devices[3].CheckBox1->setChecked(true);
    StartRecording(3);
    Devices[3].USet = 120;
    for (double u : {120.0, 120.0, 121.0}) {
        Reading(3, u);
        f.advance(250);
    }
    const QList<QByteArray> rows = Rows(Devices[3].RecFile);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[2], QByteArray("6:12:2026 22:08:56.123;120;120\r"));
    QCOMPARE(rows[3], QByteArray("6:12:2026 22:08:56.623;121;120\r"));
    // An unreadable reply after a good one is a change too.
    Reading(3, -1);
    Reading(3, -1);
    QCOMPARE(Rows(Devices[3].RecFile).size(), 5);
    QVERIFY(Rows(Devices[3].RecFile).at(4).endsWith(";-1;120\r"));
}

void TstRecording::rowsCarryTheRequestedVoltage()
{
    ChartFixture f;
    f.connect(5, 1);
    Devices[5].CheckBox1->setChecked(true);
    StartRecording(5);
    Devices[5].U = 47.6;
    // The SET button with an empty entry asks for 0 V; then a program steps 10, 20, end 0.
    for (double uset : {0.0, 10.0, 20.0, 0.0}) {
        Devices[5].USet = uset;
        WriteRecordRow(5);
        f.advance(1000);
    }
    const QList<QByteArray> rows = Rows(Devices[5].RecFile);
    QCOMPARE(rows.size(), 6);
    QCOMPARE(rows[2], QByteArray("6:12:2026 22:08:56.123;48;0\r"));
    QCOMPARE(rows[3], QByteArray("6:12:2026 22:08:57.123;48;10\r"));
    QCOMPARE(rows[4], QByteArray("6:12:2026 22:08:58.123;48;20\r"));
    QCOMPARE(rows[5], QByteArray("6:12:2026 22:08:59.123;48;0\r"));
}

void TstRecording::twoSourcesWriteTheirOwnFiles()
{
    ChartFixture f;
    f.connect(1, 7);
    f.connect(2, 31);
    StartRecording(1);
    StartRecording(2);
    Devices[1].U = 10;
    Devices[2].U = 20;
    WriteRecordRow(2);
    WriteRecordRow(1);
    WriteRecordRow(2);
    QCOMPARE(Devices[1].RecFile, QStringLiteral("Dev_no1 adr.7.csv"));
    QCOMPARE(Devices[2].RecFile, QStringLiteral("Dev_no2 adr.31.csv"));
    QCOMPARE(Rows(Devices[1].RecFile).size(), 3);
    QCOMPARE(Rows(Devices[2].RecFile).size(), 4);
    QVERIFY(Contents(Devices[2].RecFile).startsWith("Zdroj \xE8.2 adr.31\r\n"));
    QVERIFY(Rows(Devices[2].RecFile).at(3).endsWith(";20;0\r"));
}

void TstRecording::deletedFileIsRecreatedWithoutHeader()
{
    ChartFixture f;
    f.connect(3, 12);
    StartRecording(3);
    QVERIFY(QFile::remove(Devices[3].RecFile));
    Devices[3].U = 5;
    WriteRecordRow(3);
    QCOMPARE(Contents(Devices[3].RecFile), QByteArray("6:12:2026 22:08:56.123;5;0\r\n"));

    // A box ticked without its click has no file yet: the first row starts one.
    f.connect(4, 2);
    WriteRecordRow(4);
    QCOMPARE(Devices[4].RecFile, QStringLiteral("Dev_no4 adr.2.csv"));
    QCOMPARE(Rows(Devices[4].RecFile).size(), 3);
}

void TstRecording::recordBoxStartsANewFileEachTime()
{
    ChartFixture f;
    f.connect(3, 12);
    f.connect(8, 12);
    TCheckBox *box = Devices[3].CheckBox1;
    box->OnClick = CheckBox1Click;
    Devices[8].CheckBox1->OnClick = CheckBox1Click;
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    box->show();
    const QPoint mark(6, box->height() / 2);
    QTest::mouseClick(box, Qt::LeftButton, {}, mark); // tick
    QCOMPARE(Devices[3].RecFile, QStringLiteral("Dev_no3 adr.12.csv"));
    QTest::mouseClick(box, Qt::LeftButton, {}, mark); // untick: nothing new
    QVERIFY(!box->isChecked());
    QCOMPARE(Devices[3].RecFile, QStringLiteral("Dev_no3 adr.12.csv"));
    QTest::mouseClick(box, Qt::LeftButton, {}, mark); // tick again
    QCOMPARE(Devices[3].RecFile, QStringLiteral("Dev_no3 adr.12_001.csv"));
    QCOMPARE(Contents(Devices[3].RecFile), Header3_12);
    QVERIFY(Devices[8].RecFile.isEmpty()); // the other source was not touched

    // A box of a removed source finds no slot and starts nothing.
    Devices[3].Used = false;
    QTest::mouseClick(box, Qt::LeftButton, {}, mark);
    QTest::mouseClick(box, Qt::LeftButton, {}, mark);
    QVERIFY(!QFileInfo::exists(QStringLiteral("Dev_no3 adr.12_002.csv")));
}

void TstRecording::unwritableFolderIsShownAndRetried()
{
    ChartFixture f;
    f.connect(3, 12);
    TCheckBox *box = Devices[3].CheckBox1;
    box->setToolTip(LoadStr(sRecordHint, lsCzech));
    const QColor normalText = box->palette().color(QPalette::WindowText);
    const QString folder = QDir::currentPath();

    // A folder that refuses new files: read-only, or (where the user may write anyway,
    // as root does) a working folder that no longer exists.
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bool removedFolder = false;
    {
        QFile probe(QStringLiteral("probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.close();
            probe.remove();
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
            QVERIFY(QDir().mkdir(QStringLiteral("gone")));
            QVERIFY(QDir::setCurrent(QStringLiteral("gone")));
            QVERIFY(::rmdir((folder + QStringLiteral("/gone")).toLocal8Bit().constData()) == 0);
            removedFolder = true;
        }
    }

    StartRecording(3);
    DrawDirtyPanels();
    QVERIFY(RecordFailing(3));
    QCOMPARE(box->palette().color(QPalette::WindowText), QColor(Qt::red));
    QVERIFY(box->toolTip().startsWith(QStringLiteral("Záznam nelze zapsat: ")));
    QVERIFY(box->toolTip().endsWith(QStringLiteral("Dev_no3 adr.12.csv")));
    WriteRecordRow(3); // still failing, still tried
    DrawDirtyPanels();
    QVERIFY(RecordFailing(3));
    LangCode = QStringLiteral("en");
    WriteRecordRow(3);
    DrawDirtyPanels();
    QVERIFY(box->toolTip().startsWith(QStringLiteral("Cannot write the record: ")));

    // The folder becomes writable again: the next row gets through and the mark goes.
    if (removedFolder) {
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/gone")));
        QVERIFY(QDir::setCurrent(folder + QStringLiteral("/gone")));
    } else {
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    Devices[3].U = 9;
    WriteRecordRow(3);
    DrawDirtyPanels();
    QVERIFY(!RecordFailing(3));
    QCOMPARE(box->palette().color(QPalette::WindowText), normalText);
    QCOMPARE(box->toolTip(), LoadStr(sRecordHint, lsEnglish));
    QCOMPARE(Contents(Devices[3].RecFile), QByteArray("6:12:2026 22:08:56.123;9;0\r\n"));
}

QTEST_MAIN(TstRecording)
#include "tst_recording.moc"
