#include "simcore.h"
#include "simoptions.h"

#include <QLocale>
#include <QTest>

using namespace sim;

Q_DECLARE_METATYPE(sim::FrameStatus)

namespace {

QString Q(const std::string &s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// "05NAP012" -> the frame the program would send for it.
std::string FrameOf(const QString &shorthand)
{
    const QString rest = shorthand.mid(2);
    for (Command c : {Command::Id, Command::Nap, Command::Out, Command::Sta, Command::Tol}) {
        const QLatin1String name(CommandText(c));
        if (rest.startsWith(name))
            return BuildRequest(shorthand.left(2).toInt(nullptr, 16), c,
                                rest.mid(name.size()).toStdString());
    }
    qFatal("bad request %s", qPrintable(shorthand));
}

SimSource On(int address, double volts, double slew)
{
    SourceConfig c;
    c.address = address;
    c.output = true;
    c.voltage = volts;
    c.slew = slew;
    return SimSource(c, 0);
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
    void conversation_data();
    void conversation();
    void slewing();
    void noiseAndStabilisation();
    void delayAndSplit();
    void garbageBeforeTheHash();
    void logLines();
};

void TstSimCore::workedFrames_data()
{
    QTest::addColumn<QString>("shorthand");
    QTest::addColumn<QString>("frame");
    QTest::newRow("identification 1") << "01ID?"
                                      << "@01ID?2D\r";
    QTest::newRow("voltage query 5") << "05NAP???"
                                     << "@05NAP???01\r";
    QTest::newRow("set 12 V at 10") << "0ANAP012"
                                    << "@0ANAP012E3\r";
    QTest::newRow("output on at 31") << "1FOUT1"
                                     << "@1FOUT1A0\r";
    QTest::newRow("tolerance 5 at 0") << "00TOL5"
                                      << "@00TOL584\r";
}

void TstSimCore::workedFrames()
{
    QFETCH(QString, shorthand);
    QFETCH(QString, frame);
    const std::string text = frame.toStdString();
    QCOMPARE(Q(FrameOf(shorthand)), frame);
    const ParsedFrame parsed = ParseRequest(text);
    QCOMPARE(parsed.status, FrameStatus::Ok);
    QCOMPARE(parsed.request.address, frame.mid(1, 2).toInt(nullptr, 16));
    // Rebuilding from what was parsed gives the same frame back.
    QCOMPARE(Q(BuildRequest(parsed.request.address, parsed.request.command, parsed.request.value)),
             frame);
    // Any single changed checksum digit is caught.
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
    QTest::newRow("address not hex") << "@0GID?2D\r" << FrameStatus::Malformed;
    QTest::newRow("checksum not hex") << "@01ID?2X\r" << FrameStatus::Malformed;
    QTest::newRow("unknown command, right sum") << "@01XY?51\r" << FrameStatus::Malformed;
    QTest::newRow("command without value") << "@01NAP40\r" << FrameStatus::Malformed;
    QTest::newRow("sum counting the @") << "@01ID?6D\r" << FrameStatus::BadChecksum;
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
    const std::string frame = "@05NAP???01\r";
    for (std::size_t i = 0; i + 1 < frame.size(); ++i)
        QVERIFY(a.Feed(frame.substr(i, 1)).empty());
    QCOMPARE(a.Feed("\r"), std::vector<std::string>{frame});
    // Noise outside frames is dropped, two frames in one read both come out, and an "@"
    // restarts an unfinished frame.
    QCOMPARE(a.Feed("xx\r\x7f@01ID?2D\rjunk@05NA@1FOUT1A0\r"),
             (std::vector<std::string>{"@01ID?2D\r", "@1FOUT1A0\r"}));
    // A run without CR is cut at the longest frame and handed out to be reported.
    const auto got = a.Feed("@" + std::string(FrameAssembler::MaxFrame + 10, 'A'));
    QCOMPARE(got.size(), std::size_t(1));
    QCOMPARE(got[0].size(), FrameAssembler::MaxFrame);
    QVERIFY(!a.InFrame());
}

void TstSimCore::conversation_data()
{
    // Sources separated by ";"; then request and reply, in turns, separated by blanks. A
    // request is "AACMDvalue" or a literal frame starting with "@"; reply "-" means ignored,
    // "." heard but nothing sent.
    QTest::addColumn<QString>("sources");
    QTest::addColumn<QString>("exchange");
    QTest::newRow("queries of a fresh source")
        << "addr=5"
        << "05ID? #05TYPZDR300-SVC1005\r 05OUT? #05OUT0\r 05STA? #05STA0\r "
           "05NAP??? #05NAP000\r 05TOL? #05TOL1\r";
    QTest::newRow("set commands are stored")
        << "addr=5,slew=0"
        << "05NAP012 #05OK\r 05OUT1 #05OK\r 05STA1 #05OK\r 05TOL5 #05OK\r "
           "05OUT? #05OUT1\r 05STA? #05STA1\r 05TOL? #05TOL5\r "
           "05NAP??? #05NAP012\r 05OUT0 #05OK\r 05NAP??? #05NAP000\r";
    QTest::newRow("no stabilisation without -S")
        << "addr=5,type=ZDR300"
        << "05STA1 #05OK\r 05STA? #05STA0\r 05ID? #05TYPZDR300VC1005\r";
    QTest::newRow("limits of the fields")
        << "addr=9,out=1,slew=0"
        << "09NAP1000 #09OK\r 09NAP??? #09NAP999\r 09NAP-005 #09OK\r "
           "09NAP??? #09NAP000\r 09TOL12 #09OK\r 09TOL? #09TOL9\r "
           "09TOL-3 #09OK\r 09TOL? #09TOL0\r";
    QTest::newRow("senseless values ignored, state kept")
        << "addr=3,u=7,out=1,slew=0"
        << "03IDX - 03NAP1.5 - 03OUT2 - 03STAON - 03TOLa - "
           "03NAP??? #03NAP007\r 03OUT? #03OUT1\r";
    QTest::newRow("two sources, strangers and bad sums unanswered")
        << "addr=2;addr=7,type=ZDR150,serial=4711"
        << "02ID? #02TYPZDR300-SVC1002\r 07ID? #07TYPZDR150VC4711\r 03ID? - @07OUT18F\r - "
           "07OUT? #07OUT0\r";
    QTest::newRow("silent") << "addr=7,silent"
                            << "07OUT1 . 07OUT? .";
    QTest::newRow("no CR") << "addr=12,nocr"
                           << "0CTOL? #0CTOL1 0CTOL3 #0COK";
    QTest::newRow("bad voltage and tolerance fields")
        << "addr=13,out=1,u=12,badvolt,badtol"
        << "0DNAP??? #0DNAPERR\r 0DTOL? #0DTOLx\r 0DOUT? #0DOUT1\r";
    QTest::newRow("every third reply dropped, commands still carried out")
        << "addr=11,drop=3,slew=0"
        << "0BOUT? #0BOUT0\r 0BSTA? #0BSTA0\r 0BOUT1 . "
           "0BOUT? #0BOUT1\r 0BNAP050 #0BOK\r 0BNAP??? . "
           "0BNAP??? #0BNAP050\r";
}

void TstSimCore::conversation()
{
    QFETCH(QString, sources);
    QFETCH(QString, exchange);
    std::vector<SourceConfig> configs;
    for (const QString &items : sources.split(';'))
        configs.push_back(ParseSource(items.toStdString()));
    SimLine line(configs);
    const QStringList turns = exchange.split(' ');
    QVERIFY(turns.size() % 2 == 0);
    for (qsizetype i = 0; i < turns.size(); i += 2) {
        const QString &request = turns[i];
        const std::string frame =
            request.startsWith('@') ? request.toStdString() : FrameOf(request);
        const Outcome o = line.Handle(frame, 1000 * i);
        QString sent;
        for (const auto &w : o.reply.writes)
            sent += Q(w.bytes);
        QCOMPARE(Q(o.reply.text), sent);
        QCOMPARE(!o.accepted      ? QStringLiteral("-")
                 : sent.isEmpty() ? QStringLiteral(".")
                                  : sent,
                 turns[i + 1]);
    }
}

void TstSimCore::slewing()
{
    SimSource s = On(1, 0, 100); // 100 V/s
    QVERIFY(s.Answer({1, Command::Nap, "012"}, 1000));
    s.AdvanceTo(1060); // 6 V of the 12 V climb
    QCOMPARE(s.Level(), 6.0);
    QCOMPARE(Q(s.Answer({1, Command::Nap, "???"}, 1100)->text), QStringLiteral("#01NAP010\r"));
    s.AdvanceTo(5000); // settles without overshoot
    QCOMPARE(s.Level(), 12.0);
    // Output off: the reading is 000 at once, the level discharges at the same rate and
    // climbs again from there; time running backwards changes nothing.
    s.Answer({1, Command::Out, "0"}, 5000);
    QCOMPARE(s.ReadVolts(), 0);
    s.AdvanceTo(5090);
    s.AdvanceTo(4000);
    QCOMPARE(s.Level(), 3.0);
    s.Answer({1, Command::Out, "1"}, 5090);
    s.AdvanceTo(5120);
    QCOMPARE(s.ReadVolts(), 6);
    // Rate 0 jumps.
    SimSource jump = On(1, 0, 0);
    jump.Answer({1, Command::Nap, "230"}, 0);
    QCOMPARE(Q(jump.Answer({1, Command::Nap, "???"}, 0)->text), QStringLiteral("#01NAP230\r"));
}

void TstSimCore::noiseAndStabilisation()
{
    SourceConfig c = On(4, 100, 0).Config();
    c.noise = 5;
    c.tolerance = 2;
    SimSource n(c);
    double sample = 1.0;
    n.SetNoiseSource([&] { return sample; });
    QCOMPARE(n.ReadVolts(), 105);
    sample = -0.5; // 97.5 rounds away from zero
    QCOMPARE(n.ReadVolts(), 98);
    n.Answer({4, Command::Sta, "1"}, 0); // stabilised: within the tolerance
    QCOMPARE(n.ReadVolts(), 99);
    sample = -1.0;
    QCOMPARE(n.ReadVolts(), 98);
    // The built-in noise, also of a copy, stays within bounds and varies.
    c.type = "ZDR300"; // cannot stabilise: full noise
    SimSource original(c);
    SimSource copy = original;
    copy.Answer({4, Command::Sta, "1"}, 0);
    int lo = 1000, hi = -1;
    for (int i = 0; i < 500; ++i) {
        const int v = copy.ReadVolts();
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    QVERIFY(lo >= 95 && hi <= 105 && hi - lo >= 6);
    QVERIFY(TypeCanStabilise("ABCDE-S") && !TypeCanStabilise("ABCD-S"));
    QVERIFY(!TypeCanStabilise("A-SBCDEF-S") && !TypeCanStabilise("ZDR300-s"));
}

void TstSimCore::delayAndSplit()
{
    SourceConfig c = ParseSource("addr=8,delay=250,split=3");
    SimSource s(c);
    auto reply = s.Answer({8, Command::Id, "?"}, 0);
    QCOMPARE(Q(reply->text), QStringLiteral("#08TYPZDR300-SVC1008\r"));
    QCOMPARE(reply->writes.size(), std::size_t(3));
    std::string joined;
    for (std::size_t i = 0; i < reply->writes.size(); ++i) {
        QCOMPARE(reply->writes[i].offsetMs, std::int64_t(250 + SplitGapMs * int(i)));
        joined += reply->writes[i].bytes;
    }
    QCOMPARE(Q(joined), Q(reply->text));
    QVERIFY(reply->writes[0].bytes.size() - reply->writes[2].bytes.size() <= 1);
    // More pieces than bytes: one byte per write, at once without a delay.
    SimSource fine(ParseSource("addr=8,split=50"));
    reply = fine.Answer({8, Command::Out, "?"}, 0);
    QCOMPARE(reply->writes.size(), reply->text.size());
    QCOMPARE(reply->writes.front().offsetMs, std::int64_t(0));
}

void TstSimCore::garbageBeforeTheHash()
{
    SimSource s(ParseSource("addr=12,garbage"));
    const std::string sent = s.Answer({12, Command::Out, "?"}, 0)->text;
    const std::size_t hash = sent.find('#');
    QVERIFY(hash > 0 && hash != std::string::npos);
    QCOMPARE(Q(sent.substr(hash)), QStringLiteral("#0COUT0\r"));
    // Nothing before the "#" may end a reply early or start another.
    QCOMPARE(sent.substr(0, hash).find_first_of("#\r"), std::string::npos);
}

void TstSimCore::logLines()
{
    QCOMPARE(Q(LogLine(1234, 2, LogKind::Rx, "@01ID?2D\r")),
             QStringLiteral("1234 2 RX @01ID?2D\\r\n"));
    QCOMPARE(Q(LogLine(7, 4, LogKind::Bad, std::string("\xFF@\n\0x", 5))),
             QStringLiteral("7 4 BAD \\xFF@\\n\\x00x\n"));
}

QTEST_GUILESS_MAIN(TstSimCore)
#include "tst_simcore.moc"
