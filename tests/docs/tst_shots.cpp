// The screenshot taker of the user guide, run as scripts/screenshots.sh runs it (shorter):
// it must connect its sources through the dialog, grab every picture the guide shows, and
// hand over program, recording and export files in the formats the README describes.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray ReadBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Lines of a file that must end every line with CR LF; fails the test otherwise.
QList<QByteArray> CrLfLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &l : lines) {
        if (!l.endsWith('\r'))
            return {};
        l.chop(1);
    }
    return lines;
}

int DistinctColours(const QImage &img)
{
    QSet<QRgb> seen;
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3)
            seen.insert(img.pixel(x, y));
    return int(seen.size());
}

} // namespace

class TestShots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_dir.isValid());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ARDEMO_SHOTS_RUN_MS"), QStringLiteral("3000"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_dir.path());
        p.start(QStringLiteral(ARDEMO_SHOTS),
                {QStringLiteral("en"), m_dir.filePath(QStringLiteral("img")),
                 m_dir.filePath(QStringLiteral("examples"))});
        QVERIFY(p.waitForFinished(90000));
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, err.constData());
        QVERIFY2(!err.contains("ardemo-shots:"), err.constData());
    }

    // Every English picture the guide shows is taken, has content and the size of its
    // window; the Czech ones come from the same code with the other language.
    void picturesOfTheGuide()
    {
        const QString guide =
            QString::fromUtf8(ReadBytes(QStringLiteral(ARDEMO_DOCS_DIR "/guide.md")));
        QVERIFY(!guide.isEmpty());
        const QRegularExpression ref(QStringLiteral("\\(guide/img/en-([a-z0-9-]+)\\.png\\)"));
        QStringList pages;
        for (auto it = ref.globalMatch(guide); it.hasNext();)
            pages << it.next().captured(1);
        QVERIFY(pages.size() >= 7);

        QSize window;
        for (const QString &page : pages) {
            const QImage img(m_dir.filePath(QStringLiteral("img/en-%1.png").arg(page)));
            QVERIFY2(!img.isNull(), qPrintable(page));
            QVERIFY2(DistinctColours(img) > 8, qPrintable(page + QStringLiteral(" is blank")));
            if (page == QLatin1String("connect") || page == QLatin1String("program")) {
                QVERIFY2(img.width() < 600 && img.height() < 600, qPrintable(page));
            } else {
                if (!window.isValid())
                    window = img.size();
                // The main window's pages all show the whole window at one size.
                QCOMPARE(img.size(), window);
                QVERIFY(window.width() >= 800 && window.height() >= 600);
            }
        }
    }

    void programFile()
    {
        const QList<QByteArray> lines =
            CrLfLines(ReadBytes(m_dir.filePath(QStringLiteral("examples/ramp.prg"))));
        QCOMPARE(lines.size(), 256);
        QCOMPARE(lines[0], QByteArray("0/0/0/0"));
        QCOMPARE(lines[1], QByteArray("1/4/40/2"));
        QCOMPARE(lines[4], QByteArray("4/4/220/1"));
        for (int i = 5; i < 256; ++i)
            QCOMPARE(lines[i], QByteArray::number(i) + "/0/0/0");
    }

    void recordingFile()
    {
        const QList<QByteArray> lines =
            CrLfLines(ReadBytes(m_dir.filePath(QStringLiteral("examples/Dev_no2 adr.5.csv"))));
        QVERIFY(lines.size() >= 2);
        QCOMPARE(lines[0], QByteArray("Zdroj \xE8.2 adr.5")); // CP1250 c with caron
        QCOMPARE(lines[1], QByteArray("Datum a \xE8"
                                      "as;U [V];Uset [V]"));
        const QRegularExpression row(QStringLiteral(
            "^\\d{1,2}:\\d{1,2}:\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3};-?\\d+;-?\\d+$"));
        for (int i = 2; i < lines.size(); ++i)
            QVERIFY2(row.match(QString::fromLatin1(lines[i])).hasMatch(), lines[i].constData());
    }

    // The chart's values: a title, then per plotted source its number, the times and the
    // voltages, as many of each, the times rising.
    void exportFile()
    {
        const QList<QByteArray> lines =
            CrLfLines(ReadBytes(m_dir.filePath(QStringLiteral("examples/Graf_Dev.csv"))));
        QCOMPARE(lines.size(), 1 + 6 * 3);
        QCOMPARE(lines[0], QByteArray("Graph's Values"));
        for (int k = 0; k < 6; ++k) {
            QCOMPARE(lines[1 + 3 * k], "Values from the device No." + QByteArray::number(k + 1));
            const QList<QByteArray> xs = lines[2 + 3 * k].split(';');
            const QList<QByteArray> ys = lines[3 + 3 * k].split(';');
            QCOMPARE(xs.first(), QByteArray("Axis X"));
            QCOMPARE(ys.first(), QByteArray("Axis Y"));
            QCOMPARE(xs.size(), ys.size());
            QVERIFY(xs.size() >= 3);
            double last = 0;
            for (int i = 1; i < xs.size(); ++i) {
                bool ok = false;
                const double x = xs[i].toDouble(&ok);
                QVERIFY2(ok && x > last && x > 40000 && x < 80000, xs[i].constData());
                last = x;
                ys[i].toDouble(&ok);
                QVERIFY2(ok, ys[i].constData());
            }
        }
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestShots)
#include "tst_shots.moc"
