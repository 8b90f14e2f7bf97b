#include "simoptions.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace sim;

namespace {

std::vector<std::string> Words(const QStringList &list)
{
    std::vector<std::string> out;
    for (const auto &s : list)
        out.push_back(s.toStdString());
    return out;
}

QString ErrorOf(const QStringList &args)
{
    try {
        ParseArguments(Words(args));
    } catch (const OptionError &e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

} // namespace

class TstSimOptions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void linesAndSources();
    void errors_data();
    void errors();
    void configFiles();

private:
    QString Write(const QString &name, const QByteArray &text)
    {
        QFile f(dir_.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(f.fileName()));
        return f.fileName();
    }

    QTemporaryDir dir_;
};

void TstSimOptions::linesAndSources()
{
    const Options o = ParseArguments(
        Words({"--log", "f.log", "--line", "/tmp/a", "--source", "addr=5", "--source",
               "addr=17,type=PS 12-S,serial=A-7,u=12.5,tol=3,out=1,slew=0,noise=0.5,silent,"
               "delay=250,drop=4,split=3,garbage,nocr,badvolt,badtol",
               "--pace", "--line", "/tmp/b", "--source", "addr=5"}));
    QCOMPARE(o.logPath, std::string("f.log"));
    QVERIFY(o.pace && !o.help);
    QCOMPARE(o.lines.size(), std::size_t(2));
    QCOMPARE(o.lines[1].path, std::string("/tmp/b")); // the same address on another line
    QCOMPARE(o.lines[0].sources.size(), std::size_t(2));
    const SourceConfig &d = o.lines[0].sources[0];
    QCOMPARE(d.type, std::string("ZDR300-S"));
    QCOMPARE(SimSource(d).Config().serial, std::string("1005"));
    QVERIFY(d.voltage == 0 && d.tolerance == 1 && !d.output && d.slew == 100 && d.noise == 0);
    QVERIFY(!d.faults.silent && !d.faults.garbage && !d.faults.noCr && !d.faults.badVolt);
    QVERIFY(d.faults.delayMs == 0 && d.faults.dropEvery == 0 && d.faults.splitParts == 1);
    const SourceConfig &s = o.lines[0].sources[1];
    QCOMPARE(s.address, 17);
    QCOMPARE(s.type, std::string("PS 12-S"));
    QCOMPARE(s.serial, std::string("A-7"));
    QVERIFY(s.voltage == 12.5 && s.tolerance == 3 && s.output && s.slew == 0 && s.noise == 0.5);
    QVERIFY(s.faults.silent && s.faults.garbage && s.faults.noCr);
    QVERIFY(s.faults.badVolt && s.faults.badTol);
    QVERIFY(s.faults.delayMs == 250 && s.faults.dropEvery == 4 && s.faults.splitParts == 3);
    // Help is answered even when the rest would not parse.
    QVERIFY(ParseArguments(Words({"--bogus", "-h"})).help);
}

void TstSimOptions::errors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QStringList x = {"--line", "x", "--source"};
    QTest::newRow("nothing") << QStringList{} << "no --line given";
    QTest::newRow("source first") << QStringList{"--source", "addr=1", "--line", "x"}
                                  << "comes before any --line";
    QTest::newRow("option for a path") << QStringList{"--line", "--pace"} << "--line needs a path";
    QTest::newRow("unknown option")
        << QStringList{"--line", "x", "--fast"} << "unknown option \"--fast\"";
    QTest::newRow("same path twice")
        << QStringList{"--line", "x", "--line", "x"} << "--line x given twice";
    QTest::newRow("same address twice")
        << x + QStringList{"addr=3", "--source", "addr=3"} << "address 3 twice on line x";
    QTest::newRow("address missing") << x + QStringList{"u=5"} << "addr is required";
    QTest::newRow("address too high")
        << x + QStringList{"addr=32"} << "addr must be a whole number from 0 to 31";
    QTest::newRow("tolerance two digits")
        << x + QStringList{"addr=1,tol=10"} << "tol must be a whole number from 0 to 9";
    QTest::newRow("decimal comma") << x + QStringList{"addr=1,u=12,5"} << "unknown item \"5\"";
    QTest::newRow("negative slew")
        << x + QStringList{"addr=1,slew=-1"} << "slew must be a number of volts, not negative";
    QTest::newRow("flag with value")
        << x + QStringList{"addr=1,silent=1"} << "silent takes no value";
    QTest::newRow("type with CR") << x + QStringList{"addr=1,type=A\rB"}
                                  << "type must be non-empty printable text";
    QTest::newRow("key twice") << x + QStringList{"addr=1,u=2,u=3"} << "\"u\" given twice";
    QTest::newRow("missing config") << QStringList{"--config", "/nonexistent/sim.conf"}
                                    << "cannot read configuration file /nonexistent/sim.conf";
}

void TstSimOptions::errors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const QString error = ErrorOf(args);
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TstSimOptions::configFiles()
{
    QVERIFY(dir_.isValid());
    const QString inner = Write("inner.conf", "--source addr=9 # the ninth\n");
    const QString conf =
        Write("sim.conf", "# two lines\r\n--log f.log --pace\r\n"
                          "--line /tmp/la   --source addr=1,u=12 # first\n"
                          "\t--source addr=2\n--config " +
                              inner.toUtf8() + "\n#--line /tmp/commented\n--line /tmp/lb\n");
    const Options o =
        ParseArguments(Words({"--config", conf, "--source", "addr=4", "--line", "/tmp/lc"}));
    QVERIFY(o.pace && o.logPath == "f.log");
    QCOMPARE(o.lines.size(), std::size_t(3));
    QCOMPARE(o.lines[0].sources.size(), std::size_t(3)); // 1, 2 and 9 from the inner file
    QCOMPARE(o.lines[0].sources[0].voltage, 12.0);
    QCOMPARE(o.lines[0].sources[2].address, 9);
    // The command line goes on with the last line the file opened.
    QCOMPARE(o.lines[1].path, std::string("/tmp/lb"));
    QCOMPARE(o.lines[1].sources.at(0).address, 4);

    // Errors name the file they stand in; a file that reads itself does not loop.
    const QString bad = Write("bad.conf", "--line /tmp/x\n--source addr=40\n");
    QString error = ErrorOf({"--config", bad});
    QVERIFY2(error.startsWith(bad + ": source \"addr=40\": addr must be"), qPrintable(error));
    const QString loop = dir_.filePath("loop.conf");
    Write("loop.conf", "--config " + loop.toUtf8() + "\n");
    error = ErrorOf({"--config", loop});
    QVERIFY2(error == loop + ": configuration files nest too deeply at " + loop, qPrintable(error));
}

QTEST_GUILESS_MAIN(TstSimOptions)
#include "tst_simoptions.moc"
