// Switching the interface language: start-up codes, the flag buttons, the language texts.

#include "appfixture.h"
#include "services.h"

#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QTabWidget>
#include <QTest>
#include <functional>

namespace {
// One text the language routine sets: how to read it back, its Czech and English forms and
// what the window shows before any language pass. "%1" stands for the language code.
struct TText
{
    std::function<QString(TFormMain *)> read;
    const char *cz, *en, *designed;
};

const TText Texts[] = {
    {[](TFormMain *f) { return f->windowTitle(); }, "Ardemo verze 1.00 - %1",
     "Ardemo version 1.00 - %1", "Ardemo"},
    {[](TFormMain *f) { return f->ButtAddDev->text(); }, "Připoj", "Add", "Připojit"},
    {[](TFormMain *f) { return f->ButtAddDev->toolTip(); }, "Přidat nové zařízení",
     "Add new device", "Přidá nové zařízení"},
    {[](TFormMain *f) { return f->Buttoff->toolTip(); }, "Nastaví 0V pro všechna zařízení",
     "Set 0V for all devices", "Nastaví 0V pro všechna zařízení"},
    {[](TFormMain *f) { return f->Bu_en->toolTip(); }, "Přepnout jazyk", "Language change", ""},
    {[](TFormMain *f) { return f->PageCont->tabText(2); }, " F3 - Komunikace ",
     " F3 - Communications ", "F3 - Komunikace"},
    {[](TFormMain *f) { return f->ControlLines->tabText(3); }, " Linka D ", " Line D ", "Linka D"},
    {[](TFormMain *f) { return f->MemoLabel[11]->text(); }, "Přijaté:", "Answer:", "Přijaté:"},
    {[](TFormMain *f) { return f->LabAbout[8]->text(); }, "Nápověda", "Help", "Pomoc"},
    {[](TFormMain *) { return TextDevNo; }, "Zař.č.", "Dev. No.", ""},
    {[](TFormMain *) { return TextVoltageIs; }, "Napětí = ", "Voltage = ", ""},
};
} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT

    TAppFixture m_app;
    TFormMain *m_form = nullptr;

    // Compares every sample text with its form in the given set ("cz", "en", "designed").
    void expectTexts(const QString &set, const QString &code)
    {
        for (const TText &t : Texts) {
            const char *want = set == "cz" ? t.cz : set == "en" ? t.en : t.designed;
            QString expected = QString::fromUtf8(want);
            if (expected.contains("%1"))
                expected = expected.arg(code);
            QCOMPARE(t.read(m_form), expected);
        }
    }

    void startWith(const QString &code)
    {
        m_form = m_app.start("[Setup]\r\nLang=" + code.toLatin1() + "\r\n");
        m_form->show(); // the language is applied as the window is first shown
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init()
    {
        for (QString *t : {&TextAxisX, &TextAxisY, &TextValuesOf, &TextDevNo, &TextNoAnswer,
                           &TextProgramOf, &TextColStep, &TextColTime, &TextColU, &TextColNext,
                           &TextChartValues, &TextStepIs, &TextTimeIs, &TextVoltageIs})
            t->clear();
    }

    void cleanup() { m_app.stop(); }

    void startCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("set");
        QTest::addColumn<bool>("englishFlag");
        QTest::addColumn<bool>("czechFlag");
        QTest::newRow("cz") << "cz"
                            << "cz" << true << false;
        QTest::newRow("en") << "en"
                            << "en" << false << true;
        // The flags compare the whole code, the texts only its first letter.
        QTest::newRow("cs") << "cs"
                            << "cz" << false << false;
        QTest::newRow("english") << "english"
                                 << "en" << false << false;
        QTest::newRow("empty") << ""
                               << "designed" << false << false;
        QTest::newRow("other letter") << "de"
                                      << "designed" << false << false;
    }
    void startCodes()
    {
        QFETCH(QString, code);
        QFETCH(QString, set);
        QFETCH(bool, englishFlag);
        QFETCH(bool, czechFlag);
        startWith(code);
        QCOMPARE(LangCode, code);
        QCOMPARE(m_form->Bu_en->isVisible(), englishFlag);
        QCOMPARE(m_form->Bu_cz->isVisible(), czechFlag);
        expectTexts(set, code);
    }

    void flagsSwitchBackAndForthAndTheChoiceIsSaved()
    {
        startWith(QStringLiteral("cz"));
        QTest::mouseClick(m_form->Bu_en, Qt::LeftButton);
        QCOMPARE(LangCode, QStringLiteral("en"));
        QVERIFY(m_form->Bu_cz->isVisible());
        QVERIFY(!m_form->Bu_en->isVisible());
        expectTexts("en", "en");

        QTest::mouseClick(m_form->Bu_cz, Qt::LeftButton);
        QVERIFY(m_form->Bu_en->isVisible());
        QVERIFY(!m_form->Bu_cz->isVisible());
        expectTexts("cz", "cz");

        QTest::mouseClick(m_form->Bu_en, Qt::LeftButton);
        QVERIFY(!m_app.ini().contains("Lang=en")); // only at the end of the run
        m_form->FormDestroy();
        QVERIFY(m_app.ini().contains("Lang=en\r\n"));
    }

    // The file dialogs of the program editor and the chart's print preview are Qt's own:
    // in Czech they must not speak English.
    void qtDialogsFollowTheLanguage()
    {
        if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                               QStringLiteral("/qtbase_cs.qm")))
            QSKIP("Qt's Czech translations are not installed");
        const auto lookIn = [] { return QCoreApplication::translate("QFileDialog", "Look in:"); };
        startWith(QStringLiteral("en"));
        QCOMPARE(lookIn(), QStringLiteral("Look in:"));
        QTest::mouseClick(m_form->Bu_cz, Qt::LeftButton);
        QVERIFY(lookIn() != QStringLiteral("Look in:"));
        QTest::mouseClick(m_form->Bu_en, Qt::LeftButton);
        QCOMPARE(lookIn(), QStringLiteral("Look in:"));
    }

    void connectionDialogCallsTheLanguageAgain()
    {
        startWith(QStringLiteral("en"));
        TextDevNo.clear();
        m_form->ButtEnd->setText(QString());
        QVERIFY(Services().ApplyLanguage);
        Services().ApplyLanguage(); // what the dialog does after building a panel
        QCOMPARE(TextDevNo, QStringLiteral("Dev. No."));
        QCOMPARE(m_form->ButtEnd->text(), QStringLiteral("End"));
    }
};

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    TestLanguage test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_language.moc"
