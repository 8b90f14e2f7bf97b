// The about page: its links and what they hand to the desktop shell.

#include "about.h"
#include "appfixture.h"
#include "controls.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

class TestAbout : public QObject
{
    Q_OBJECT

    TAppFixture m_app;
    TFormMain *m_form = nullptr;
    QList<QUrl> m_opened;
    QString m_oldCwd;
    QTemporaryDir m_cwd;

    static void touch(const QString &path) { QVERIFY(WriteFile(path, "%PDF-1.4\n")); }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        m_oldCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_cwd.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(m_oldCwd); }

    void init()
    {
        m_opened.clear();
        SetShellOpener([this](const QUrl &u) {
            m_opened << u;
            return true;
        });
        m_form = m_app.start();
    }

    void cleanup()
    {
        m_app.stop();
        SetShellOpener({});
        QFile::remove(m_cwd.filePath(HelpFileCz));
        QFile::remove(m_cwd.filePath(HelpFileEn));
    }

    void linkLook()
    {
        for (int i = 5; i <= 8; ++i) {
            TLabel *l = m_form->LabAbout[i];
            QVERIFY(l->font().bold());
            QVERIFY(l->font().underline());
            QCOMPARE(l->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
            QCOMPARE(l->cursor().shape(), Qt::PointingHandCursor);
        }
        QVERIFY(!m_form->LabAbout[1]->font().underline());
    }

    void addressLinks()
    {
        m_form->show();
        m_form->PageCont->setCurrentWidget(m_form->Page8);
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        for (int i = 5; i <= 7; ++i)
            QTest::mouseClick(m_form->LabAbout[i], Qt::LeftButton);
        QCOMPARE(m_opened, QList<QUrl>({QUrl("https://www.tormela.example/download/ardemo"),
                                        QUrl("https://www.tormela.example"),
                                        QUrl("mailto:info@tormela.example")}));
    }

    void helpFollowsTheLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("file");
        QTest::newRow("cz") << "cz" << HelpFileCz;
        QTest::newRow("en") << "en" << HelpFileEn;
        QTest::newRow("cs") << "cs" << HelpFileEn; // only the exact code "cz" is Czech
        QTest::newRow("empty") << "" << HelpFileEn;
    }
    void helpFollowsTheLanguage()
    {
        QFETCH(QString, code);
        QFETCH(QString, file);
        touch(m_cwd.filePath(HelpFileCz));
        touch(m_cwd.filePath(HelpFileEn));
        LangCode = code;
        LabAbout8Click(m_form->LabAbout[8]);
        QCOMPARE(m_opened, QList<QUrl>({QUrl::fromLocalFile(m_cwd.filePath(file))}));
    }

    void helpFallsBackToTheInstalledCopy()
    {
        // Not in the working folder: the copy beside the program.
        const QString installed =
            QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(HelpFileEn);
        const bool madeHere = !QFile::exists(installed);
        if (madeHere)
            touch(installed);
        LangCode = QStringLiteral("en");
        LabAbout8Click(nullptr);
        if (madeHere)
            QFile::remove(installed);
        QCOMPARE(m_opened, QList<QUrl>({QUrl::fromLocalFile(installed)}));
    }

    void shellTargets()
    {
        QTemporaryDir other;
        touch(other.filePath(QStringLiteral("a.pdf")));
        const QUrl a = QUrl::fromLocalFile(other.filePath(QStringLiteral("a.pdf")));
        QCOMPARE(ShellTarget(QStringLiteral("a.pdf"), other.path()), a);
        QCOMPARE(ShellTarget(other.filePath(QStringLiteral("a.pdf")), QString()), a);
        // Missing documents reach no shell.
        ShellOpen(QStringLiteral("a.pdf"), {}, {}, 1); // not in the working folder
        ShellOpen(QStringLiteral("No_Such_Help.pdf"), {}, {}, 1);
        ShellOpen(QString(), {}, {}, 1);
        QVERIFY(m_opened.isEmpty());
        // Each text is cut to 250 characters before the shell sees it.
        ShellOpen(QStringLiteral("https://www.tormela.example/") + QString(300, 'x'),
                  QString(400, 'p'), QString(), 1);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().toString().size(), 250);
    }
};

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    TestAbout test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_about.moc"
