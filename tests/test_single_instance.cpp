#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "app/single_instance.h"
#include "sys/system.h"

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Decision = kvillo::SingleInstance::Decision;

// Real copies of the program on one address book, and the decision a start takes when the book is
// locked, with the user's side answered by FakePlatform.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    // A program directory with its own copy of the program in it.
    static void install(const ProgramDir &dir, const QString &entry = QStringLiteral("Иванов"),
        const QString &mail = QStringLiteral("ivanov@x.ru"))
    {
        QVERIFY(QFile::copy(QStringLiteral(KVILLO_EXECUTABLE), dir.path("kvillo")));
        dir.writeBook({entry}, {mail});
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
    static std::string readBytes(const std::string &path)
    {
        try {
            return kvillo::sys::readFile(path);
        } catch (...) {
            return {};
        }
    }
    // Starts the program and waits until it holds the book in `databaseFolder`: its own process
    // id in the lock file. It is then ready for a later start and for the system's request to end.
    static void startHolding(QProcess &program, const QString &executable, const std::string &databaseFolder)
    {
        program.setProcessEnvironment(headless());
        program.start(executable, {});
        QVERIFY(program.waitForStarted());
        const std::string mark = "pid=" + std::to_string(program.processId()) + "\n";
        QTRY_VERIFY_WITH_TIMEOUT(readBytes(databaseFolder + ".kvillo.lock").find(mark) != std::string::npos
                || program.state() == QProcess::NotRunning,
            10000);
        QCOMPARE(program.state(), QProcess::Running);
    }
    // A later start on the same book hands over and leaves with 0.
    static void handsOver(const QString &executable)
    {
        QProcess second;
        second.setProcessEnvironment(headless());
        second.start(executable, {});
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
    }
    static void endsOnRequest(QProcess &program)
    {
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

private slots:
    void secondCopyBringsTheFirstForwardAndLeaves()
    {
        ProgramDir dir;
        install(dir);
        FakePlatform platform;
        kvillo::SingleInstance first(dir.directory() + "database/");
        QCOMPARE(first.start(platform), Decision::Run);
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
        QVERIFY(platform.log.isEmpty());
    }

    // An import from the command line while the program runs is handed to it: the window adds
    // the entries and saves them itself, so nothing is written behind its back and its close
    // neither loses nor repeats them.
    void importIsHandedToTheRunningProgram()
    {
        ProgramDir dir;
        install(dir);
        QProcess first;
        startHolding(first, dir.path("kvillo"), dir.directory() + "database/");
        dir.write("new.vcf", "BEGIN:VCARD\nVERSION:3.0\nFN:Новый\nEMAIL:new@x.ru\nEND:VCARD\n");

        QProcess import;
        import.start(dir.path("kvillo"), {"--import", "vcard", dir.path("new.vcf")});
        QVERIFY(import.waitForFinished(30000));
        QCOMPARE(import.exitCode(), 0);
        QVERIFY(QString::fromUtf8(import.readAllStandardError()).contains("переданы работающей программе"));
        QCOMPARE(first.state(), QProcess::Running);
        const QByteArray mails = "ivanov@x.ru\r\nnew@x.ru\r\n";
        const QByteArray descriptions = ProgramDir::lines({"Иванов", "Новый"});
        QCOMPARE(dir.read("database/mails.dat"), mails);
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);

        endsOnRequest(first);
        QCOMPARE(dir.read("database/mails.dat"), mails);
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);
    }

    void twoProgramsOnOneBook()
    {
        ProgramDir dir;
        install(dir);
        QProcess first;
        startHolding(first, dir.path("kvillo"), dir.directory() + "database/");
        const QString before = snapshot(dir);

        handsOver(dir.path("kvillo"));
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(snapshot(dir), before);

        // Asked to end by the system (as at shut-down), it saves as at a close.
        dir.write("config/config.ini", ProgramDir::lines({"FontName=", "Courier"}));
        endsOnRequest(first);
        QVERIFY(dir.read("config/config.ini").startsWith(ProgramDir::lines({"[Параметры Kvillo]", "FontName="})));
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru"}));

        // A copy that dies without a word leaves its lock file, which does not keep the next start out.
        startHolding(first, dir.path("kvillo"), dir.directory() + "database/");
        ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        FakePlatform platform;
        kvillo::SingleInstance next(dir.directory() + "database/");
        QCOMPARE(next.start(platform), Decision::Run);
        QVERIFY(platform.log.isEmpty());
    }

    // The system's request to end may come while the window is still being built (here while a
    // large book loads): it is answered once the program runs, with the save of a close.
    void askedToEndWhileStarting()
    {
        ProgramDir dir;
        install(dir);
        QStringList entries;
        for (int i = 0; i < 300000; ++i)
            entries << QStringLiteral("entry%1").arg(i);
        dir.writeBook(entries, entries);
        dir.write("config/config.ini", ProgramDir::lines({"FontName=", "Courier"}));
        QProcess program;
        startHolding(program, dir.path("kvillo"), dir.directory() + "database/");
        endsOnRequest(program);
        QVERIFY(dir.read("config/config.ini").startsWith(ProgramDir::lines({"[Параметры Kvillo]", "FontName="})));
    }

    // The lock lives with the data, so a program directory nobody may write still keeps a second
    // program out, and nothing is left there.
    void readOnlyProgramDirectory()
    {
        ProgramDir dir;
        install(dir);
        QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0555) == 0);
        const QStringList programFiles = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
        QProcess first;
        startHolding(first, dir.path("kvillo"), dir.directory() + "database/");
        const QString before = snapshot(dir);
        handsOver(dir.path("kvillo"));
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(snapshot(dir), before);
        endsOnRequest(first);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), programFiles);
        ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    }

    // A folder name that is not UTF-8 is kept as the bytes it is.
    void folderNameThatIsNotUtf8()
    {
        QTemporaryDir root;
        const std::string folder = root.path().toStdString() + "/Книга-\xff\xfe/";
        ProgramDir book;
        install(book);
        QVERIFY(::rename(book.path().toStdString().c_str(), folder.c_str()) == 0);
        // Started through a link of a valid name; the program finds its real folder itself.
        const QString run = root.path() + QStringLiteral("/run");
        QVERIFY(::symlink((folder + "kvillo").c_str(), run.toLocal8Bit().constData()) == 0);

        QProcess first;
        startHolding(first, run, folder + "database/");
        handsOver(run);
        QCOMPARE(first.state(), QProcess::Running);
        endsOnRequest(first);
        QCOMPARE(readBytes(folder + "database/mails.dat"), std::string("ivanov@x.ru\r\n"));
        QVERIFY(readBytes(folder + "config/config.ini").starts_with("[\xcf\xe0\xf0\xe0\xec\xe5\xf2\xf0\xfb Kvillo]"));
    }

    // A book moved away while its program runs and a new book put at its path: the new book is
    // another folder with a lock of its own, so a start there runs on it.
    void newBookWhereTheOldOneWas()
    {
        QTemporaryDir root;
        ProgramDir book;
        install(book);
        const QString path = root.path() + QStringLiteral("/book");
        QVERIFY(QDir().rename(book.path(), path));
        QProcess first;
        startHolding(first, path + QStringLiteral("/kvillo"), path.toStdString() + "/database/");
        QVERIFY(QDir().rename(path, root.path() + QStringLiteral("/moved")));

        ProgramDir fresh;
        install(fresh, QStringLiteral("Петров"), QStringLiteral("petrov@x.ru"));
        QVERIFY(QDir().rename(fresh.path(), path));
        QProcess second;
        startHolding(second, path + QStringLiteral("/kvillo"), path.toStdString() + "/database/");
        QCOMPARE(first.state(), QProcess::Running);

        endsOnRequest(second);
        QCOMPARE(
            readBytes(path.toStdString() + "/database/mails.dat"), ProgramDir::lines({"petrov@x.ru"}).toStdString());
        // The first program still writes by path at its close, so it is not asked to close here.
        ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(readBytes(root.path().toStdString() + "/moved/database/mails.dat"),
            ProgramDir::lines({"ivanov@x.ru"}).toStdString());
    }

    // A lock file that no running process holds is free, whatever it says: copied from another
    // computer, left by a process that died, or naming a process id now used by another program.
    void lockNobodyHoldsIsTakenOver_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("another computer")
            << QByteArray("host=elsewhere\npid=4242\nuser=ivan\nstarted=20240101-120000\n");
        QTest::newRow("reused process id") << QByteArray::fromStdString("host=" + kvillo::sys::hostName()
            + "\npid=1\nuser=" + kvillo::sys::userName() + "\nstarted=20240101-120000\n");
        QTest::newRow("garbage") << QByteArray("\xff\x00\x01", 3);
    }
    void lockNobodyHoldsIsTakenOver()
    {
        QFETCH(QByteArray, record);
        ProgramDir dir;
        dir.write("database/.kvillo.lock", record);
        FakePlatform platform;
        kvillo::SingleInstance instance(dir.directory() + "database/");
        QCOMPARE(instance.start(platform), Decision::Run);
        QVERIFY(platform.log.isEmpty());
        QCOMPARE(dir.read("database/.kvillo.lock"), QByteArray::fromStdString(kvillo::sys::ownerRecord()));
    }

    // Without a data folder there is no lock to take; the start goes on and the book's own
    // checks speak.
    void noDataFolderNoLock()
    {
        QTemporaryDir root;
        FakePlatform platform;
        kvillo::SingleInstance instance(root.path().toStdString() + "/database/");
        QCOMPARE(instance.start(platform), Decision::Run);
        QVERIFY(platform.log.isEmpty());
        QVERIFY(!QFileInfo::exists(root.path() + "/database"));
    }

    // A holder that does not answer (hung) is named, and the start does not run.
    void holderThatDoesNotAnswer()
    {
        ProgramDir dir;
        kvillo::sys::FolderLock hung(dir.directory() + "database/.kvillo.lock");
        QCOMPARE(hung.state(), kvillo::sys::FolderLock::State::Held);
        FakePlatform platform;
        kvillo::SingleInstance instance(dir.directory() + "database/");
        QCOMPARE(instance.start(platform), Decision::Refused);
        QCOMPARE(platform.log.size(), 1);
        QVERIFY(platform.log[0].startsWith("error: Адресная книга уже открыта"));
        QVERIFY(platform.log[0].contains(QStringLiteral("Процесс: %1").arg(::getpid())));
    }

    // Another user's program holds the book: it cannot be reached, so the start says who holds it.
    void lockHeldByAnotherUser()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run a process as another user");
        ProgramDir dir;
        QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0755) == 0);
        QVERIFY(::chmod(dir.path("database").toLocal8Bit().constData(), 0777) == 0);
        const std::string lockFile = dir.directory() + "database/.kvillo.lock";
        int ready[2];
        int release[2];
        QVERIFY(::pipe(ready) == 0 && ::pipe(release) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(release[1]);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            kvillo::sys::FolderLock lock(lockFile);
            const char state = lock.state() == kvillo::sys::FolderLock::State::Held ? 'y' : 'n';
            [[maybe_unused]] const ssize_t w = ::write(ready[1], &state, 1);
            char byte;
            [[maybe_unused]] const ssize_t r = ::read(release[0], &byte, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        char state = 0;
        QCOMPARE(::read(ready[0], &state, 1), ssize_t(1));
        QCOMPARE(state, 'y');

        FakePlatform platform;
        kvillo::SingleInstance instance(dir.directory() + "database/");
        const Decision decision = instance.start(platform);
        ::close(release[1]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(ready[0]);
        QCOMPARE(decision, Decision::Refused);
        QCOMPARE(platform.log.size(), 1);
        const passwd *nobody = ::getpwuid(65534);
        QVERIFY(nobody != nullptr);
        QCOMPARE(platform.log[0],
            QStringLiteral("error: Адресная книга уже открыта другой программой Kvillo и не отвечает.\n\n"
                           "Компьютер: %1\nПроцесс: %2\nПользователь: %3\n\n"
                           "Закройте ту программу и запустите Kvillo снова.")
                .arg(QString::fromStdString(kvillo::sys::hostName()))
                .arg(child)
                .arg(QString::fromLocal8Bit(nobody->pw_name)));

        // Its owner gone, the lock file of another user is taken over.
        FakePlatform later;
        kvillo::SingleInstance next(dir.directory() + "database/");
        QCOMPARE(next.start(later), Decision::Run);
        QVERIFY(later.log.isEmpty());
    }
};

QTEST_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
