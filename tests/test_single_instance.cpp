#include "data_test_util.h"
#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "app/single_instance.h"
#include "channel/book_channel.h"
#include "sys/system.h"

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
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
    // This user's channel folder for these tests, and a folder where the programs of the user
    // nobody may be put to work.
    QTemporaryDir m_runtime;
    QTemporaryDir m_shared;
    QByteArray runtime() const { return QFile::encodeName(m_runtime.path()); }

    // A program directory with its own copy of the program in it.
    static void install(const ProgramDir &dir, const QString &entry = QStringLiteral("Иванов"),
        const QString &mail = QStringLiteral("ivanov@x.ru"))
    {
        QVERIFY(QFile::copy(QStringLiteral(KVILLO_EXECUTABLE), dir.path("kvillo")));
        const QString library = QStringLiteral(KVILLO_WINDOW_LIBRARY);
        QVERIFY(QFile::copy(library, dir.path(library.mid(library.lastIndexOf('/') + 1))));
        dir.write("new.vcf", "BEGIN:VCARD\nFN:New\nEMAIL:new@x\nEND:VCARD\n");
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
    // `kvillo --import` of new.vcf: its exit code and messages.
    static std::pair<int, QString> importNew(const ProgramDir &dir)
    {
        QProcess import;
        import.start(dir.path("kvillo"), {"--import", "vcard", dir.path("new.vcf")});
        if (!import.waitForFinished(30000))
            return {-1, QString()};
        return {import.exitCode(), QString::fromUtf8(import.readAllStandardError())};
    }
    static void endsOnRequest(QProcess &program)
    {
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_RUNTIME_DIR", runtime());
        qputenv("TMPDIR", QFile::encodeName(m_shared.path()));
        QVERIFY(::chmod(QFile::encodeName(m_shared.path()).constData(), 01777) == 0);
    }

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

        // The window compares with the book as it holds it: the same file again, and an entry it
        // had from the start, add nothing.
        dir.write("again.vcf",
            "BEGIN:VCARD\nFN:Иванов\nEMAIL:ivanov@x.ru\nEND:VCARD\nBEGIN:VCARD\nFN:Новый\nEMAIL:new@x.ru\nEND:VCARD\n");
        for (const char *file : {"new.vcf", "again.vcf"}) {
            import.start(dir.path("kvillo"), {"--import", "vcard", dir.path(file)});
            QVERIFY(import.waitForFinished(30000));
            QCOMPARE(import.exitCode(), 0);
            const QString err = QString::fromUtf8(import.readAllStandardError());
            QVERIFY2(err.contains(QStringLiteral("Добавлено записей: 0. Пропущено без адреса: 0, уже были в книге: %1. "
                                                 "Записи переданы работающей программе")
                                      .arg(file == std::string_view("new.vcf") ? 1 : 2)),
                qPrintable(err));
        }
        QCOMPARE(dir.read("database/mails.dat"), mails);

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
        kvillo::sys::FolderLock hung(dir.directory() + "database/");
        QCOMPARE(hung.state(), kvillo::sys::FolderLock::State::Held);
        FakePlatform platform;
        kvillo::SingleInstance instance(dir.directory() + "database/");
        QCOMPARE(instance.start(platform), Decision::Refused);
        QCOMPARE(platform.log.size(), 1);
        QVERIFY(platform.log[0].startsWith("error: Адресная книга уже открыта"));
        QVERIFY(platform.log[0].contains(QStringLiteral("Процесс: %1").arg(::getpid())));
    }

    // Another user's program holds the book: it cannot be reached, so the start says who holds it,
    // and an import refuses at once, naming that user.
    void lockHeldByAnotherUser()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run a process as another user");
        ProgramDir dir;
        install(dir);
        QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0755) == 0);
        QVERIFY(::chmod(dir.path("database").toLocal8Bit().constData(), 0777) == 0);
        const std::string folder = dir.directory() + "database/";
        testutil::Child holder(true, [&](const std::function<void()> &ready, int release) {
            kvillo::sys::FolderLock lock(folder);
            if (lock.state() == kvillo::sys::FolderLock::State::Held)
                ready();
            return testutil::receive(release, -1);
        });
        QVERIFY(holder.waitReady());
        const QString before = snapshot(dir);

        FakePlatform platform;
        kvillo::SingleInstance instance(folder);
        const Decision decision = instance.start(platform);
        const auto [status, error] = importNew(dir);
        holder.finish();
        QCOMPARE(decision, Decision::Refused);
        QCOMPARE(platform.log.size(), 1);
        const passwd *nobody = ::getpwuid(testutil::Child::kNobody);
        QVERIFY(nobody != nullptr);
        QCOMPARE(platform.log[0],
            QStringLiteral("error: Адресная книга уже открыта программой Kvillo другого пользователя.\n\n"
                           "Компьютер: %1\nПроцесс: %2\nПользователь: %3\n\n"
                           "Закройте ту программу и запустите Kvillo снова.")
                .arg(QString::fromStdString(kvillo::sys::hostName()))
                .arg(holder.pid())
                .arg(QString::fromLocal8Bit(nobody->pw_name)));
        QCOMPARE(status, 1);
        QVERIFY2(error.contains("другого пользователя") && error.contains(nobody->pw_name), qPrintable(error));
        QCOMPARE(snapshot(dir), before);

        // Its owner gone, the lock file of another user is taken over.
        FakePlatform later;
        kvillo::SingleInstance next(folder);
        QCOMPARE(next.start(later), Decision::Run);
        QVERIFY(later.log.isEmpty());
    }

    // However the lock file is removed, replaced or turned into a link while a program holds the
    // book, a second start still reaches that program, and an import still goes to it.
    void lockFileSwappedUnderTheHolder_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("deleted") << "rm";
        QTest::newRow("replaced") << "mv";
        QTest::newRow("a link to nothing") << "ln";
    }
    void lockFileSwappedUnderTheHolder()
    {
        QFETCH(QString, how);
        ProgramDir dir;
        install(dir);
        QProcess first;
        startHolding(first, dir.path("kvillo"), dir.directory() + "database/");
        const QString lock = dir.path("database/.kvillo.lock");
        QVERIFY(QFile::remove(lock));
        if (how == "mv") {
            dir.write("other", "host=elsewhere\n");
            QVERIFY(::rename(dir.path("other").toLocal8Bit().constData(), lock.toLocal8Bit().constData()) == 0);
        } else if (how == "ln") {
            QVERIFY(QFile::link(dir.path("nowhere"), lock));
        }

        handsOver(dir.path("kvillo"));
        QVERIFY(importNew(dir).second.contains("переданы работающей программе"));
        QCOMPARE(first.state(), QProcess::Running);
        endsOnRequest(first);
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru", "new@x"}));
        QVERIFY(!dir.exists("nowhere"));
    }

    // Another user sets a trap for this user's channel: takes the folder it would be made in
    // first, or gets a socket into it. The window says it has no channel; an import hands that user
    // nothing and says nothing was written; and the other user's channel is not ours.
    void channelTrappedByAnotherUser_data()
    {
        QTest::addColumn<bool>("folderTaken"); // or a socket inside our own folder
        QTest::newRow("takes the folder first") << true;
        QTest::newRow("listens inside our folder") << false;
    }
    void channelTrappedByAnotherUser()
    {
        QFETCH(bool, folderTaken);
        if (::geteuid() != 0)
            QSKIP("needs root to run a process as another user");
        const auto restore = qScopeGuard([this] { qputenv("XDG_RUNTIME_DIR", runtime()); });
        if (folderTaken)
            qunsetenv("XDG_RUNTIME_DIR");
        ProgramDir dir;
        install(dir);
        QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0755) == 0);
        const std::string folder = dir.directory() + "database/";
        const std::string ours = kvillo::channel::listenName(folder);
        const std::string ourFolder = ours.substr(0, ours.rfind('/'));
        QVERIFY(folderTaken ? ::rmdir(ourFolder.c_str()) == 0 : ::chmod(ourFolder.c_str(), 0777) == 0);

        testutil::Child trap(true, [&](const std::function<void()> &ready, int release) {
            std::string theirs;
            try {
                theirs = kvillo::channel::listenName(folder);
            } catch (const std::exception &) {
            }
            ::mkdir(ourFolder.c_str(), 0700);
            const int server = testutil::localSocket(ours, true);
            ready();
            std::size_t received = 0;
            for (pollfd waits[2] = {{server, POLLIN, 0}, {release, POLLIN, 0}};
                 ::poll(waits, 2, -1) > 0 && waits[1].revents == 0;)
                received += testutil::receive(::accept(server, nullptr, nullptr), 1000).size();
            return std::to_string(server >= 0) + " " + std::to_string(received) + " " + theirs;
        });
        QVERIFY(trap.waitReady());
        QVERIFY(folderTaken || ::chmod(ourFolder.c_str(), 0700) == 0);
        FakePlatform platform;
        kvillo::SingleInstance window(folder);
        std::optional<kvillo::sys::FolderLock> hung; // the holder, where the window cannot be it
        if (!folderTaken)
            hung.emplace(folder);
        QCOMPARE(window.start(platform), folderTaken ? Decision::Run : Decision::Refused);
        const QString before = snapshot(dir);
        const auto [status, error] = importNew(dir);
        const QStringList report = QString::fromStdString(trap.finish()).split(' ');
        QCOMPARE(report.mid(0, 2), QStringList({"1", "0"}));
        QVERIFY(report.value(2) != QString::fromStdString(ours));
        QCOMPARE(status, 1);
        QVERIFY2(error.contains("ничего не записано"), qPrintable(error));
        QCOMPARE(snapshot(dir), before);
        if (folderTaken)
            QVERIFY2(platform.log.size() == 1 && platform.log[0].contains("канал")
                    && platform.log[0].contains("папка другого пользователя"),
                qPrintable(platform.log.join('\n')));
    }

    // The holder stores only a sound import of its own user: lists of one length, texts without
    // a NUL, an identifier of its kind. Anything else gets a failed answer (another user's none at
    // all) and nothing is stored.
    void holderRefusesBadRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<QByteArray>("answer");
        kvillo::BookLists one;
        one.descriptions.append("Новый");
        one.mails.append("new@x");
        kvillo::BookLists unequal = one;
        unequal.descriptions.append("Лишний");
        const std::string id(32, 'a');
        const QByteArray bad = "failed bad request\n";
        QTest::newRow("sound") << QByteArray::fromStdString(kvillo::channel::addRequest(one, id)) << false << QByteArray("added 1 0\n");
        QTest::newRow("lists of unequal length")
            << QByteArray::fromStdString(kvillo::channel::addRequest(unequal, id)) << false << QByteArray("failed описаний 2, а адресов 1\n");
        QTest::newRow("a NUL in a text") << "add 5 " + QByteArray(32, 'a') + '\n' + QByteArray("x\0y\0z", 5) << false
                                         << bad;
        QTest::newRow("not an identifier") << QByteArray::fromStdString(kvillo::channel::addRequest(one, std::string(32, 'Z'))) << false << bad;
        QTest::newRow("from another user") << QByteArray::fromStdString(kvillo::channel::addRequest(one, id)) << true << QByteArray();
    }
    void holderRefusesBadRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, asNobody);
        QFETCH(QByteArray, answer);
        if (asNobody && ::geteuid() != 0)
            QSKIP("needs root to run a process as another user");
        ProgramDir dir;
        FakePlatform platform;
        kvillo::SingleInstance instance(dir.directory() + "database/");
        QCOMPARE(instance.start(platform), Decision::Run);
        int added = 0;
        instance.setAddHandler([&](const kvillo::BookLists &, const std::string &) {
            ++added;
            return kvillo::AddressBook::ImportCounts{1, 0};
        });
        const std::string name = kvillo::channel::listenName(dir.directory() + "database/");
        const auto restore = qScopeGuard([this] { ::chmod(runtime().constData(), 0700); });
        QVERIFY(!asNobody || (::chmod(runtime().constData(), 0711) == 0 && ::chmod(name.c_str(), 0777) == 0));
        testutil::Child client(asNobody, [&](const std::function<void()> &, int) {
            const int socket = testutil::localSocket(name, false);
            (void)!::write(socket, request.constData(), static_cast<std::size_t>(request.size()));
            return testutil::receive(socket, 3000, true);
        });
        QCOMPARE(QByteArray::fromStdString(client.finish()), answer);
        QCOMPARE(added, answer == "added 1 0\n" ? 1 : 0);
    }
};

QTEST_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
