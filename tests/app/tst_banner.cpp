// Decoding the banner picture: good, truncated, damaged and missing files.

#include "banner.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestBanner : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_good;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        WriteFile(path, bytes);
        return path;
    }

private slots:
    void initTestCase()
    {
        QFile f(QStringLiteral(":/app/banner.jpg"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        m_good = f.readAll();
        QVERIFY(m_good.startsWith("\xFF\xD8"));
    }

    void builtInBanner()
    {
        const QImage img = LoadBanner();
        QCOMPARE(img.size(), QSize(345, 47));
        // Decoded, not blank: the picture has a dark mark at its left and a light field.
        QVERIFY(qGray(img.pixel(20, 10)) < 100);
        QVERIFY(qGray(img.pixel(200, 3)) > 200);
    }

    void validFile()
    {
        QString error;
        const QImage img = LoadJpegFile(write("ok.jpg", m_good), &error);
        QCOMPARE(img.size(), QSize(345, 47));
        QVERIFY(error.isEmpty());
        QCOMPARE(img, LoadBanner());
    }

    void badFilesGiveNoPicture_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = [] {
            QFile f(QStringLiteral(":/app/banner.jpg"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QTest::newRow("truncated half") << good.left(good.size() / 2);
        QTest::newRow("header only") << good.left(200);
        QTest::newRow("two bytes") << good.left(2);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a jpeg") << QByteArray("GIF89a not at all a jpeg picture");
        QByteArray scrambled = good;
        for (int i = scrambled.size() / 3; i < scrambled.size() - 2; i += 7)
            scrambled[i] = char(0xFF);
        QTest::newRow("scrambled data") << scrambled;
        QByteArray huge = good;
        const int sof = huge.indexOf("\xFF\xC0");
        huge[sof + 5] = char(0xFF); // height 65535 and more
        huge[sof + 6] = char(0xFF);
        huge[sof + 7] = char(0xFF);
        huge[sof + 8] = char(0xFF);
        QTest::newRow("oversized header") << huge;
    }
    void badFilesGiveNoPicture()
    {
        QFETCH(QByteArray, bytes);
        QString error;
        const QImage img = LoadJpegFile(write("bad.jpg", bytes), &error);
        QVERIFY(img.isNull());
        QVERIFY(!error.isEmpty());
    }

    void missingFile()
    {
        QString error;
        QVERIFY(LoadJpegFile(m_dir.filePath("none.jpg"), &error).isNull());
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBanner)
#include "tst_banner.moc"
