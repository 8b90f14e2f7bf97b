// Replays every starting input of the fuzz targets and every input that once broke one
// (fuzz/regressions/<target>/) through the same bodies the fuzzers run.

#include "fuzzbodies.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Body = void (*)(const uint8_t *, size_t);

struct Target
{
    const char *name;
    Body body;
};

const Target Targets[] = {
    {"fuzz_reply", FuzzReply},
    {"fuzz_prgfile", FuzzPrgFile},
    {"fuzz_settings", FuzzSettings},
    {"fuzz_simframe", FuzzSimFrame},
};

} // namespace

class TstFuzzInputs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyTargetHasStartingInputs();
    void replay_data();
    void replay();

private:
    QTemporaryDir dir;
};

void TstFuzzInputs::initTestCase()
{
    QVERIFY(dir.isValid());
    QDir::setCurrent(dir.path());
    QLocale::setDefault(QLocale::c());
}

void TstFuzzInputs::cleanupTestCase()
{
    FuzzRelease();
}

void TstFuzzInputs::everyTargetHasStartingInputs()
{
    for (const Target &t : Targets) {
        const QDir corpus(QStringLiteral(ARDEMO_FUZZ_DIR "/corpus/") + QLatin1String(t.name));
        QVERIFY2(corpus.entryList(QDir::Files).size() >= 3, t.name);
    }
}

void TstFuzzInputs::replay_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("path");
    for (int i = 0; i < int(std::size(Targets)); ++i) {
        for (const char *kind : {"corpus", "regressions"}) {
            const QDir d(QStringLiteral(ARDEMO_FUZZ_DIR "/%1/%2")
                             .arg(QLatin1String(kind), QLatin1String(Targets[i].name)));
            for (const QString &f : d.entryList(QDir::Files, QDir::Name))
                QTest::newRow(
                    qPrintable(QStringLiteral("%1/%2/%3")
                                   .arg(QLatin1String(kind), QLatin1String(Targets[i].name), f)))
                    << i << d.filePath(f);
        }
    }
}

void TstFuzzInputs::replay()
{
    QFETCH(int, target);
    QFETCH(QString, path);
    QFile f(path);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = f.readAll();
    try {
        Targets[target].body(reinterpret_cast<const uint8_t *>(bytes.constData()),
                             size_t(bytes.size()));
    } catch (const std::exception &e) {
        QFAIL(e.what());
    }
}

QTEST_MAIN(TstFuzzInputs)
#include "tst_fuzzinputs.moc"
