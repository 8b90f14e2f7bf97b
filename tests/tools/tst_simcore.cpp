#include "simcore.h"

#include <QLocale>
#include <QTest>

using namespace sim;

Q_DECLARE_METATYPE(sim::Command)
Q_DECLARE_METATYPE(sim::FrameStatus)

namespace {

SourceConfig Source(int address)
{
    SourceConfig c;
    c.address = address;
    return c;
}

// The reply a source gives to a request, as one string; empty when it sends nothing.
std::string Ask(SimSource &s, Command command, const std::string &value, std::int64_t nowMs = 0)
{
    const auto reply = s.Answer({s.Address(), command, value}, nowMs);
    if (!reply)
        return "<ignored>";
    std::string sent;
    for (const auto &w : reply->writes)
        sent += w.bytes;
    return sent;
}

Command CommandOf(const QString &text)
{
    for (Command c : {Command::Id, Command::Nap, Command::Out, Command::Sta, Command::Tol}) {
        if (text == QLatin1String(CommandText(c)))
            return c;
    }
    qFatal("unknown command %s", qPrintable(text));
}

QString Q(const std::string &s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

} // namespace

class TstSimCore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void workedFrames_data();
    void workedFrames();
    void rejectedFrames_data();
    void rejectedFrames();
    void assembly();
    void queriesAndSets_data();
    void queriesAndSets();
    void senselessValuesIgnored_data();
    void senselessValuesIgnored();
    void voltageLimits_data();
    void voltageLimits();
    void slewing();
    void outputOffReadsZero();
    void noiseAndStabilisation();
    void stabilisingTypes_data();
    void stabilisingTypes();
    void silentSource();
    void delayAndSplit();
    void dropEveryNth();
    void garbageAndNoCr();
    void badFields();
    void lineAnswersOnlyItsAddresses();
    void logLines();
};

void TstSimCore::workedFrames_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<sim::Command>("command");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("frame");
    QTest::newRow("identification 1") << 1 << Command::Id << "?"
                                      << "@01ID?2D\r";
    QTest::newRow("voltage query 5") << 5 << Command::Nap << "???"
                                     << "@05NAP???01\r";
    QTest::newRow("set 12 V at 10") << 10 << Command::Nap << "012"
                                    << "@0ANAP012E3\r";
    QTest::newRow("output on at 31") << 31 << Command::Out << "1"
                                     << "@1FOUT1A0\r";
    QTest::newRow("tolerance 5 at 0") << 0 << Command::Tol << "5"
                                      << "@00TOL584\r";
}

void TstSimCore::workedFrames()
{
    QFETCH(int, address);
    QFETCH(sim::Command, command);
    QFETCH(QString, value);
    QFETCH(QString, frame);
    const std::string text = frame.toStdString();
    QCOMPARE(Q(BuildRequest(address, command, value.toStdString())), frame);
    const ParsedFrame parsed = ParseRequest(text);
    QCOMPARE(parsed.status, FrameStatus::Ok);
    QCOMPARE(parsed.request.address, address);
    QCOMPARE(parsed.request.command, command);
    QCOMPARE(Q(parsed.request.value), value);
    // Any single changed checksum digit must be caught.
    for (std::size_t at : {text.size() - 3, text.size() - 2}) {
        std::string bad = text;
        bad[at] = bad[at] == '0' ? '1' : '0';
        QCOMPARE(ParseRequest(bad).status, FrameStatus::BadChecksum);
    }
}

void TstSimCore::rejectedFrames_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<sim::FrameStatus>("status");
    QTest::newRow("no CR") << "@01ID?2D" << FrameStatus::Malformed;
    QTest::newRow("no @") << "01ID?2D\r" << FrameStatus::Malformed;
    QTest::newRow("address not hex") << "@0GID?2D\r" << FrameStatus::Malformed;
    QTest::newRow("checksum not hex") << "@01ID?2X\r" << FrameStatus::Malformed;
    QTest::newRow("too short") << "@01I2D\r" << FrameStatus::Malformed;
    // Good checksums, but nothing a source understands.
    QTest::newRow("unknown command")
        << Q(BuildRequest(1, Command::Id, "?")).replace("ID", "IX") << FrameStatus::BadChecksum;
    QTest::newRow("unknown command, own sum") << "@01XY?51\r" << FrameStatus::Malformed;
    QTest::newRow("command without value") << "@01NAP40\r" << FrameStatus::Malformed;
    QTest::newRow("checksum includes @") << "@01ID?6D\r" << FrameStatus::BadChecksum;
}

void TstSimCore::rejectedFrames()
{
    QFETCH(QString, frame);
    QFETCH(sim::FrameStatus, status);
    QCOMPARE(ParseRequest(frame.toStdString()).status, status);
}

void TstSimCore::assembly()
{
    FrameAssembler a;
    // A frame arriving a byte at a time completes only with its CR.
    const std::string frame = "@05NAP???01\r";
    for (std::size_t i = 0; i + 1 < frame.size(); ++i)
        QVERIFY(a.Feed(frame.substr(i, 1)).empty());
    auto got = a.Feed("\r");
    QCOMPARE(got.size(), std::size_t(1));
    QCOMPARE(Q(got[0]), Q(frame));

    // Noise outside frames is dropped; two frames in one read both come out.
    got = a.Feed("xx\r\x7f@01ID?2D\rjunk@1FOUT1A0\r");
    QCOMPARE(got.size(), std::size_t(2));
    QCOMPARE(Q(got[0]), QStringLiteral("@01ID?2D\r"));
    QCOMPARE(Q(got[1]), QStringLiteral("@1FOUT1A0\r"));
    QVERIFY(!a.InFrame());

    // A new "@" restarts an unfinished frame.
    got = a.Feed("@05NA@00TOL584\r");
    QCOMPARE(got.size(), std::size_t(1));
    QCOMPARE(Q(got[0]), QStringLiteral("@00TOL584\r"));

    // A run without CR is cut at the longest frame length and handed out to be reported.
    got = a.Feed("@" + std::string(FrameAssembler::MaxFrame + 10, 'A'));
    QCOMPARE(got.size(), std::size_t(1));
    QCOMPARE(got[0].size(), FrameAssembler::MaxFrame);
    QCOMPARE(ParseRequest(got[0]).status, FrameStatus::Malformed);
    QVERIFY(!a.InFrame());

    a.Feed("@05NAP");
    a.Reset();
    QVERIFY(a.Feed("???01\r").empty());
}

void TstSimCore::queriesAndSets_data()
{
    // Each row: the requests of a conversation with a fresh source at address 5, separated
    // by blanks, and the replies expected, in the same order.
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QStringList>("replies");
    QTest::newRow("queries of a fresh source")
        << "ZDR300-S" << QStringList{"ID ?", "OUT ?", "STA ?", "NAP ???", "TOL ?"}
        << QStringList{"#05TYPZDR300-SVC1005\r", "#05OUT0\r", "#05STA0\r", "#05NAP000\r",
                       "#05TOL1\r"};
    QTest::newRow("set commands are stored")
        << "ZDR300-S"
        << QStringList{"NAP 012", "OUT 1", "STA 1", "TOL 5", "OUT ?", "STA ?", "TOL ?", "NAP ???"}
        << QStringList{"#05OK\r",   "#05OK\r",   "#05OK\r",   "#05OK\r",
                       "#05OUT1\r", "#05STA1\r", "#05TOL5\r", "#05NAP012\r"};
    QTest::newRow("switching off again")
        << "ZDR300-S" << QStringList{"OUT 1", "OUT 0", "OUT ?", "STA 1", "STA 0", "STA ?"}
        << QStringList{"#05OK\r", "#05OK\r", "#05OUT0\r", "#05OK\r", "#05OK\r", "#05STA0\r"};
    QTest::newRow("type without stabilisation acknowledges but stays off")
        << "ZDR300" << QStringList{"STA 1", "STA ?", "ID ?"}
        << QStringList{"#05OK\r", "#05STA0\r", "#05TYPZDR300VC1005\r"};
    QTest::newRow("tolerance clamped to one digit")
        << "ZDR300-S" << QStringList{"TOL 12", "TOL ?", "TOL -3", "TOL ?"}
        << QStringList{"#05OK\r", "#05TOL9\r", "#05OK\r", "#05TOL0\r"};
}

void TstSimCore::queriesAndSets()
{
    QFETCH(QString, type);
    QFETCH(QStringList, requests);
    QFETCH(QStringList, replies);
    QCOMPARE(requests.size(), replies.size());
    SourceConfig c = Source(5);
    c.type = type.toStdString();
    c.slew = 0;
    SimLine line({c});
    for (qsizetype i = 0; i < requests.size(); ++i) {
        const QStringList parts = requests[i].split(' ');
        const std::string frame = BuildRequest(5, CommandOf(parts[0]), parts[1].toStdString());
        const Outcome o = line.Handle(frame, 0);
        QVERIFY2(o.accepted, qPrintable(requests[i]));
        QCOMPARE(Q(o.reply.text), replies[i]);
    }
}

void TstSimCore::senselessValuesIgnored_data()
{
    QTest::addColumn<sim::Command>("command");
    QTest::addColumn<QString>("value");
    QTest::newRow("identification with a value") << Command::Id << "X";
    QTest::newRow("voltage with a decimal point") << Command::Nap << "1.5";
    QTest::newRow("voltage with letters") << Command::Nap << "12V";
    QTest::newRow("output 2") << Command::Out << "2";
    QTest::newRow("stabilisation ON") << Command::Sta << "ON";
    QTest::newRow("tolerance letter") << Command::Tol << "a";
    QTest::newRow("lone sign") << Command::Tol << "-";
}

void TstSimCore::senselessValuesIgnored()
{
    QFETCH(sim::Command, command);
    QFETCH(QString, value);
    SourceConfig c = Source(3);
    c.voltage = 7;
    SimLine line({c});
    const Outcome o = line.Handle(BuildRequest(3, command, value.toStdString()), 0);
    QVERIFY(!o.accepted);
    QVERIFY(o.reply.writes.empty());
    SimSource &s = *line.Find(3);
    QCOMPARE(s.SetVoltage(), 7.0);
    QVERIFY(!s.Output());
    QVERIFY(!s.Stabilising());
    QCOMPARE(s.Tolerance(), 1);
}

void TstSimCore::voltageLimits_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<double>("set");
    QTest::newRow("plain") << "012" << 12.0;
    QTest::newRow("no leading zeros") << "7" << 7.0;
    QTest::newRow("highest field value") << "999" << 999.0;
    QTest::newRow("four digits clamp to the field") << "1000" << 999.0;
    QTest::newRow("huge") << "123456789012345" << 999.0;
    QTest::newRow("negative clamps to zero") << "-005" << 0.0;
}

void TstSimCore::voltageLimits()
{
    QFETCH(QString, value);
    QFETCH(double, set);
    SourceConfig c = Source(9);
    c.output = true;
    c.slew = 0;
    c.voltage = 50;
    SimSource s(c);
    QCOMPARE(Ask(s, Command::Nap, value.toStdString()), std::string("#09OK\r"));
    QCOMPARE(s.SetVoltage(), set);
    const std::string reply = Ask(s, Command::Nap, "???");
    char expected[16];
    std::snprintf(expected, sizeof expected, "#09NAP%03d\r", int(set));
    QCOMPARE(Q(reply), QString::fromLatin1(expected));
    QCOMPARE(reply.size(), std::size_t(10)); // always a three-character field
}

void TstSimCore::slewing()
{
    SourceConfig c = Source(1);
    c.output = true;
    c.slew = 100; // V/s
    SimSource s(c, 1000);
    QCOMPARE(Ask(s, Command::Nap, "012", 1000), std::string("#01OK\r"));
    QCOMPARE(s.ReadVolts(), 0);
    s.AdvanceTo(1060); // 6 V of the 12 V climb
    QCOMPARE(s.Level(), 6.0);
    QCOMPARE(Ask(s, Command::Nap, "???", 1100), std::string("#01NAP010\r"));
    s.AdvanceTo(1120);
    QCOMPARE(s.Level(), 12.0);
    s.AdvanceTo(5000); // settles, does not overshoot
    QCOMPARE(s.Level(), 12.0);
    // Down again at the same rate; time running backwards changes nothing.
    Ask(s, Command::Nap, "000", 5000);
    s.AdvanceTo(5030);
    QCOMPARE(s.Level(), 9.0);
    s.AdvanceTo(4000);
    QCOMPARE(s.Level(), 9.0);

    // Rate 0: the output jumps to the set voltage.
    c.slew = 0;
    SimSource jump(c, 0);
    Ask(jump, Command::Nap, "230", 0);
    QCOMPARE(Ask(jump, Command::Nap, "???", 1), std::string("#01NAP230\r"));
}

void TstSimCore::outputOffReadsZero()
{
    SourceConfig c = Source(2);
    c.voltage = 40;
    c.slew = 10;
    SimSource s(c, 0);
    // Off at start: reads 000 and the level stays at 0 however long we wait.
    QCOMPARE(Ask(s, Command::Nap, "???", 10000), std::string("#02NAP000\r"));
    QCOMPARE(s.Level(), 0.0);
    Ask(s, Command::Out, "1", 10000);
    QCOMPARE(Ask(s, Command::Nap, "???", 12000), std::string("#02NAP020\r"));
    // Switched off half-way: the reading drops to 000 at once, the level discharges.
    Ask(s, Command::Out, "0", 12000);
    QCOMPARE(Ask(s, Command::Nap, "???", 12500), std::string("#02NAP000\r"));
    QCOMPARE(s.Level(), 15.0);
    Ask(s, Command::Out, "1", 12500);
    QCOMPARE(Ask(s, Command::Nap, "???", 13000), std::string("#02NAP020\r"));

    // Switched on at start: the start voltage is there at once.
    c.output = true;
    SimSource on(c, 0);
    QCOMPARE(Ask(on, Command::Nap, "???", 0), std::string("#02NAP040\r"));
}

void TstSimCore::noiseAndStabilisation()
{
    SourceConfig c = Source(4);
    c.output = true;
    c.voltage = 100;
    c.noise = 5;
    c.tolerance = 2;
    SimSource s(c);
    double sample = 1.0;
    s.SetNoiseSource([&] { return sample; });
    QCOMPARE(s.ReadVolts(), 105);
    sample = -1.0;
    QCOMPARE(s.ReadVolts(), 95);
    sample = 0.5; // 102.5 rounds away from zero
    QCOMPARE(s.ReadVolts(), 103);
    // Stabilised, the reading stays within the tolerance.
    Ask(s, Command::Sta, "1");
    sample = 1.0;
    QCOMPARE(s.ReadVolts(), 102);
    sample = -1.0;
    QCOMPARE(s.ReadVolts(), 98);

    // A type that cannot stabilise keeps its full noise.
    c.type = "ZDR300";
    SimSource plain(c);
    plain.SetNoiseSource([] { return 1.0; });
    Ask(plain, Command::Sta, "1");
    QCOMPARE(plain.ReadVolts(), 105);

    // Noise never takes a reading below 0.
    c.voltage = 1;
    SimSource low(c);
    low.SetNoiseSource([] { return -1.0; });
    QCOMPARE(low.ReadVolts(), 0);

    // The built-in noise stays within its bounds and actually varies.
    c.voltage = 100;
    SimSource real(c);
    int lo = 1000, hi = -1;
    for (int i = 0; i < 500; ++i) {
        const int v = real.ReadVolts();
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    QVERIFY(lo >= 95 && hi <= 105);
    QVERIFY(hi - lo >= 5);
}

void TstSimCore::stabilisingTypes_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("can");
    QTest::newRow("default") << "ZDR300-S" << true;
    QTest::newRow("starts at the sixth character") << "ABCDE-S" << true;
    QTest::newRow("starts at the fifth character") << "ABCD-S" << false;
    QTest::newRow("early then late: first one counts") << "A-SBCDEF-S" << false;
    QTest::newRow("none") << "ZDR300" << false;
    QTest::newRow("lower case") << "ZDR300-s" << false;
}

void TstSimCore::stabilisingTypes()
{
    QFETCH(QString, type);
    QFETCH(bool, can);
    QCOMPARE(TypeCanStabilise(type.toStdString()), can);
    SourceConfig c = Source(6);
    c.type = type.toStdString();
    SimSource s(c);
    QCOMPARE(s.CanStabilise(), can);
    Ask(s, Command::Sta, "1");
    QCOMPARE(Ask(s, Command::Sta, "?"), std::string(can ? "#06STA1\r" : "#06STA0\r"));
}

void TstSimCore::silentSource()
{
    SourceConfig c = Source(7);
    c.faults.silent = true;
    SimLine line({c});
    const Outcome o = line.Handle(BuildRequest(7, Command::Out, "1"), 0);
    QVERIFY(o.accepted); // heard (and logged as received), but no answer
    QVERIFY(o.reply.writes.empty());
    QVERIFY(o.reply.text.empty());
    QVERIFY(!line.Find(7)->Output());
}

void TstSimCore::delayAndSplit()
{
    SourceConfig c = Source(8);
    c.faults.delayMs = 250;
    c.faults.splitParts = 3;
    SimSource s(c);
    auto reply = s.Answer({8, Command::Id, "?"}, 0);
    QVERIFY(reply);
    QCOMPARE(Q(reply->text), QStringLiteral("#08TYPZDR300-SVC1008\r"));
    QCOMPARE(reply->writes.size(), std::size_t(3));
    std::string joined;
    for (std::size_t i = 0; i < reply->writes.size(); ++i) {
        QCOMPARE(reply->writes[i].offsetMs, std::int64_t(250 + SplitGapMs * int(i)));
        QVERIFY(!reply->writes[i].bytes.empty());
        joined += reply->writes[i].bytes;
    }
    QCOMPARE(Q(joined), Q(reply->text));
    // Piece sizes differ by one at most.
    QVERIFY(reply->writes[0].bytes.size() - reply->writes[2].bytes.size() <= 1);

    // More pieces than bytes: one byte per write.
    c.faults.delayMs = 0;
    c.faults.splitParts = 50;
    SimSource fine(c);
    reply = fine.Answer({8, Command::Out, "?"}, 0);
    QCOMPARE(reply->writes.size(), reply->text.size());
    QCOMPARE(reply->writes.front().offsetMs, std::int64_t(0));
}

void TstSimCore::dropEveryNth()
{
    SourceConfig c = Source(11);
    c.faults.dropEvery = 3;
    c.slew = 0;
    SimSource s(c);
    const std::vector<std::pair<Command, std::string>> requests = {
        {Command::Out, "?"}, {Command::Sta, "?"},   {Command::Out, "1"},
        {Command::Out, "?"}, {Command::Nap, "050"}, {Command::Nap, "???"}};
    std::vector<bool> dropped;
    for (const auto &[command, value] : requests) {
        const auto r = s.Answer({11, command, value}, 0);
        QVERIFY(r);
        QCOMPARE(r->dropped, r->writes.empty());
        dropped.push_back(r->dropped);
    }
    QCOMPARE(dropped, (std::vector<bool>{false, false, true, false, false, true}));
    // A set command whose acknowledgement was lost has still been carried out.
    QVERIFY(s.Output());
    QCOMPARE(s.SetVoltage(), 50.0);
}

void TstSimCore::garbageAndNoCr()
{
    SourceConfig c = Source(12);
    c.faults.garbage = true;
    SimSource junk(c);
    const std::string sent = Ask(junk, Command::Out, "?");
    const std::size_t hash = sent.find('#');
    QVERIFY(hash > 0 && hash != std::string::npos);
    QCOMPARE(Q(sent.substr(hash)), QStringLiteral("#0COUT0\r"));
    // What comes before the "#" must not end a reply early or start another.
    QCOMPARE(sent.substr(0, hash).find_first_of("#\r"), std::string::npos);

    c.faults.garbage = false;
    c.faults.noCr = true;
    SimSource nocr(c);
    QCOMPARE(Ask(nocr, Command::Tol, "?"), std::string("#0CTOL1"));
    QCOMPARE(Ask(nocr, Command::Tol, "3"), std::string("#0COK"));
}

void TstSimCore::badFields()
{
    SourceConfig c = Source(13);
    c.faults.badVolt = true;
    c.faults.badTol = true;
    c.output = true;
    c.voltage = 12;
    SimSource s(c);
    const std::string volt = Ask(s, Command::Nap, "???");
    QVERIFY(volt.rfind("#0DNAP", 0) == 0);
    QCOMPARE(volt.size(), std::size_t(10)); // still three characters
    const QString field = Q(volt.substr(6, 3));
    bool isNumber = true;
    field.toDouble(&isNumber);
    QVERIFY2(!isNumber, qPrintable(field));
    const std::string tol = Ask(s, Command::Tol, "?");
    QVERIFY(tol.rfind("#0DTOL", 0) == 0);
    QVERIFY(!std::isdigit(static_cast<unsigned char>(tol[6])));
    QCOMPARE(tol.back(), '\r');
    // Other replies are untouched.
    QCOMPARE(Ask(s, Command::Out, "?"), std::string("#0DOUT1\r"));
}

void TstSimCore::lineAnswersOnlyItsAddresses()
{
    SourceConfig a = Source(2), b = Source(7);
    b.type = "ZDR150";
    b.serial = "4711";
    SimLine line({a, b});
    Outcome o = line.Handle(BuildRequest(2, Command::Id, "?"), 0);
    QVERIFY(o.accepted);
    QCOMPARE(Q(o.reply.text), QStringLiteral("#02TYPZDR300-SVC1002\r"));
    o = line.Handle(BuildRequest(7, Command::Id, "?"), 0);
    QCOMPARE(Q(o.reply.text), QStringLiteral("#07TYPZDR150VC4711\r"));
    // Another address on the same line: silence, as on a real multi-drop line.
    o = line.Handle(BuildRequest(3, Command::Id, "?"), 0);
    QVERIFY(!o.accepted);
    QVERIFY(o.reply.writes.empty());
    // Bad checksum: ignored, and its set command is not carried out.
    std::string bad = BuildRequest(7, Command::Out, "1");
    bad[bad.size() - 2] ^= 1;
    o = line.Handle(bad, 0);
    QVERIFY(!o.accepted);
    QVERIFY(!line.Find(7)->Output());
}

void TstSimCore::logLines()
{
    QCOMPARE(Q(LogLine(1234, 2, LogKind::Rx, "@01ID?2D\r")),
             QStringLiteral("1234 2 RX @01ID?2D\\r\n"));
    QCOMPARE(Q(LogLine(0, 1, LogKind::Tx, "\xFF~#05OK\r")),
             QStringLiteral("0 1 TX \\xFF~#05OK\\r\n"));
    QCOMPARE(Q(LogLine(7, 4, LogKind::Bad, std::string("@\n\0x", 4))),
             QStringLiteral("7 4 BAD @\\n\\x00x\n"));
}

QTEST_GUILESS_MAIN(TstSimCore)
#include "tst_simcore.moc"
