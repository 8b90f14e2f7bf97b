// The installed program: cmake --install into a temporary prefix puts the program, the
// simulator, the help documents, the menu entry, the icons and the manual pages where a
// desktop looks for them; the installed (and a moved) program finds its help documents;
// and a program in the system's folders keeps its settings in the user's own folder.

#include "about.h"
#include "settings.h"
#include "testfiles.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>

namespace {

// Run as "--probe" from an installed folder: what the program would open and write there.
int Probe()
{
    QTextStream out(stdout);
    out << "help-cz " << ShellTarget(HelpFileCz, QString()).toLocalFile() << '\n'
        << "help-en " << ShellTarget(HelpFileEn, QString()).toLocalFile() << '\n'
        << "settings " << SettingsFileName() << '\n';
    return 0;
}

QProcessEnvironment Environment(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    return env;
}

// Key=value lines of the [Desktop Entry] group.
QMap<QString, QString> DesktopEntry(const QByteArray &text)
{
    QMap<QString, QString> keys;
    bool inEntry = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inEntry && eq > 0 && !line.startsWith(QLatin1Char('#')))
            keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return keys;
}

} // namespace

class TstInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_prefix;

    QString Installed(const QString &relative) const { return m_prefix + '/' + relative; }

    // Runs the probe copied into <prefix>/bin; its lines by their first word.
    QMap<QString, QString> ProbeIn(const QString &prefix)
    {
        const QString probe = prefix + QStringLiteral("/bin/ardemo-probe");
        QFile::remove(probe);
        if (!QFile::copy(QCoreApplication::applicationFilePath(), probe))
            return {};
        QTemporaryDir cwd; // the desktop starts the program anywhere
        QProcess p;
        p.setWorkingDirectory(cwd.path());
        p.setProcessEnvironment(Environment(m_work.filePath(QStringLiteral("home"))));
        p.start(probe, {QStringLiteral("--probe")});
        p.waitForFinished(20000);
        QMap<QString, QString> values;
        for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
            const qsizetype sp = line.indexOf(' ');
            if (sp > 0)
                values.insert(QString::fromUtf8(line.left(sp)),
                              QString::fromUtf8(line.mid(sp + 1)));
        }
        return values;
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_work.isValid());
        QDir::setCurrent(m_work.path());
        m_prefix = m_work.filePath(QStringLiteral("prefix"));
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(ARDEMO_CMAKE),
                {QStringLiteral("--install"), QStringLiteral(ARDEMO_BUILD_DIR),
                 QStringLiteral("--prefix"), m_prefix});
        QVERIFY(p.waitForFinished(50000));
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
                 p.readAll().constData());
    }

    void installedFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("kind");
        QTest::newRow("program") << "bin/ardemo"
                                 << "exe";
        QTest::newRow("simulator") << "bin/ardemo-sim"
                                   << "exe";
        QTest::newRow("help cz") << "share/ardemo/Help_Ardemo_CZ.pdf"
                                 << "pdf";
        QTest::newRow("help en") << "share/ardemo/Help_Ardemo_EN.pdf"
                                 << "pdf";
        QTest::newRow("menu entry") << "share/applications/ardemo.desktop"
                                    << "text";
        QTest::newRow("icon svg") << "share/icons/hicolor/scalable/apps/ardemo.svg"
                                  << "svg";
        QTest::newRow("icon 48") << "share/icons/hicolor/48x48/apps/ardemo.png"
                                 << "png48";
        QTest::newRow("icon 256") << "share/icons/hicolor/256x256/apps/ardemo.png"
                                  << "png256";
        QTest::newRow("man ardemo") << "share/man/man1/ardemo.1"
                                    << "man";
        QTest::newRow("man simulator") << "share/man/man1/ardemo-sim.1"
                                       << "man";
        QTest::newRow("rights notice") << "share/doc/ardemo/copyright"
                                       << "text";
    }
    void installedFiles()
    {
        QFETCH(QString, path);
        QFETCH(QString, kind);
        const QFileInfo info(Installed(path));
        QVERIFY2(info.isFile(), qPrintable(info.filePath()));
        QVERIFY(info.size() > 0);
        const QByteArray bytes = ReadFile(info.filePath());
        if (kind == QLatin1String("exe")) {
            QVERIFY(info.isExecutable());
            QVERIFY(bytes.startsWith("\x7F"
                                     "ELF"));
        } else if (kind == QLatin1String("pdf")) {
            QVERIFY(bytes.startsWith("%PDF-"));
        } else if (kind.startsWith(QLatin1String("png"))) {
            const int side = kind.mid(3).toInt();
            QCOMPARE(QImage(info.filePath()).size(), QSize(side, side));
        } else if (kind == QLatin1String("svg")) {
            QXmlStreamReader xml(bytes);
            QVERIFY(xml.readNextStartElement());
            QCOMPARE(xml.name(), QLatin1String("svg"));
            while (!xml.atEnd())
                xml.readNext();
            QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        } else if (kind == QLatin1String("man")) {
            QVERIFY(bytes.startsWith(".TH "));
            QVERIFY(bytes.contains("\n.SH NAME\n"));
        }
    }

    void nothingBesideTheProgramsAndTheirData()
    {
        // No libraries, headers or test programs leave the build.
        QDirIterator it(m_prefix, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString rel = QDir(m_prefix).relativeFilePath(it.next());
            QVERIFY2(rel.startsWith(QLatin1String("share/")) ||
                         rel == QLatin1String("bin/ardemo") ||
                         rel == QLatin1String("bin/ardemo-sim"),
                     qPrintable(rel));
        }
    }

    void desktopEntry()
    {
        const QString file = Installed(QStringLiteral("share/applications/ardemo.desktop"));
        const auto keys = DesktopEntry(ReadFile(file));
        QCOMPARE(keys.value("Type"), QStringLiteral("Application"));
        for (const char *key : {"Name", "GenericName", "Comment"}) {
            QVERIFY2(!keys.value(key).isEmpty(), key);
            QVERIFY2(!keys.value(QString::fromLatin1(key) + "[cs]").isEmpty(), key);
        }
        QVERIFY(keys.value("GenericName") != keys.value("GenericName[cs]"));
        // The menu starts the installed program and shows the installed icon.
        QCOMPARE(keys.value("Exec"), QStringLiteral("ardemo"));
        QVERIFY(QFileInfo::exists(Installed("bin/" + keys.value("Exec"))));
        QVERIFY(QFileInfo::exists(
            Installed("share/icons/hicolor/scalable/apps/" + keys.value("Icon") + ".svg")));
        QVERIFY(keys.value("Categories").endsWith(QLatin1Char(';')));
        QVERIFY(keys.value("Categories").split(';').contains(QStringLiteral("Science")));
        QCOMPARE(keys.value("Terminal"), QStringLiteral("false"));

        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            return; // the keys above are the check then
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(validator, {file});
        QVERIFY(p.waitForFinished(10000));
        const QByteArray said = p.readAll();
        QVERIFY2(p.exitCode() == 0 && said.trimmed().isEmpty(), said.constData());
    }

    void simulatorRuns()
    {
        QProcess p;
        p.start(Installed(QStringLiteral("bin/ardemo-sim")), {QStringLiteral("--help")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().startsWith("Usage: ardemo-sim"));
    }

    // The installed program opens the installed help from any working folder, and so does a
    // copy of the whole install moved elsewhere; its folder is writable here, so its settings
    // stay beside it, as for a portable copy.
    void installedAndMovedFindTheirFiles()
    {
        for (const QString &prefix : {m_prefix, m_work.filePath(QStringLiteral("moved/opt"))}) {
            if (prefix != m_prefix) {
                QProcess cp;
                QVERIFY(QDir().mkpath(QFileInfo(prefix).path()));
                cp.start(QStringLiteral("cp"), {QStringLiteral("-a"), m_prefix, prefix});
                QVERIFY(cp.waitForFinished(20000) && cp.exitCode() == 0);
                QVERIFY(QDir(m_prefix + QStringLiteral("/share")).removeRecursively());
            }
            const auto seen = ProbeIn(prefix);
            const QString docs = prefix + QStringLiteral("/share/ardemo/");
            QCOMPARE(seen.value("help-cz"), docs + HelpFileCz);
            QCOMPARE(seen.value("help-en"), docs + HelpFileEn);
            QCOMPARE(seen.value("settings"), prefix + QStringLiteral("/bin/ardemo-probe.INI"));
        }
    }

    void settingsPlace_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("beside");
        const QString writable = m_work.filePath(QStringLiteral("portable"));
        QDir().mkpath(writable);
        const QString link = m_work.filePath(QStringLiteral("usrbin-link"));
        QFile::link(QStringLiteral("/usr/bin"), link);
        QTest::newRow("writable folder") << writable + "/ardemo" << true;
        QTest::newRow("folder not there (cannot be written)")
            << m_work.filePath("gone/ardemo") << false;
        QTest::newRow("/usr/bin") << "/usr/bin/ardemo" << false;
        QTest::newRow("/usr/local/bin") << "/usr/local/bin/ardemo" << false;
        QTest::newRow("/bin") << "/bin/ardemo" << false;
        QTest::newRow("link into /usr") << link + "/ardemo" << false;
    }
    void settingsPlace()
    {
        QFETCH(QString, program);
        QFETCH(bool, beside);
        const QString config = m_work.filePath(QStringLiteral("home/.config"));
        const QString place = SettingsFileIn(program, config);
        QCOMPARE(place, beside ? program + QStringLiteral(".INI")
                               : config + QStringLiteral("/Ardemo/ardemo.INI"));
    }

    void systemFolders_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("system");
        QTest::newRow("/usr") << "/usr" << true;
        QTest::newRow("/usr/bin") << "/usr/bin" << true;
        QTest::newRow("/usr/local/bin") << "/usr/local/bin" << true;
        QTest::newRow("/sbin") << "/sbin" << true;
        QTest::newRow("/usrx") << "/usrx/bin" << false;
        QTest::newRow("/opt") << "/opt/ardemo/bin" << false;
        QTest::newRow("usr inside home") << "/home/op/usr/bin" << false;
        QTest::newRow("relative") << "usr/bin" << false;
    }
    void systemFolders()
    {
        QFETCH(QString, folder);
        QFETCH(bool, system);
        QCOMPARE(IsSystemFolder(folder), system);
    }

    // The installed program itself: it starts from any working folder, keeps its settings
    // in its writable folder and ends the orderly way.
    void installedProgramRuns()
    {
        QTemporaryDir cwd;
        QProcess p;
        p.setWorkingDirectory(cwd.path());
        p.setProcessEnvironment(Environment(m_work.filePath(QStringLiteral("home"))));
        p.start(Installed(QStringLiteral("bin/ardemo")), {});
        QVERIFY(p.waitForStarted());
        QTest::qWait(1000); // let the main window come up and tick
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(ReadFile(Installed(QStringLiteral("bin/ardemo.INI"))).contains("[Setup]"));
        QVERIFY(QDir(cwd.path()).isEmpty());
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--probe") == 0)
        return Probe();
    TstInstall test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_install.moc"
