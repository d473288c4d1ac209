#include "data_test_util.h"
#include "gui_test_util.h"
#include "testing/fake_canvas.h"
#include "testing/fake_platform.h"

#include "desktop/addresses.h"
#include "desktop/application.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit4.h"
#include "sys/errors.h"
#include "ui/Unit1.h"
#include "ui/list_box.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <optional>

using namespace gui;
using kvillo::TForm3;
using kvillo::TForm4;

namespace {

QStringList entries(const QWidget *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

const QStringList kSixDescriptions{"Иванов", "Петров", "Сидоров", "Козлов", "Новиков", "Орлов"};
const QStringList kSixMails{"ivanov@x.ru", "petrov@x.ru", "sidorov@x.ru", "kozlov@x.ru", "novikov@x.ru", "orlov@x.ru"};

// Clicks the entry's description, as a user picks an entry in the main window.
void clickEntry(const TForm1 &form, int row)
{
    clickRow(listBox(form, ListId::Descriptions), row);
}

// Deletes an entry as a user does: a click on it, then Del.
void deleteClicked(const TForm1 &form, int row)
{
    clickEntry(form, row);
    QTest::keyClick(listBox(form, ListId::Descriptions), Qt::Key_Delete);
}

QStringList without(QStringList texts, int row)
{
    texts.removeAt(row);
    return texts;
}

QStringList replaced(QStringList texts, int row, const QString &text)
{
    texts[row] = text;
    return texts;
}

} // namespace

class TestCommands : public WindowTest
{
    Q_OBJECT

private slots:
    void initTestCase() { prepare(); }
    void init() { reset(); }

    void commandsAreOfferedWhereTheyBelong()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);

        // Every command is an action of the window with its icon; the menus show them by caption.
        for (int number = 1; number <= kvillo::kCommandCount; ++number) {
            const auto *command = form->findChild<QAction *>(QStringLiteral("Action%1").arg(number));
            QVERIFY(command);
            QVERIFY(!command->icon().isNull());
        }
        QCOMPARE(action(*form, Command::Delete)->shortcut(), QKeySequence(Qt::Key_Delete));
        QCOMPARE(action(*form, Command::Help)->shortcut(), QKeySequence(Qt::Key_F1));
        QVERIFY(action(*form, Command::Restore)->shortcut().isEmpty());

        const QMenuBar *bar = form->findChild<QMenuBar *>(QStringLiteral("ActionMainMenuBar1"));
        QCOMPARE(entries(bar), (QStringList{"Ф&айл", "П&равка", "Back&up", "Настройка", "П&омощь"}));
        const QList<QAction *> menus = bar->actions();
        QCOMPARE(entries(menus[0]->menu()), (QStringList{"Свернуть в трей", "-", "Печать", "-", "Выход"}));
        QCOMPARE(entries(menus[1]->menu()), (QStringList{"Добавить", "-", "Копировать", "Изменить", "-", "Удалить"}));
        QCOMPARE(entries(menus[2]->menu()), (QStringList{"Создать", "Восстановить"}));
        QCOMPARE(entries(menus[3]->menu()), (QStringList{"Шрифт"}));
        QCOMPARE(entries(menus[4]->menu()),
            (QStringList{"Вызов справки", "-", "Посетить сайт", "Написать письмо", "Обновление", "-", "О программе"}));
        QCOMPARE(entries(form->findChild<QMenu *>(QStringLiteral("PopupMenu2"))),
            (QStringList{"Написать этому", "-", "Добавить", "-", "Копировать", "Изменить", "-", "Удалить"}));
    }

    // Each toolbar button, clicked, runs its command: what the user sees next tells which one ran.
    void toolbarButtonsRunTheirCommands_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("effect");
        QTest::newRow("SpeedButton1") << "Свернуть" << QRect(8, 2, 97, 48) << "hidden";
        QTest::newRow("SpeedButton2") << "Копировать" << QRect(112, 2, 113, 48) << "clipboard: petrov@x.ru";
        QTest::newRow("SpeedButton3") << "Добавить" << QRect(232, 2, 105, 48) << "dialog: Добавить ";
        QTest::newRow("SpeedButton4") << "Изменить" << QRect(344, 2, 97, 48) << "dialog: Изменить Петров";
        QTest::newRow("SpeedButton5") << "Веб сайт" << QRect(448, 2, 97, 48) << "url: http://www.kvillo.example.org";
        QTest::newRow("SpeedButton6") << "" << QRect(552, 2, 60, 48)
                                      << "message: Резервирование данных | Нажмите ОК после чего выберите место для "
                                         "сохранения e-mail Адресной книги.";
        QTest::newRow("SpeedButton7") << "" << QRect(616, 2, 60, 48)
                                      << "message: Восстановление данных | Нажмите ОК и выберите файл из которого надо "
                                         "загрузить описания Адресной книги";
    }
    void toolbarButtonsRunTheirCommands()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        selectEntry(*form, 1);
        auto *button = form->findChild<QToolButton *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(button);
        QTEST(button->text(), "caption");
        QTEST(button->geometry(), "geometry");
        // The command's caption, also where the button has none.
        QVERIFY(!button->toolTip().isEmpty());
        QVERIFY(!button->icon().isNull());

        QTest::mouseClick(button, Qt::LeftButton);
        QStringList effects = m_platform.log.mid(0, 1);
        if (!form->isVisible())
            effects << QStringLiteral("hidden");
        for (const auto *dialog : visibleDialogs<kvillo::EntryDialog>(*form))
            effects << "dialog: " + dialog->windowTitle() + ' ' + dialog->edit2()->text();
        QTEST(effects.join('\n'), "effect");
    }

    void commandsWithNothingSelected_data()
    {
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<bool>("beep");
        QTest::newRow("Del: no beep") << QKeySequence(Qt::Key_Delete) << false;
        QTest::newRow("Ctrl+C") << QKeySequence(Qt::CTRL | Qt::Key_C) << true;
        QTest::newRow("Ctrl+P") << QKeySequence(Qt::CTRL | Qt::Key_P) << true;
        QTest::newRow("Ctrl+W") << QKeySequence(Qt::CTRL | Qt::Key_W) << true;
    }
    void commandsWithNothingSelected()
    {
        QFETCH(QKeySequence, key);
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        QWidget *list = listBox(*form, ListId::Descriptions);
        list->setFocus();
        QTest::keySequence(list, key);

        QStringList expected{QStringLiteral("notice: Выберите пункт!")};
        if (QTest::currentDataTag() != QByteArray("Del: no beep"))
            expected << QStringLiteral("beep");
        QCOMPARE(m_platform.log, expected);
        QCOMPARE(count(*form, ListId::Descriptions), 3);
        QVERIFY(visibleDialogs<TForm4>(*form).isEmpty());
    }

    void copyPutsTheSelectedAddressOnTheClipboard()
    {
        ProgramDir dir;
        dir.writeBook({"a", "b", "c", "d"}, {"a@x", "", "c@x"});
        auto form = start(dir);
        selectEntry(*form, 0);
        trigger(*form, Command::Copy);
        QCOMPARE(m_platform.log, QStringList{"clipboard: a@x"});

        // An empty address copies nothing.
        selectEntry(*form, 1);
        trigger(*form, Command::Copy);
        QCOMPARE(m_platform.log.size(), 1);

        // A description without an address.
        select(*form, ListId::Descriptions, 3);
        select(*form, ListId::Mails, -1);
        trigger(*form, Command::Copy);
        QCOMPARE(m_platform.log.last(), QStringLiteral("notice: Пожалуйста, выберите адрес!"));
        QCOMPARE(m_platform.clipboard, QStringLiteral("a@x"));
    }

    void deleteRemovesTheEntryAndSaves()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        selectEntry(*form, 1);
        trigger(*form, Command::Delete);
        QCOMPARE(itemAt(*form, ListId::Descriptions, 1), std::string("\xd1\xe8\xe4\xee\xf0\xee\xe2")); // Сидоров
        QCOMPARE(count(*form, ListId::Mails), 2);
        QCOMPARE(currentIndex(*form, ListId::Descriptions), -1);
        QCOMPARE(currentIndex(*form, ListId::Mails), -1);
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru", "sidorov@x.ru"}));
        QVERIFY(form->close());
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru", "sidorov@x.ru"}));
    }

    void writeToThisOnePassesOnlyTheRecipient_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("url");
        QTest::newRow("plain") << "ivanov@x.ru"
                               << "mailto:ivanov@x.ru";
        QTest::newRow("spaces kept") << " a b@x.ru "
                                     << "mailto: a b@x.ru ";
        QTest::newRow("attachment") << "x@y.ru?attach=/home/user/.ssh/id_rsa"
                                    << "mailto:x@y.ru%3Fattach=/home/user/.ssh/id_rsa";
        QTest::newRow("fields") << "x@y.ru?cc=a@b&body=hi#x%20"
                                << "mailto:x@y.ru%3Fcc=a@b%26body=hi%23x%2520";
        QTest::newRow("second recipient after a comma") << "victim@x.ru,attacker@evil.example"
                                                        << "mailto:victim@x.ru%2Cattacker@evil.example";
        QTest::newRow("recipients after semicolons") << "a@x.ru;b@evil.example; c@evil.example"
                                                     << "mailto:a@x.ru%3Bb@evil.example%3B c@evil.example";
    }
    void writeToThisOnePassesOnlyTheRecipient()
    {
        QFETCH(QString, stored);
        ProgramDir dir;
        dir.writeBook({"a"}, {stored});
        auto form = start(dir);
        select(*form, ListId::Mails, 0);
        trigger(*form, Command::WriteToThisOne);
        QFETCH(QString, url);
        QCOMPARE(m_platform.log, QStringList{QStringLiteral("url: ") + url});
    }

    void webCommandsOpenTheirAddresses()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        trigger(*form, Command::VisitSite);
        trigger(*form, Command::WriteToSupport);
        trigger(*form, Command::CheckForUpdate);
        m_platform.messageAnswers = {false, true};
        trigger(*form, Command::Help);
        trigger(*form, Command::Help);
        const QString help
            = QStringLiteral("message: Вызов справки | Вам необходимо посетить сайт разработчика. Нажмите ОК "
                             "для продолжения.");
        QCOMPARE(m_platform.log,
            (QStringList{"url: http://www.kvillo.example.org", "url: mailto:support@kvillo.example.org",
                "url: http://www.kvillo.example.org/update.htm?kvillo=2.1", help, help,
                "url: http://www.kvillo.example.org/kvillo.htm"}));
    }

    void fontChangesOnlyNameAndSizeOfTheLists()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        QFont chosen(QStringLiteral("Courier"), 14);
        chosen.setBold(true);
        chosen.setItalic(true);
        m_platform.fontAnswer = chosen;
        trigger(*form, Command::Font);
        for (ListId id : {ListId::Descriptions, ListId::Mails}) {
            const QFont font = listBox(*form, id)->font();
            QCOMPARE(font.family(), QStringLiteral("Courier"));
            QCOMPARE(font.pointSize(), 14);
            QVERIFY(!font.bold() && !font.italic());
        }
        // The dialog opens next time on the whole font last chosen; cancelling changes nothing.
        m_platform.fontAnswer.reset();
        trigger(*form, Command::Font);
        QVERIFY(m_platform.lastFontOffered.bold());
        QCOMPARE(listBox(*form, ListId::Mails)->font().pointSize(), 14);
        QVERIFY(form->close());
        QVERIFY(dir.read("config/config.ini").contains("FontName=\r\nCourier\r\nFontSize=\r\n14\r\n"));
    }

    // The settings keep 31 bytes of a font's name: a longer name chosen in the dialog is the same
    // before and after a restart.
    void aLongFontNameComesBackAfterARestart()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        const QString name = QStringLiteral("Гарнитура с очень длинным именем шрифта");
        const QString kept = name.left(31);
        {
            auto form = start(dir);
            m_platform.fontAnswer = QFont(name, 12);
            trigger(*form, Command::Font);
            QCOMPARE(listBox(*form, ListId::Mails)->font().family(), kept);
            QVERIFY(form->close());
        }
        QVERIFY(dir.read("config/config.ini").contains("FontName=\r\n" + ProgramDir::lines({kept})));
        auto form = start(dir);
        for (ListId id : {ListId::Descriptions, ListId::Mails})
            QCOMPARE(listBox(*form, id)->font().family(), kept);
        QCOMPARE(listBox(*form, ListId::Mails)->font().pointSize(), 12);
    }

    void addDialogAppendsAndSavesAtOnce()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        QTest::keyClick(listBox(*form, ListId::Mails), Qt::Key_V, Qt::ControlModifier);
        QList<TForm3 *> dialogs = visibleDialogs<TForm3>(*form);
        QCOMPARE(dialogs.size(), 1);
        TForm3 *add = dialogs.first();
        QCOMPARE(add->windowTitle(), QStringLiteral("Добавить"));
        QCOMPARE(add->size(), QSize(217, 176));
        QVERIFY(!add->isModal());
        QCOMPARE(add->findChild<QGroupBox *>("GroupBox1")->title(), QStringLiteral("E-mail"));
        QCOMPARE(add->findChild<QGroupBox *>("GroupBox2")->title(), QStringLiteral("Описание"));
        QCOMPARE(add->findChild<QPushButton *>("BitBtn2")->text(), QStringLiteral("Отмена"));
        QCOMPARE(add->findChild<QPushButton *>("BitBtn2")->geometry(), QRect(112, 144, 81, 25));
        QTRY_COMPARE(QApplication::focusWidget(), add->edit1());

        typeText(add->edit1(), QStringLiteral("new@x.ru"));
        QTest::keyClick(add->edit1(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), add->edit2());
        typeText(add->edit2(), QStringLiteral("Новиков"));
        QTest::keyClick(add->edit2(), Qt::Key_Return);

        QVERIFY(!add->isVisible());
        QCOMPARE(count(*form, ListId::Descriptions), 4);
        QCOMPARE(dir.read("database/mails.dat"),
            ProgramDir::lines({"ivanov@x.ru", "petrov@x.ru", "sidorov@x.ru", "new@x.ru"}));
        QCOMPARE(dir.read("database/descriptions.dat"), ProgramDir::lines({"Иванов", "Петров", "Сидоров", "Новиков"}));
        QVERIFY(m_platform.log.isEmpty());
    }

    void addDialogsConfirmInTheirOwnOrder()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        trigger(*form, Command::Add);
        trigger(*form, Command::Add);
        const QList<TForm3 *> dialogs = visibleDialogs<TForm3>(*form);
        QCOMPARE(dialogs.size(), 2);
        dialogs[1]->edit1()->setText(QStringLiteral("second@x"));
        pressOk(dialogs[1]);
        // Both fields empty: an entry of two empty strings.
        pressOk(dialogs[0]);
        QCOMPARE(dir.read("database/mails.dat"),
            ProgramDir::lines({"ivanov@x.ru", "petrov@x.ru", "sidorov@x.ru", "second@x", ""}));
        QCOMPARE(dir.read("database/descriptions.dat"), ProgramDir::lines({"Иванов", "Петров", "Сидоров", "", ""}));
    }

    void textsTheBookCannotStoreAreRefused()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        TForm3 *add = openDialog<TForm3>(*form, Command::Add);
        add->edit1()->setText(QStringLiteral("a@x"));
        add->edit2()->setText(QStringLiteral("Café ☺ 漢☺"));
        pressOk(add);
        QCOMPARE(m_platform.log.size(), 1);
        QVERIFY(m_platform.log.first().startsWith(QStringLiteral("notice: ")));
        QVERIFY(m_platform.log.first().contains(QStringLiteral("«é☺漢»")));
        QVERIFY(add->isVisible());
        QCOMPARE(count(*form, ListId::Mails), 3);
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru", "petrov@x.ru", "sidorov@x.ru"}));
    }

    // A line break or a NUL inside an entry would split or cut its line in the data files, and
    // every later entry would be paired with the wrong address. Pasted ones are refused on OK.
    void pastedLineBreaksAndNulsAreRefused_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("named");
        QTest::newRow("line feed") << QStringLiteral("new@example.org\n") << QStringLiteral("перевод строки");
        QTest::newRow("carriage return") << QStringLiteral("new@\rexample.org") << QStringLiteral("перевод строки");
        QTest::newRow("CR LF") << QStringLiteral("new@example.org\r\n") << QStringLiteral("перевод строки");
        QTest::newRow("NUL") << QString::fromUtf16(u"new@example\0.org", 16) << QStringLiteral("символ NUL");
    }
    void pastedLineBreaksAndNulsAreRefused()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, named);
        ProgramDir dir;
        writeSampleBook(dir);
        const QByteArray mails = dir.read("database/mails.dat");
        const QByteArray descriptions = dir.read("database/descriptions.dat");
        auto form = start(dir);
        selectEntry(*form, 1);
        QTest::keyClick(listBox(*form, ListId::Mails), Qt::Key_P, Qt::ControlModifier);
        TForm4 *edit = visibleDialogs<TForm4>(*form).first();
        QLineEdit *mail = edit->edit1();
        QTRY_COMPARE(QApplication::focusWidget(), mail);

        QGuiApplication::clipboard()->setText(pasted);
        mail->selectAll();
        QTest::keyClick(mail, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(mail->text(), pasted);
        QCOMPARE(visibleDialogs<TForm3>(*form).size(), 0); // pasted, not the Add command
        QTest::keyClick(mail, Qt::Key_Return);

        QCOMPARE(m_platform.log.size(), 1);
        QVERIFY(m_platform.log.first().startsWith(QStringLiteral("notice: ")));
        QVERIFY2(m_platform.log.first().contains(named), qPrintable(m_platform.log.first()));
        QVERIFY(edit->isVisible());
        QCOMPARE(dir.read("database/mails.dat"), mails);
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);
        QCOMPARE(itemAt(*form, ListId::Mails, 1), std::string("petrov@x.ru"));
        QCOMPARE(count(*form, ListId::Mails), 3);
        QCOMPARE(count(*form, ListId::Descriptions), 3);

        // Once the offending characters are gone, OK stores the address.
        const QString clean = QString(pasted).remove(QChar('\n')).remove(QChar('\r')).remove(QChar(u'\0'));
        mail->selectAll();
        typeText(mail, clean);
        QTest::keyClick(mail, Qt::Key_Return);
        QVERIFY(!edit->isVisible());
        QCOMPARE(m_platform.log.size(), 1);
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru", clean, "sidorov@x.ru"}));
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);
    }

    // Whatever way a line break gets into an edit box, OK is the gate: the description too, and
    // the Add dialog as well as the Edit dialog.
    void lineBreaksFromAnyPathAreRefusedInBothDialogs()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        const QByteArray mails = dir.read("database/mails.dat");
        auto form = start(dir);
        trigger(*form, Command::Add);
        TForm3 *add = visibleDialogs<TForm3>(*form).first();
        QTRY_COMPARE(QApplication::focusWidget(), add->edit1());
        typeText(add->edit1(), QStringLiteral("a@x"));
        QTest::keyClick(add->edit1(), Qt::Key_Tab);

        // A text dropped onto the edit box.
        auto *dropped = new QMimeData;
        dropped->setText(QStringLiteral("Первая\nвторая"));
        QLineEdit *description = add->edit2();
        const QPoint at = description->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(description, &enter);
        QDropEvent drop(at, Qt::CopyAction, dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(description, &drop);
        delete dropped;
        QCOMPARE(description->text(), QStringLiteral("Первая\nвторая"));
        // Ctrl+Enter and Shift+Enter insert nothing, and only Enter presses OK.
        QTest::keyClick(description, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClick(description, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(description->text(), QStringLiteral("Первая\nвторая"));
        QVERIFY(m_platform.log.isEmpty());
        QTest::keyClick(description, Qt::Key_Return);
        QCOMPARE(m_platform.log.size(), 1);
        QVERIFY(m_platform.log.first().contains(QStringLiteral("перевод строки")));
        QVERIFY(add->isVisible());
        QCOMPARE(count(*form, ListId::Mails), 3);
        QCOMPARE(dir.read("database/mails.dat"), mails);

        QTest::keyClick(description, Qt::Key_End);
        for (int i = 0; i < 7; ++i)
            QTest::keyClick(description, Qt::Key_Backspace);
        QTest::keyClick(description, Qt::Key_Return);
        QVERIFY(!add->isVisible());
        QCOMPARE(dir.read("database/descriptions.dat"), ProgramDir::lines({"Иванов", "Петров", "Сидоров", "Первая"}));
    }

    void cancelClosesWithoutChange()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        TForm3 *add = openDialog<TForm3>(*form, Command::Add);
        add->edit1()->setText(QStringLiteral("a@x"));
        QTest::keyClick(add->edit1(), Qt::Key_Escape);
        QVERIFY(!add->isVisible());
        add = openDialog<TForm3>(*form, Command::Add);
        QTest::mouseClick(add->findChild<QPushButton *>("BitBtn2"), Qt::LeftButton);
        QVERIFY(!add->isVisible());
        QCOMPARE(count(*form, ListId::Mails), 3);
    }

    // The dialog edits the entry it was opened on: picking another entry in the main window
    // meanwhile must not overwrite that one.
    void editDialogReplacesTheEntryItWasOpenedOn()
    {
        ProgramDir dir;
        dir.writeBook(kSixDescriptions, kSixMails);
        auto form = start(dir);
        clickEntry(*form, 1);
        QTest::keyClick(listBox(*form, ListId::Descriptions), Qt::Key_P, Qt::ControlModifier);
        TForm4 *edit = visibleDialogs<TForm4>(*form).first();
        QCOMPARE(edit->windowTitle(), QStringLiteral("Изменить"));
        QCOMPARE(edit->size(), QSize(215, 175));
        QCOMPARE(edit->findChild<QPushButton *>("BitBtn2")->geometry(), QRect(120, 144, 73, 25));
        QCOMPARE(edit->edit1()->text(), QStringLiteral("petrov@x.ru"));
        QCOMPARE(edit->edit2()->text(), QStringLiteral("Петров"));

        clickEntry(*form, 4);
        QCOMPARE(currentIndex(*form, ListId::Mails), 4);
        edit->edit1()->setText(QStringLiteral("changed@x"));
        edit->edit2()->setText(QStringLiteral("Петров-Водкин"));
        pressOk(edit);

        QVERIFY(!edit->isVisible());
        QVERIFY(m_platform.log.isEmpty());
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines(replaced(kSixMails, 1, "changed@x")));
        QCOMPARE(
            dir.read("database/descriptions.dat"), ProgramDir::lines(replaced(kSixDescriptions, 1, "Петров-Водкин")));
        QCOMPARE(itemAt(*form, ListId::Mails, 1), std::string("changed@x"));
        QCOMPARE(itemAt(*form, ListId::Mails, 4), std::string("novikov@x.ru"));
        QCOMPARE(
            listBox(*form, ListId::Descriptions)->model()->index(4, 0).data().toString(), QStringLiteral("Новиков"));
        QCOMPARE(count(*form, ListId::Descriptions), 6);
        // The entry picked meanwhile stays picked.
        QCOMPARE(currentIndex(*form, ListId::Descriptions), 4);
        QCOMPARE(currentIndex(*form, ListId::Mails), 4);
    }

    // Entries deleted above it and added below it while the dialog is open move the entry or
    // not; OK replaces it where it is then.
    void editDialogFollowsItsEntryThroughOtherChanges()
    {
        ProgramDir dir;
        dir.writeBook(kSixDescriptions, kSixMails);
        auto form = start(dir);
        clickEntry(*form, 2);
        TForm4 *edit = openDialog<TForm4>(*form, Command::Edit);
        QCOMPARE(edit->edit2()->text(), QStringLiteral("Сидоров"));
        deleteClicked(*form, 0);
        addEntry(*form, "new@x", "Новый");
        deleteClicked(*form, 4);
        edit->edit1()->setText(QStringLiteral("sidorov@y.ru"));
        pressOk(edit);

        QVERIFY(!edit->isVisible());
        QVERIFY(m_platform.log.isEmpty());
        QCOMPARE(dir.read("database/mails.dat"),
            ProgramDir::lines({"petrov@x.ru", "sidorov@y.ru", "kozlov@x.ru", "novikov@x.ru", "new@x"}));
        QCOMPARE(dir.read("database/descriptions.dat"),
            ProgramDir::lines({"Петров", "Сидоров", "Козлов", "Новиков", "Новый"}));
        QCOMPARE(itemAt(*form, ListId::Mails, 1), std::string("sidorov@y.ru"));
    }

    // The entry itself is deleted while the dialog is open: OK says so and stores nothing, in
    // its place or anywhere else. The dialog stays, with the texts typed, until Cancel.
    void editOfAnEntryDeletedMeanwhileStoresNothing()
    {
        ProgramDir dir;
        dir.writeBook(kSixDescriptions, kSixMails);
        auto form = start(dir);
        clickEntry(*form, 1);
        TForm4 *edit = openDialog<TForm4>(*form, Command::Edit);
        edit->edit1()->setText(QStringLiteral("changed@x"));
        deleteClicked(*form, 1); // saved at once
        const QByteArray mails = dir.read("database/mails.dat");
        const QByteArray descriptions = dir.read("database/descriptions.dat");
        clickEntry(*form, 3);
        pressOk(edit);
        pressOk(edit);

        const QString notice
            = QStringLiteral("notice: Эта запись была удалена, пока окно «Изменить» было открыто. Ничего не изменено.");
        QCOMPARE(m_platform.log, (QStringList{notice, notice}));
        QVERIFY(edit->isVisible());
        QCOMPARE(edit->edit1()->text(), QStringLiteral("changed@x"));
        QCOMPARE(dir.read("database/mails.dat"), mails);
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);
        QCOMPARE(count(*form, ListId::Mails), 5);
        QCOMPARE(count(*form, ListId::Descriptions), 5);
        QCOMPARE(itemAt(*form, ListId::Mails, 3), std::string("novikov@x.ru"));

        QTest::mouseClick(edit->findChild<QPushButton *>("BitBtn2"), Qt::LeftButton);
        QVERIFY(!edit->isVisible());
        QVERIFY(form->close());
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines(without(kSixMails, 1)));
        QCOMPARE(dir.read("database/descriptions.dat"), ProgramDir::lines(without(kSixDescriptions, 1)));
    }

    // The edit boxes hold texts of any length: editing only the address keeps a long description
    // whole, and a long pasted text is stored whole.
    void longTextsAreKeptWhole()
    {
        ProgramDir dir;
        QString longDescription;
        for (int i = 0; i < 40000; ++i)
            longDescription += QChar(i % 3 == 0 ? u'Ж' : i % 3 == 1 ? u'z' : u' ');
        dir.writeBook({"Иванов", longDescription}, {"ivanov@x.ru", "long@x.ru"});
        const QByteArray descriptions = dir.read("database/descriptions.dat");
        auto form = start(dir);
        selectEntry(*form, 1);
        QTest::keyClick(listBox(*form, ListId::Mails), Qt::Key_P, Qt::ControlModifier);
        TForm4 *edit = visibleDialogs<TForm4>(*form).first();
        QTRY_COMPARE(QApplication::focusWidget(), edit->edit1());
        QTest::keyClick(edit->edit1(), Qt::Key_End);
        typeText(edit->edit1(), QStringLiteral("m"));
        QTest::keyClick(edit->edit1(), Qt::Key_Return);
        QVERIFY(!edit->isVisible());
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru", "long@x.rum"}));
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);

        trigger(*form, Command::Add);
        TForm3 *add = visibleDialogs<TForm3>(*form).first();
        QTRY_COMPARE(QApplication::focusWidget(), add->edit1());
        QGuiApplication::clipboard()->setText(QString(50000, QLatin1Char('a')));
        QTest::keyClick(add->edit1(), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(add->edit1(), Qt::Key_Return);
        QVERIFY(!add->isVisible());
        QCOMPARE(itemAt(*form, ListId::Mails, 2).size(), std::size_t(50000));
    }

    void editDialogOnAnEntryWithoutAddress()
    {
        ProgramDir dir;
        dir.writeBook({"a", "b"}, {"a@x"});
        auto form = start(dir);
        select(*form, ListId::Descriptions, 1);
        select(*form, ListId::Mails, -1);
        trigger(*form, Command::Edit);
        QCOMPARE(m_platform.log, QStringList{"error: List index out of bounds (-1)"});
        TForm4 *edit = visibleDialogs<TForm4>(*form).first();
        QVERIFY(edit->edit1()->text().isEmpty());
        QVERIFY(edit->edit2()->text().isEmpty());
    }

    void failedSaveKeepsTheDialogOpen()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        TForm3 *add = openDialog<TForm3>(*form, Command::Add);
        add->edit1()->setText(QStringLiteral("a@x"));
        QDir(dir.path("database")).removeRecursively();
        pressOk(add);
        const QString error = QStringLiteral("error: Cannot create file \"%1\". No such file or directory.")
                                  .arg(dir.path("database/mails.dat"));
        QCOMPARE(m_platform.log, QStringList{error});
        QVERIFY(add->isVisible());
        QCOMPARE(count(*form, ListId::Mails), 3);
        pressOk(add);
        QCOMPARE(m_platform.log, (QStringList{error, error}));
        QCOMPARE(count(*form, ListId::Mails), 3);

        // With the folder back, OK stores the entry once.
        QDir(dir.path()).mkpath("database");
        pressOk(add);
        QVERIFY(!add->isVisible());
        QCOMPARE(
            dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru", "petrov@x.ru", "sidorov@x.ru", "a@x"}));
        QCOMPARE(count(*form, ListId::Descriptions), 4);
    }

    // A save that fails (a full disk) leaves the lists and the files as they were and the dialog
    // open; once the disk has room, OK stores the entry exactly once.
    void okAgainAfterAFailedSaveStoresTheEntryOnce_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<int>("nth");
        QTest::newRow("Add: mails cannot be written") << false << 1;
        QTest::newRow("Add: descriptions cannot be written") << false << 2;
        QTest::newRow("Edit: mails cannot be written") << true << 1;
        QTest::newRow("Edit: descriptions cannot be written") << true << 2;
    }
    void okAgainAfterAFailedSaveStoresTheEntryOnce()
    {
        QFETCH(bool, edit);
        QFETCH(int, nth);
        ProgramDir dir;
        dir.writeBook(kSixDescriptions, kSixMails);
        const QByteArray mails = dir.read("database/mails.dat");
        const QByteArray descriptions = dir.read("database/descriptions.dat");
        auto form = start(dir);
        clickEntry(*form, 2);
        QDialog *dialog = nullptr;
        if (edit) {
            TForm4 *form4 = openDialog<TForm4>(*form, Command::Edit);
            form4->edit1()->setText(QStringLiteral("sidorov@y.ru"));
            dialog = form4;
        } else {
            TForm3 *form3 = openDialog<TForm3>(*form, Command::Add);
            form3->edit1()->setText(QStringLiteral("new@x"));
            form3->edit2()->setText(QStringLiteral("Новый"));
            dialog = form3;
        }

        std::optional<testutil::FailingStep> fullDisk;
        fullDisk.emplace(kvillo::sys::Step::Write, nth, ENOSPC);
        pressOk(dialog);
        fullDisk.reset();
        QCOMPARE(m_platform.log.size(), 1);
        QVERIFY2(m_platform.log.first().startsWith(QStringLiteral("error: Stream write error")),
            qPrintable(m_platform.log.first()));
        QVERIFY(dialog->isVisible());
        QCOMPARE(dir.read("database/mails.dat"), mails);
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);
        QCOMPARE(count(*form, ListId::Mails), 6);
        QCOMPARE(count(*form, ListId::Descriptions), 6);
        QCOMPARE(itemAt(*form, ListId::Mails, 2), std::string("sidorov@x.ru"));
        QCOMPARE(listBox(*form, ListId::Mails)->model()->rowCount(), 6);

        pressOk(dialog);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(m_platform.log.size(), 1);
        if (edit) {
            QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines(replaced(kSixMails, 2, "sidorov@y.ru")));
            QCOMPARE(dir.read("database/descriptions.dat"), descriptions);
        } else {
            QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines(QStringList(kSixMails) << "new@x"));
            QCOMPARE(
                dir.read("database/descriptions.dat"), ProgramDir::lines(QStringList(kSixDescriptions) << "Новый"));
        }
        QCOMPARE(listBox(*form, ListId::Mails)->model()->rowCount(), edit ? 6 : 7);
        QCOMPARE(count(*form, ListId::Descriptions), edit ? 6 : 7);
    }

    // A data file cut short by a NUL byte is kept aside whole by the first save over it, and the
    // user is told once where.
    void theCopyOfAFileCutAtANulIsNamedOnce()
    {
        ProgramDir dir;
        const char raw[] = "ivanov@x.ru\r\npet\0rov@x.ru\r\nsidorov@x.ru\r\n";
        const QByteArray stored(raw, sizeof raw - 1);
        dir.write("database/mails.dat", stored);
        dir.write("database/descriptions.dat", ProgramDir::lines({"Иванов", "Петров", "Сидоров"}));
        auto form = start(dir);
        QCOMPARE(count(*form, ListId::Mails), 2);
        QVERIFY(m_platform.log.isEmpty());

        addEntry(*form, "new@x", "Новый");
        const QStringList copies = QDir(dir.path("database")).entryList({"mails.dat.unloaded-*"});
        QCOMPARE(copies.size(), 1);
        QCOMPARE(dir.read("database/" + copies.first()), stored);
        QCOMPARE(m_platform.log,
            QStringList{QStringLiteral("notice: Файл «%1» был прочитан не полностью (в нём есть нулевой байт) или не "
                                       "прочитан вовсе. Его прежнее содержимое сохранено в «%2».")
                            .arg(dir.path("database/mails.dat"), dir.path("database/" + copies.first()))});
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru", "pet", "new@x"}));

        // Later saves have nothing more to keep aside and say nothing.
        addEntry(*form, "next@x", "Следующий");
        clickEntry(*form, 0);
        TForm4 *edit = openDialog<TForm4>(*form, Command::Edit);
        pressOk(edit);
        QVERIFY(form->close());
        QCOMPARE(m_platform.log.size(), 1);
        QCOMPARE(QDir(dir.path("database")).entryList({"*.unloaded-*"}), copies);
    }

    void editingKeysEditTheTextOtherKeysRunCommands()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        selectEntry(*form, 1);
        TForm3 *add = openDialog<TForm3>(*form, Command::Add);
        QTRY_COMPARE(QApplication::focusWidget(), add->edit1());
        QLineEdit *edit = add->edit1();
        edit->setText(QStringLiteral("abc"));
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier); // cuts, does not end the program
        QVERIFY(edit->text().isEmpty());
        QVERIFY(form->isVisible());
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), QStringLiteral("abc"));
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Delete);
        QCOMPARE(edit->text(), QStringLiteral("bc"));
        QCOMPARE(count(*form, ListId::Descriptions), 3);
        // Ctrl+A selects the text here; in the lists it prints.
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(edit->selectedText(), QStringLiteral("bc"));
        QVERIFY(!m_platform.log.contains(QStringLiteral("print-dialog")));
        QCOMPARE(visibleDialogs<TForm3>(*form).size(), 1);

        // With the main window hidden in the tray, Ctrl+P here edits the entry selected there.
        trigger(*form, Command::MinimizeToTray);
        QVERIFY(!form->isVisible());
        QTest::keyClick(edit, Qt::Key_P, Qt::ControlModifier);
        const QList<TForm4 *> edits = visibleDialogs<TForm4>(*form);
        QCOMPARE(edits.size(), 1);
        QCOMPARE(edits.first()->edit2()->text(), QStringLiteral("Петров"));
    }

    void printCommand()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        QStringList printed;
        m_platform.makeCanvas = [&] { return std::make_unique<FakeCanvas>(&printed); };

        m_platform.printAnswer = false;
        QTest::keyClick(listBox(*form, ListId::Mails), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(m_platform.log, QStringList{"print-dialog"});
        QVERIFY(statusText(*form).isEmpty());

        m_platform.printAnswer = true;
        trigger(*form, Command::Print);
        QCOMPARE(m_platform.log, (QStringList{"print-dialog", "print-dialog", "print-job"}));
        QCOMPARE(statusText(*form), QStringLiteral("Печать..."));
        QVERIFY(printed.filter(QStringLiteral("---    ivanov@x.ru")).size() == 1);
        QCOMPARE(printed.last(), QStringLiteral("end"));

        // A missing description stops the report before any dialog.
        ProgramDir shorter;
        shorter.writeBook({"Иванов", "Петров"}, {"ivanov@x.ru", "petrov@x.ru", "sidorov@x.ru"});
        form = start(shorter);
        m_platform.log.clear();
        trigger(*form, Command::Print);
        QCOMPARE(m_platform.log, QStringList{"error: List index out of bounds (2)"});
    }

    void tabReachesEveryControl()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        QWidget *list1 = listBox(*form, ListId::Descriptions);
        list1->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), list1);
        QStringList order;
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order,
            (QStringList{"ListBox2", "SpeedButton1", "SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton5",
                "SpeedButton6", "SpeedButton7", "ListBox1"}));
        // A focused toolbar button answers Space.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("SpeedButton5"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(m_platform.log, QStringList{"url: http://www.kvillo.example.org"});
    }

    void menuMnemonicsOpenTheirMenus()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        const QMenuBar *bar = form->findChild<QMenuBar *>(QStringLiteral("ActionMainMenuBar1"));
        QMenu *edit = bar->actions()[1]->menu();
        QTest::sendKeyEvent(
            QTest::Press, form.get(), Qt::Key(QChar(u'Р').unicode()), QStringLiteral("р"), Qt::AltModifier);
        QTRY_VERIFY(edit->isVisible());
        QTest::keyClick(edit, Qt::Key_Escape);
        QTRY_VERIFY(!edit->isVisible());
    }

    void exitKeySavesAndCloses()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        deleteEntry(*form, 1);
        QTest::keyClick(listBox(*form, ListId::Mails), Qt::Key_X, Qt::ControlModifier);
        QVERIFY(!form->isVisible());
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"ivanov@x.ru", "sidorov@x.ru"}));
    }
};

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
