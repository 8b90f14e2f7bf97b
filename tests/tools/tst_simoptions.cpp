#include "simoptions.h"

#include <QDir>
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
    void init() { QVERIFY(dir_.isValid()); }
    void linesAndSources();
    void sourceItems();
    void defaultsOfASource();
    void errors_data();
    void errors();
    void configFile();
    void configErrorsNameTheFile();
    void configWords();
    void help();
    void usageDocumentsEveryItem();

private:
    QString Write(const QString &name, const QByteArray &text)
    {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QTemporaryDir dir_;
};

void TstSimOptions::linesAndSources()
{
    const Options o =
        ParseArguments(Words({"--log", "frames.log", "--line", "/tmp/a", "--source", "addr=1",
                              "--source", "addr=2", "--pace", "--line", "/tmp/b", "--source",
                              "addr=31,type=ZDR150,serial=99", "--line", "/tmp/c"}));
    QCOMPARE(o.logPath, std::string("frames.log"));
    QVERIFY(o.pace);
    QVERIFY(!o.help);
    QCOMPARE(o.lines.size(), std::size_t(3));
    QCOMPARE(o.lines[0].path, std::string("/tmp/a"));
    QCOMPARE(o.lines[0].sources.size(), std::size_t(2));
    QCOMPARE(o.lines[0].sources[1].address, 2);
    QCOMPARE(o.lines[1].sources.size(), std::size_t(1));
    QCOMPARE(o.lines[1].sources[0].type, std::string("ZDR150"));
    QCOMPARE(o.lines[1].sources[0].serial, std::string("99"));
    QVERIFY(o.lines[2].sources.empty()); // a line with nobody on it is allowed
    // The same address on different lines is fine.
    QVERIFY(ErrorOf({"--line", "x", "--source", "addr=1", "--line", "y", "--source", "addr=1"})
                .isEmpty());
}

void TstSimOptions::sourceItems()
{
    const SourceConfig s = ParseSourceSpec("addr=17,type=PS-X 12-S,serial=A-7,u=12.5,tol=3,"
                                           "out=1,slew=0,noise=0.5,silent,delay=250,drop=4,"
                                           "split=3,garbage,nocr,badvolt,badtol");
    QCOMPARE(s.address, 17);
    QCOMPARE(s.type, std::string("PS-X 12-S"));
    QCOMPARE(s.serial, std::string("A-7"));
    QCOMPARE(s.voltage, 12.5);
    QCOMPARE(s.tolerance, 3);
    QVERIFY(s.output);
    QCOMPARE(s.slew, 0.0);
    QCOMPARE(s.noise, 0.5);
    QVERIFY(s.faults.silent);
    QCOMPARE(s.faults.delayMs, 250);
    QCOMPARE(s.faults.dropEvery, 4);
    QCOMPARE(s.faults.splitParts, 3);
    QVERIFY(s.faults.garbage);
    QVERIFY(s.faults.noCr);
    QVERIFY(s.faults.badVolt);
    QVERIFY(s.faults.badTol);
    // A negative start voltage is taken, and clamped by the source like a set value.
    QCOMPARE(ParseSourceSpec("addr=0,u=-4").voltage, -4.0);
    QCOMPARE(SimSource(ParseSourceSpec("addr=0,u=-4")).SetVoltage(), 0.0);
}

void TstSimOptions::defaultsOfASource()
{
    const SourceConfig s = ParseSourceSpec("addr=5");
    const SourceConfig d;
    QCOMPARE(s.address, 5);
    QCOMPARE(s.type, std::string("ZDR300-S"));
    QCOMPARE(s.voltage, 0.0);
    QCOMPARE(s.tolerance, 1);
    QVERIFY(!s.output);
    QCOMPARE(s.slew, 100.0);
    QCOMPARE(s.noise, 0.0);
    QVERIFY(!s.faults.silent && !s.faults.garbage && !s.faults.noCr);
    QVERIFY(!s.faults.badVolt && !s.faults.badTol);
    QCOMPARE(s.faults.delayMs, d.faults.delayMs);
    QCOMPARE(s.faults.dropEvery, 0);
    QCOMPARE(s.faults.splitParts, 1);
    SimSource source(s);
    QCOMPARE(source.Config().serial, std::string("1005"));
    QVERIFY(source.CanStabilise());
}

void TstSimOptions::errors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList{} << "no --line given";
    QTest::newRow("source first") << QStringList{"--source", "addr=1", "--line", "x"}
                                  << "comes before any --line";
    QTest::newRow("line without path") << QStringList{"--line"} << "--line needs a path";
    QTest::newRow("line followed by option")
        << QStringList{"--line", "--pace"} << "--line needs a path";
    QTest::newRow("log without file")
        << QStringList{"--line", "x", "--log"} << "--log needs a file name";
    QTest::newRow("two logs") << QStringList{"--log", "a", "--log", "b", "--line", "x"}
                              << "--log given twice";
    QTest::newRow("unknown option")
        << QStringList{"--line", "x", "--fast"} << "unknown option \"--fast\"";
    QTest::newRow("same path twice")
        << QStringList{"--line", "x", "--line", "x"} << "--line x given twice";
    QTest::newRow("same address twice")
        << QStringList{"--line", "x", "--source", "addr=3", "--source", "addr=3,u=5"}
        << "address 3 twice on line x";
    QTest::newRow("address missing")
        << QStringList{"--line", "x", "--source", "u=5"} << "addr is required";
    QTest::newRow("address too high") << QStringList{"--line", "x", "--source", "addr=32"}
                                      << "addr must be a whole number from 0 to 31";
    QTest::newRow("address hex") << QStringList{"--line", "x", "--source", "addr=0x1"}
                                 << "addr must be a whole number from 0 to 31";
    QTest::newRow("tolerance two digits") << QStringList{"--line", "x", "--source", "addr=1,tol=10"}
                                          << "tol must be a whole number from 0 to 9";
    QTest::newRow("voltage not a number")
        << QStringList{"--line", "x", "--source", "addr=1,u=12V"} << "u must be a number of volts";
    QTest::newRow("voltage with comma")
        << QStringList{"--line", "x", "--source", "addr=1,u=12,5"} << "unknown item \"5\"";
    QTest::newRow("negative slew") << QStringList{"--line", "x", "--source", "addr=1,slew=-1"}
                                   << "slew must be a number of volts, not negative";
    QTest::newRow("out 2") << QStringList{"--line", "x", "--source", "addr=1,out=2"}
                           << "out must be a whole number from 0 to 1";
    QTest::newRow("drop 0") << QStringList{"--line", "x", "--source", "addr=1,drop=0"}
                            << "drop must be a whole number from 1";
    QTest::newRow("flag with value")
        << QStringList{"--line", "x", "--source", "addr=1,silent=1"} << "silent takes no value";
    QTest::newRow("value missing")
        << QStringList{"--line", "x", "--source", "addr=1,delay"} << "delay needs a value";
    QTest::newRow("empty type") << QStringList{"--line", "x", "--source", "addr=1,type="}
                                << "type must be non-empty printable text";
    QTest::newRow("type with CR") << QStringList{"--line", "x", "--source", "addr=1,type=A\rB"}
                                  << "type must be non-empty printable text";
    QTest::newRow("empty item") << QStringList{"--line", "x", "--source", "addr=1,,u=2"}
                                << "empty item";
    QTest::newRow("key twice") << QStringList{"--line", "x", "--source", "addr=1,u=2,u=3"}
                               << "\"u\" given twice";
    QTest::newRow("unknown item") << QStringList{"--line", "x", "--source", "addr=1,volts=3"}
                                  << "unknown item \"volts\"";
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

void TstSimOptions::configFile()
{
    const QString inner = Write("inner.conf", "--source addr=9 # the ninth\n");
    const QString conf =
        Write("sim.conf", "# two lines of sources\r\n"
                          "--log frames.log --pace\r\n"
                          "--line /tmp/la   --source addr=1,u=12   # first source\n"
                          "\t--source addr=2\n"
                          "--config " +
                              inner.toUtf8() +
                              "\n"
                              "#--line /tmp/commented\n"
                              "--line /tmp/lb\n");
    const Options o =
        ParseArguments(Words({"--config", conf, "--source", "addr=4", "--line", "/tmp/lc"}));
    QCOMPARE(o.logPath, std::string("frames.log"));
    QVERIFY(o.pace);
    QCOMPARE(o.lines.size(), std::size_t(3));
    QCOMPARE(o.lines[0].path, std::string("/tmp/la"));
    QCOMPARE(o.lines[0].sources.size(), std::size_t(3)); // 1, 2 and 9 from the inner file
    QCOMPARE(o.lines[0].sources[0].voltage, 12.0);
    QCOMPARE(o.lines[0].sources[2].address, 9);
    // The command line continues on the last line the file opened.
    QCOMPARE(o.lines[1].path, std::string("/tmp/lb"));
    QCOMPARE(o.lines[1].sources.size(), std::size_t(1));
    QCOMPARE(o.lines[1].sources[0].address, 4);
    QCOMPARE(o.lines[2].path, std::string("/tmp/lc"));
}

void TstSimOptions::configErrorsNameTheFile()
{
    const QString conf = Write("bad.conf", "--line /tmp/x\n--source addr=40\n");
    QString error = ErrorOf({"--config", conf});
    QVERIFY2(error.startsWith(conf + ": "), qPrintable(error));
    QVERIFY2(error.contains("addr must be"), qPrintable(error));

    // A file that reads itself does not loop for ever.
    const QString loop = dir_.filePath("loop.conf");
    Write("loop.conf", "--config " + loop.toUtf8() + "\n");
    error = ErrorOf({"--config", loop});
    QVERIFY2(error.contains("nest too deeply"), qPrintable(error));
}

void TstSimOptions::configWords()
{
    QCOMPARE(ConfigWords("  a\tb\r\nc # d e\n#f\ng#h i\n"),
             (std::vector<std::string>{"a", "b", "c", "g"}));
    QVERIFY(ConfigWords("").empty());
    QVERIFY(ConfigWords("# only a comment").empty());
}

void TstSimOptions::help()
{
    QVERIFY(ParseArguments(Words({"--help"})).help);
    QVERIFY(ParseArguments(Words({"-h", "--line", "x"})).help);
    // Asking for help with an otherwise broken command line still gets the help.
    QVERIFY(ParseArguments(Words({"--bogus", "--help"})).help);
}

void TstSimOptions::usageDocumentsEveryItem()
{
    const QString usage = QString::fromStdString(UsageText());
    for (const char *word :
         {"--line PATH", "--source SPEC", "--log FILE", "--pace", "--config FILE", "addr=N",
          "type=TEXT",   "serial=TEXT",   "u=V",        "tol=D",  "out=0|1",       "slew=V",
          "noise=V",     "silent",        "delay=MS",   "drop=N", "split=N",       "garbage",
          "nocr",        "badvolt",       "badtol"}) {
        QVERIFY2(usage.contains(QLatin1String(word)), word);
    }
}

QTEST_GUILESS_MAIN(TstSimOptions)
#include "tst_simoptions.moc"
