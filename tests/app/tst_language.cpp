// Switching the interface language: start-up codes, the flag buttons, the language texts.

#include "appfixture.h"

#include <QLabel>
#include <QTabWidget>
#include <QTest>

class TestLanguage : public QObject
{
    Q_OBJECT

    TAppFixture m_app;
    TFormMain *m_form = nullptr;

    // A sample of every kind of text the language routine sets, read back from the window.
    QStringList shownTexts() const
    {
        TFormMain *f = m_form;
        return {f->windowTitle(),
                f->ButtAddDev->text(),
                f->ButtAddDev->toolTip(),
                f->ButtOutOff->text(),
                f->Buttoff->toolTip(),
                f->ButtEnd->text(),
                f->Bu_en->toolTip(),
                f->PageCont->tabText(0),
                f->PageCont->tabText(2),
                f->PageCont->tabText(7),
                f->ControlLines->tabText(3),
                f->MemoLabel[10]->text(),
                f->MemoLabel[11]->text(),
                f->LabAbout[1]->text(),
                f->LabAbout[8]->text(),
                TextDevNo,
                TextValuesOf,
                TextVoltageIs};
    }

    static QStringList czech(const QString &code)
    {
        return {QStringLiteral("Ardemo verze 1.00 - ") + code,
                "Připoj",
                "Přidat nové zařízení",
                "Výstup - vyp",
                "Nastaví 0V pro všechna zařízení",
                "Konec",
                "Přepnout jazyk",
                " F1 - Hlavní ",
                " F3 - Komunikace ",
                " F8 - O programu ... ",
                " Linka D ",
                "Odeslané:",
                "Přijaté:",
                "Tormela Ardemo  verze 1.00",
                "Nápověda",
                "Zař.č.",
                "Hodnoty ze zdroje č.",
                "Napětí = "};
    }

    static QStringList english(const QString &code)
    {
        return {QStringLiteral("Ardemo version 1.00 - ") + code,
                "Add",
                "Add new device",
                "Out - off",
                "Set 0V for all devices",
                "End",
                "Language change",
                " F1 - Main ",
                " F3 - Communications ",
                " F8 - About... ",
                " Line D ",
                "Request:",
                "Answer:",
                "Tormela Ardemo  version 1.00",
                "Help",
                "Dev. No.",
                "Values from the device No.",
                "Voltage = "};
    }

    // The window as designed, before any language pass.
    static QStringList designed()
    {
        return {"Ardemo",
                "Připojit",
                "Přidá nové zařízení",
                "Výstup - vyp",
                "Nastaví 0V pro všechna zařízení",
                "Konec",
                "",
                " F1 - Hlavní ",
                "F3 - Komunikace",
                " F8 - O programu ... ",
                "Linka D",
                "Odeslané:",
                "Přijaté:",
                "Tormela Ardemo  verze 1.00",
                "Pomoc",
                "",
                "",
                ""};
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
        QTest::addColumn<QString>("texts");
        QTest::addColumn<bool>("englishFlag");
        QTest::addColumn<bool>("czechFlag");
        QTest::newRow("cz") << "cz" << "czech" << true << false;
        QTest::newRow("en") << "en" << "english" << false << true;
        // The flags compare the whole code, the texts only its first letter.
        QTest::newRow("cs") << "cs" << "czech" << false << false;
        QTest::newRow("english") << "english" << "english" << false << false;
        QTest::newRow("empty") << "" << "designed" << false << false;
        QTest::newRow("other letter") << "de" << "designed" << false << false;
    }
    void startCodes()
    {
        QFETCH(QString, code);
        QFETCH(QString, texts);
        QFETCH(bool, englishFlag);
        QFETCH(bool, czechFlag);
        startWith(code);
        QCOMPARE(LangCode, code);
        QCOMPARE(m_form->Bu_en->isVisible(), englishFlag);
        QCOMPARE(m_form->Bu_cz->isVisible(), czechFlag);
        const QStringList expected = texts == "czech"     ? czech(code)
                                     : texts == "english" ? english(code)
                                                          : designed();
        QCOMPARE(shownTexts(), expected);
    }

    void flagsSwitchBackAndForth()
    {
        startWith(QStringLiteral("cz"));
        QTest::mouseClick(m_form->Bu_en, Qt::LeftButton);
        QCOMPARE(LangCode, QStringLiteral("en"));
        QVERIFY(m_form->Bu_cz->isVisible());
        QVERIFY(!m_form->Bu_en->isVisible());
        QCOMPARE(shownTexts(), english("en"));
        QCOMPARE(TextColStep, QStringLiteral("Step"));

        QTest::mouseClick(m_form->Bu_cz, Qt::LeftButton);
        QCOMPARE(LangCode, QStringLiteral("cz"));
        QVERIFY(m_form->Bu_en->isVisible());
        QVERIFY(!m_form->Bu_cz->isVisible());
        QCOMPARE(shownTexts(), czech("cz"));
        QCOMPARE(TextColStep, QStringLiteral("Krok"));
    }

    void switchedLanguageIsSavedAtTheEnd()
    {
        startWith(QStringLiteral("cz"));
        QTest::mouseClick(m_form->Bu_en, Qt::LeftButton);
        QVERIFY(!m_app.ini().contains("Lang=en")); // only at the end of the run
        m_form->FormDestroy();
        QVERIFY(m_app.ini().contains("Lang=en\r\n"));
    }

    void connectionDialogCallsTheLanguageAgain()
    {
        startWith(QStringLiteral("en"));
        TextDevNo.clear();
        m_form->ButtEnd->setText(QString());
        QVERIFY(Hooks::ApplyLanguage);
        Hooks::ApplyLanguage(); // what the dialog does after building a panel
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
