#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "app/termination.h"
#include "ui/Unit1.h"
#include "ui/main_window_texts.h"

#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

using namespace gui;

namespace {

const QString kBackup = QStringLiteral("message: Резервирование данных | ");
const QString kRestore = QStringLiteral("message: Восстановление данных | ");

QStringList backupLog(const QString &firstInitial, const QString &secondInitial)
{
    return {kBackup + "Нажмите ОК после чего выберите место для сохранения e-mail Адресной книги.",
        "save-dialog: " + firstInitial, kBackup + "Выберите место для сохранения описаний Адресной книги.",
        "save-dialog: " + secondInitial, kBackup + "Сохранение прошло успешно!"};
}

QStringList restoreLog(const QString &firstInitial, const QString &secondInitial)
{
    return {kRestore + "Нажмите ОК и выберите файл из которого надо загрузить описания Адресной книги",
        "open-dialog: " + firstInitial, kRestore + "Сейчас Вам надо загрузить файл с e-mail Адресной книги",
        "open-dialog: " + secondInitial, kRestore + "Восстановление прошло успешно!"};
}

// A desktop on which the window is closed (or the program asked to end) while a file dialog
// is open: the hook runs in the middle of the dialog numbered `closeInDialog`, counted from 1.
class ClosingPlatform : public FakePlatform
{
public:
    int closeInDialog = 0;
    std::function<void()> whileOpen;
    // Runs while a box with this text is open.
    QString box;
    bool showMessage(const QString &caption, const QString &text, Buttons buttons) override
    {
        const bool answer = FakePlatform::showMessage(caption, text, buttons);
        if (text == box)
            whileOpen();
        return answer;
    }

    std::optional<QString> openFileName(QWidget *parent, const QString &filter, const QString &initial) override
    {
        const std::optional<QString> answer = FakePlatform::openFileName(parent, filter, initial);
        fileDialogShown();
        return answer;
    }
    std::optional<QString> saveFileName(QWidget *parent, const QString &filter, const QString &initial) override
    {
        const std::optional<QString> answer = FakePlatform::saveFileName(parent, filter, initial);
        fileDialogShown();
        return answer;
    }

private:
    void fileDialogShown()
    {
        if (++m_dialogs == closeInDialog && whileOpen)
            whileOpen();
    }
    int m_dialogs = 0;
};

} // namespace

// The backup and the restore of the book's two files, and what a close or an import does to them
// midway.
class TestBackup : public WindowTest
{
    Q_OBJECT

private slots:
    void initTestCase() { prepare(); }
    void init() { reset(); }

    void backupCopiesMailsThenDescriptions()
    {
        ProgramDir dir;
        dir.write("database/mails.dat", "a@x\nb@x"); // lone LF, no final line end
        dir.write("database/descriptions.dat", "A\r\nB\r\n");
        auto form = start(dir);
        select(*form, ListId::Descriptions, 0);

        const QString a = dir.path("a"), b = dir.path("b.bak");
        m_platform.fileAnswers = {a, b};
        trigger(*form, Command::BackUp);
        QCOMPARE(m_platform.lastFilter, QStringLiteral("Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*"));
        QCOMPARE(m_platform.log, backupLog(QString(), a));
        QCOMPARE(dir.read("a.bak"), QByteArray("a@x\r\nb@x"));
        QCOMPARE(dir.read("b.bak.bak"), QByteArray("A\r\nB\r\n"));

        // The next run opens on the name chosen last; cancelling both still reports success.
        m_platform.log.clear();
        trigger(*form, Command::BackUp);
        QCOMPARE(m_platform.log, backupLog(b, b));
    }

    void backupIntoAMissingFolderStopsWithTheError()
    {
        ProgramDir dir;
        dir.writeBook({"A"}, {"a@x"});
        auto form = start(dir);
        const QString target = dir.path("nowhere/a");
        m_platform.fileAnswers = {target};
        trigger(*form, Command::BackUp);
        QCOMPARE(m_platform.log.size(), 3);
        QCOMPARE(m_platform.log.last(),
            QStringLiteral("error: Cannot create file \"%1.bak\". No such file or directory.").arg(target));
    }

    void restoreReplacesBothFilesAndReloads()
    {
        ProgramDir dir;
        dir.writeBook({"old"}, {"old@x"});
        dir.write("d.bak", "D1\rD2\n\nD3\0ignored");
        dir.write("m.bak", "m1@x\r\nm2@x\r\n");
        auto form = start(dir);
        select(*form, ListId::Descriptions, 0);
        m_platform.fileAnswers = {dir.path("d.bak"), dir.path("m.bak")};
        m_platform.yesNoAnswers = {true}; // four descriptions against two addresses: restored all the same
        trigger(*form, Command::Restore);

        QStringList log = restoreLog(QString(), dir.path("d.bak"));
        log.insert(4, "question: " + kvillo::mainWindowText::restoreQuestion({4, 2, false}, true, true));
        QCOMPARE(m_platform.log, log);
        QCOMPARE(dir.read("database/descriptions.dat"), QByteArray("D1\r\nD2\r\n\r\nD3"));
        QCOMPARE(dir.read("database/mails.dat"), QByteArray("m1@x\r\nm2@x\r\n"));
        QCOMPARE(count(*form, ListId::Descriptions), 4);
        QCOMPARE(count(*form, ListId::Mails), 2);
        QCOMPARE(currentIndex(*form, ListId::Descriptions), -1);
    }

    void restoreWithBothDialogsCancelledReloadsTheSavedBook()
    {
        ProgramDir dir;
        dir.writeBook({"A", "B"}, {"a@x", "b@x"});
        auto form = start(dir);
        select(*form, ListId::Descriptions, 0);
        select(*form, ListId::Mails, 0);
        trigger(*form, Command::Delete);
        trigger(*form, Command::Restore);
        QCOMPARE(m_platform.log, restoreLog(QString(), QString()));
        QCOMPARE(count(*form, ListId::Mails), 1); // the delete was saved
        QCOMPARE(itemAt(*form, ListId::Descriptions, 0), std::string("B"));
    }

    void failedRestoreLeavesBothDataFilesAsTheyWere_data()
    {
        QTest::addColumn<QString>("descriptionsFile");
        QTest::addColumn<QString>("mailsFile");
        QTest::newRow("descriptions file missing") << "missing.bak"
                                                   << "m.bak";
        QTest::newRow("mails file missing") << "d.bak"
                                            << "missing.bak";
        QTest::newRow("mails file is a folder") << "d.bak"
                                                << "folder";
    }
    void failedRestoreLeavesBothDataFilesAsTheyWere()
    {
        QFETCH(QString, descriptionsFile);
        QFETCH(QString, mailsFile);
        ProgramDir dir;
        dir.writeBook({"A", "B"}, {"a@x", "b@x"});
        dir.write("d.bak", "D\r\n");
        dir.write("m.bak", "m@x\r\n");
        QDir(dir.path()).mkdir("folder");
        auto form = start(dir);
        deleteEntry(*form, 1); // saved at once
        const QByteArray descriptions = dir.read("database/descriptions.dat");
        const QByteArray mails = dir.read("database/mails.dat");
        m_platform.fileAnswers = {dir.path(descriptionsFile), dir.path(mailsFile)};
        trigger(*form, Command::Restore);

        QVERIFY(m_platform.log.last().startsWith(QStringLiteral("error: Cannot open file \"")));
        QVERIFY(!m_platform.log.join('\n').contains(QStringLiteral("Восстановление прошло успешно!")));
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);
        QCOMPARE(dir.read("database/mails.dat"), mails);
        QCOMPARE(count(*form, ListId::Mails), 1); // not reloaded
    }

    // A close or a shut-down while a restore asks for its files saves the book as it is and
    // cancels the restore: nothing of the backup reaches the data files, whatever the dialog answers.
    void closeDuringARestoreCancelsIt_data()
    {
        QTest::addColumn<int>("dialog");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("bySignal");
        QTest::newRow("close in the second dialog, a file chosen") << 2 << true << false;
        QTest::newRow("close in the second dialog, cancelled") << 2 << false << false;
        QTest::newRow("close in the first dialog") << 1 << true << false;
        QTest::newRow("shut-down signal in the second dialog") << 2 << true << true;
    }
    void closeDuringARestoreCancelsIt()
    {
        QFETCH(int, dialog);
        QFETCH(bool, answered);
        QFETCH(bool, bySignal);
        ProgramDir dir;
        dir.writeBook({"A", "B"}, {"a@x", "b@x"});
        dir.writeSettings("Arial", 10, 89, 701, 497);
        dir.write("d.bak", "backup D1\r\nbackup D2\r\nbackup D3\r\n");
        dir.write("m.bak", "backup1@x\r\nbackup2@x\r\nbackup3@x\r\n");
        ClosingPlatform platform;
        platform.fileAnswers = {dir.path("d.bak")};
        if (answered)
            platform.fileAnswers << dir.path("m.bak");
        const auto window = start(platform, dir);
        TForm1 &form = *window;
        deleteEntry(form, 0); // saved at once

        // Wired as the program wires it; one watch per process, as in the program.
        std::optional<kvillo::TerminationWatch> termination;
        if (bySignal)
            QObject::connect(&termination.emplace(), &kvillo::TerminationWatch::requested, &form, &QWidget::close);
        platform.closeInDialog = dialog;
        platform.whileOpen = [&] {
            if (!bySignal) {
                form.close();
                return;
            }
            ::raise(SIGTERM);
            QTRY_VERIFY(!form.isVisible());
        };
        trigger(form, Command::Restore);

        QVERIFY(!form.isVisible());
        const QByteArray descriptions = ProgramDir::lines({"B"});
        const QByteArray mails = ProgramDir::lines({"b@x"});
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);
        QCOMPARE(dir.read("database/mails.dat"), mails);
        QVERIFY(!platform.log.join('\n').contains(QStringLiteral("Восстановление прошло успешно!")));
        QCOMPARE(count(form, ListId::Descriptions), 1);
        QCOMPARE(itemAt(form, ListId::Descriptions, 0), std::string("B"));
        QCOMPARE(itemAt(form, ListId::Mails, 0), std::string("b@x"));
        // Nothing is asked or shown after the close.
        QCOMPARE(platform.log.size(), 2 * dialog);
        QVERIFY(platform.log.last().startsWith(QStringLiteral("open-dialog: ")));
    }

    // A backup in progress just stops at a close: nothing is written after it.
    void closeDuringABackupStopsIt()
    {
        ProgramDir dir;
        dir.writeBook({"A"}, {"a@x"});
        dir.writeSettings("Arial", 10, 89, 701, 497);
        ClosingPlatform platform;
        platform.fileAnswers = {dir.path("m"), dir.path("d")};
        const auto window = start(platform, dir);
        TForm1 &form = *window;
        platform.closeInDialog = 1;
        platform.whileOpen = [&] { form.close(); };
        trigger(form, Command::BackUp);
        QVERIFY(!form.isVisible());
        QVERIFY(!dir.exists("m.bak"));
        QVERIFY(!dir.exists("d.bak"));
        QCOMPARE(platform.log.size(), 2);
        QCOMPARE(platform.log.last(), QStringLiteral("save-dialog: "));
    }

    // A backup writes the chosen name with ".bak": it asks before replacing that file (not the one
    // chosen), and refuses to write the descriptions over the addresses just written, asking again.
    void backupWritesNoFileUnasked_data()
    {
        QTest::addColumn<QStringList>("chosen"); // "old", "old.bak" and "b" exist; "link.bak" leads to "a.bak"
        QTest::addColumn<bool>("replace");
        QTest::addColumn<QStringList>("written"); // the addresses' file, the descriptions'
        QTest::addColumn<QStringList>("told"); // how many refusals, then questions
        QTest::newRow("the first name, then an existing file")
            << QStringList{"a", "a", "old"} << true << QStringList{"a.bak", "old.bak"} << QStringList{"1", "1"};
        QTest::newRow("a link to the first file")
            << QStringList{"a", "link", "b"} << false << QStringList{"a.bak", "b.bak"} << QStringList{"1", "0"};
        QTest::newRow("an existing file: no, then another name")
            << QStringList{"old", "a", "b"} << false << QStringList{"a.bak", "b.bak"} << QStringList{"0", "1"};
    }
    void backupWritesNoFileUnasked()
    {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, written);
        ProgramDir dir;
        dir.writeBook({"A"}, {"a@x"});
        for (const char *name : {"old", "old.bak", "b"})
            dir.write(name, "old");
        QVERIFY(QFile::link(dir.path("a.bak"), dir.path("link.bak")));
        auto form = start(dir);
        for (const QString &name : chosen)
            m_platform.fileAnswers << dir.path(name);
        QFETCH(bool, replace);
        m_platform.yesNoAnswers = {replace};
        trigger(*form, Command::BackUp);

        const QStringList told{QString::number(m_platform.log.filter(QStringLiteral("только что сохранены")).size()),
            QString::number(m_platform.log.filter("question: ").size())};
        QTEST(told, "told");
        QCOMPARE(dir.read(written[0]), ProgramDir::lines({"a@x"}));
        QCOMPARE(dir.read(written[1]), ProgramDir::lines({"A"}));
        QCOMPARE(dir.read("old"), QByteArray("old"));
        QCOMPARE(dir.read("old.bak"), QByteArray(written.contains("old.bak") ? "A\r\n" : "old"));
    }

    // A restore changes nothing unless both files load whole and pair line by line, or the user says
    // so ("Нет" is the default); a file not chosen is held against the data file as it stands. Once
    // committed, the lists are the restored book: a termination during the success box saves it. An
    // import handed over while a dialog is open cancels the restore rather than be undone by it.
    void restoreChangesNothingUnchecked_data()
    {
        QTest::addColumn<QByteArray>("descriptions"); // "": the dialog cancelled; "sparse": 2 GiB of holes
        QTest::addColumn<QByteArray>("mails");
        QTest::addColumn<QString>("asked"); // the line counts, whether "@" is missing; or the error shown
        QTest::addColumn<bool>("answer");
        const QByteArray three = ProgramDir::lines({"1", "2", "3"}), two = ProgramDir::lines({"x@y", "z@y"});
        const QByteArray noAt = ProgramDir::lines({"X", "Z"});
        QTest::newRow("in step") << two << two << "" << true;
        QTest::newRow("3 against 2: no") << three << two << "3 2 0" << false;
        QTest::newRow("3 against 2: yes") << three << two << "3 2 0" << true;
        QTest::newRow("addresses without @") << two << noAt << "2 2 1" << false;
        QTest::newRow("descriptions only, against 2 addresses") << three << QByteArray() << "3 2 0" << false;
        QTest::newRow("addresses only, without @: yes") << QByteArray() << noAt << "2 2 1" << true;
        QTest::newRow("a NUL") << two << QByteArray("x@y\r\n\0z@y\r\n", 10)
                               << "error: Файл «%1m.bak» содержит нулевой байт" << false;
        // Its holes would read as NULs: refused by its size, it was never read.
        QTest::newRow("2 GiB, sparse") << QByteArray("sparse") << two << "error: Text exceeds memo capacity." << false;
        QTest::newRow("an import during the second dialog") << two << two << "import" << false;
    }
    void restoreChangesNothingUnchecked()
    {
        QFETCH(QByteArray, descriptions);
        QFETCH(QByteArray, mails);
        QFETCH(QString, asked);
        QFETCH(bool, answer);
        ProgramDir dir;
        dir.writeBook({"A <a@x>", "B"}, {"a@x", "b@x"});
        QByteArray stored[] = {dir.read("database/descriptions.dat"), dir.read("database/mails.dat")};
        ClosingPlatform platform;
        for (const auto &[name, text] : {std::pair("d.bak", descriptions), std::pair("m.bak", mails)}) {
            dir.write(name, text);
            platform.fileAnswers << (text.isEmpty() ? std::nullopt : std::optional(dir.path(name)));
        }
        if (descriptions == "sparse")
            QVERIFY(QFile::resize(dir.path("d.bak"), qint64(2) << 30));
        auto form = start(platform, dir);
        platform.yesNoAnswers = {answer};
        platform.box = QStringLiteral("Восстановление прошло успешно!");
        const bool import = asked == "import";
        platform.closeInDialog = import ? 2 : 0;
        platform.whileOpen = [&] {
            kvillo::BookLists entries;
            entries.descriptions.append("I");
            entries.mails.append("i@x");
            if (!import)
                form->closeOnTermination();
            else
                try {
                    form->addHandedOver(entries, {});
                    stored[0] = ProgramDir::lines({"A <a@x>", "B", "I"}),
                    stored[1] = ProgramDir::lines({"a@x", "b@x", "i@x"});
                } catch (const std::exception &) { }
        };
        trigger(*form, Command::Restore);

        const QStringList counts = asked.split(' ');
        if (asked.startsWith("error: "))
            QVERIFY(platform.log.last().startsWith(asked.contains('%') ? asked.arg(dir.path()) : asked));
        else
            QCOMPARE(platform.log.filter("question: "),
                counts.size() < 3 ? QStringList()
                                  : QStringList{"question: "
                                      + kvillo::mainWindowText::restoreQuestion(
                                          {counts[0].toULong(), counts[1].toULong(), counts[2] == "1"},
                                          !descriptions.isEmpty(), !mails.isEmpty())});
        for (const auto &[i, text] : {std::pair(0, descriptions), std::pair(1, mails)})
            stored[i] = answer && !text.isEmpty() ? text : stored[i];
        QCOMPARE(dir.read("database/descriptions.dat"), stored[0]);
        QCOMPARE(dir.read("database/mails.dat"), stored[1]);
        QCOMPARE(form->isVisible(), !answer); // ended at the success box
    }

    void restoringTheMailsIntoTheDescriptionsSwapsTheColumns()
    {
        ProgramDir dir;
        dir.writeBook({"A"}, {"a@x"});
        auto form = start(dir);
        m_platform.fileAnswers = {dir.path("database/mails.dat"), dir.path("database/descriptions.dat")};
        QFile::copy(dir.path("database/mails.dat"), dir.path("m.bak"));
        QFile::copy(dir.path("database/descriptions.dat"), dir.path("d.bak"));
        m_platform.fileAnswers = {dir.path("m.bak"), dir.path("d.bak")};
        m_platform.yesNoAnswers = {true}; // asked, as no address holds "@": the user insists
        trigger(*form, Command::Restore);
        QCOMPARE(m_platform.log.filter("question: ").size(), 1);
        QCOMPARE(itemAt(*form, ListId::Descriptions, 0), std::string("a@x"));
        QCOMPARE(itemAt(*form, ListId::Mails, 0), std::string("A"));
    }
};

QTEST_MAIN(TestBackup)
#include "test_backup.moc"
