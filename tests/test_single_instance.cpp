#include "gui_test_util.h"

#include "ui/single_instance.h"

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

// Two real copies of the program on one program directory.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    // A program directory with its own copy of the program in it.
    static void install(const ProgramDir &dir)
    {
        QVERIFY(QFile::copy(QStringLiteral(KVILLO_EXECUTABLE), dir.path("kvillo")));
        dir.writeBook({"Иванов"}, {"ivanov@x.ru"});
        dir.writeSettings("Arial", 10, 89, 701, 497);
    }
    static QProcessEnvironment headless()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
    static QString snapshot(const ProgramDir &dir)
    {
        QString state;
        for (const char *name : {"database/mails.dat", "database/descriptions.dat", "config/config.ini"}) {
            const QFileInfo info(dir.path(name));
            state += QStringLiteral("%1 %2 %3\n")
                         .arg(name)
                         .arg(info.lastModified().toMSecsSinceEpoch())
                         .arg(QString::fromLatin1(dir.read(name).toHex()));
        }
        return state;
    }

private slots:
    void secondCopyBringsTheFirstForwardAndLeaves()
    {
        ProgramDir dir;
        install(dir);
        kvillo::SingleInstance first(dir.path());
        QVERIFY(first.acquire());
        QSignalSpy shown(&first, &kvillo::SingleInstance::showRequested);
        const QString before = snapshot(dir);

        QProcess second;
        second.setProcessEnvironment(headless());
        second.start(dir.path("kvillo"), {});
        QVERIFY(second.waitForStarted());
        // The first copy answers from its event loop while the second waits for it.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 10000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(snapshot(dir), before);
    }

    void twoProgramsOnOneBook()
    {
        ProgramDir dir;
        install(dir);
        QProcess first;
        first.setProcessEnvironment(headless());
        first.start(dir.path("kvillo"), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dir.path(".kvillo.lock")), 10000);
        const QString before = snapshot(dir);

        QProcess second;
        second.setProcessEnvironment(headless());
        second.start(dir.path("kvillo"), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(snapshot(dir), before);

        // Asked to end by the system (as at shut-down), it saves as at a close.
        dir.write("config/config.ini", ProgramDir::lines({"FontName=", "Courier"}));
        ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QVERIFY(dir.read("config/config.ini").startsWith(ProgramDir::lines({"[Параметры Kvillo]", "FontName="})));
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru"}));

        // A copy that dies without a word leaves its lock, which does not keep the next start out.
        first.start(dir.path("kvillo"), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dir.path(".kvillo.lock")), 10000);
        ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        kvillo::SingleInstance next(dir.path());
        QVERIFY(next.acquire());
    }
};

QTEST_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
