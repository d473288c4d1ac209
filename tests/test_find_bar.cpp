#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "desktop/application.h"
#include "dialogs/Unit3.h"
#include "ui/Unit1.h"
#include "ui/find_bar.h"
#include "ui/list_box.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <memory>

using kvillo::FindBar;
using kvillo::ListId;
using kvillo::TForm1;

namespace {

using Keys = QList<QKeyCombination>;
const Keys none;
const QKeyCombination f3(Qt::Key_F3), shiftF3(Qt::SHIFT | Qt::Key_F3);
const QString forward = "Поиск продолжен с начала", back = "Поиск продолжен с конца";

// The columns every find table ends with: what is typed, the keys pressed after it, and the entry
// found with what the bar says.
void addFindColumns()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<int>("found");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("wrapped");
}

} // namespace

// The find bar through the keys a user presses on the real window.
class TestFindBar : public gui::WindowTest
{
    Q_OBJECT

    ProgramDir m_dir;
    ProgramDir m_largeDir;

    std::unique_ptr<TForm1> start(ListId from, int selected)
    {
        auto form = WindowTest::start(m_dir);
        gui::selectEntry(*form, selected);
        gui::listBox(*form, from)->setFocus();
        return form;
    }
    // 5000 entries "Запись N" with "userN@x.ru", "Особая" in entries 3 and 4000.
    std::unique_ptr<TForm1> startLarge(int selected)
    {
        QStringList descriptions, mails;
        for (int i = 0; i < 5000; ++i) {
            descriptions << QStringLiteral("Запись %1%2").arg(i).arg(i == 3 || i == 4000 ? " Особая" : "");
            mails << QStringLiteral("user%1@x.ru").arg(i);
        }
        m_largeDir.writeBook(descriptions, mails);
        auto form = WindowTest::start(m_largeDir);
        gui::selectEntry(*form, selected);
        gui::listBox(*form, ListId::Descriptions)->setFocus();
        return form;
    }
    static FindBar *bar(const TForm1 &form) { return form.findChild<FindBar *>(); }
    static QString label(const TForm1 &form, const char *name) { return form.findChild<QLabel *>(name)->text(); }
    static bool warned(const TForm1 &form)
    {
        const QLineEdit *field = bar(form)->field();
        return field->palette().color(QPalette::Base) != form.palette().color(QPalette::Base);
    }
    static void press(QKeyCombination key)
    {
        QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    }

private slots:
    void initTestCase()
    {
        prepare();
        m_dir.writeBook({"Иван Петров", "Пётр Сидоров", "ФЁДОР ИВАНОВ", "John Smith", "Семён Ёлкин", ""},
            {"ivan.petrov@x.ru", "petr@x.ru", "fedor@y.ru", "JOHN@x.ru", "elkin@x.ru", "nobody@x.ru"});
    }
    void init() { reset(); }

    void findsAsTypedAndSteps_data()
    {
        QTest::addColumn<int>("from"); // the list with the focus: 0 descriptions, 1 addresses
        QTest::addColumn<int>("selected");
        addFindColumns();
        QTest::newRow("words in any order") << 0 << -1 << "петров иван" << none << 0 << "1 из 1"
                                            << "";
        QTest::newRow("Cyrillic capitals, ё as е") << 0 << -1 << "федор" << none << 2 << "1 из 1"
                                                   << "";
        QTest::newRow("Latin capitals") << 0 << -1 << "smith john" << none << 3 << "1 из 1"
                                        << "";
        QTest::newRow("ё typed for е and Ё") << 0 << -1 << "СЕМЁН ёлкин" << none << 4 << "1 из 1"
                                             << "";
        QTest::newRow("a word of the address") << 0 << -1 << "y.ru иванов" << none << 2 << "1 из 1"
                                               << "";
        QTest::newRow("F3 finds the next") << 0 << -1 << "петр" << Keys{f3} << 1 << "2 из 2"
                                           << "";
        QTest::newRow("Enter finds the next") << 0 << -1 << "петр" << Keys{Qt::Key_Return} << 1 << "2 из 2"
                                              << "";
        QTest::newRow("F3 goes round the end") << 0 << -1 << "петр" << Keys{f3, f3} << 0 << "1 из 2" << forward;
        QTest::newRow("Shift+F3 goes round the start") << 0 << -1 << "петр" << Keys{shiftF3} << 1 << "2 из 2" << back;
        QTest::newRow("the word goes with the next step")
            << 0 << -1 << "петр" << Keys{shiftF3, shiftF3} << 0 << "1 из 2"
            << "";
        QTest::newRow("typing starts at the selection") << 0 << 1 << "петр" << none << 1 << "2 из 2"
                                                        << "";
        QTest::newRow("typing goes round the end") << 0 << 4 << "j" << none << 3 << "1 из 1" << forward;
        QTest::newRow("from the addresses") << 1 << -1 << "x.ru" << Keys{f3, f3} << 3 << "3 из 5"
                                            << "";
        QTest::newRow("Backspace widens again") << 0 << -1 << "ивановх" << Keys{Qt::Key_Backspace} << 2 << "1 из 1"
                                                << "";
        QTest::newRow("no match keeps the selection") << 0 << 3 << "щука" << none << 3 << "Не найдено"
                                                      << "";
        QTest::newRow("a character no entry can hold") << 1 << 4 << "王" << Keys{f3} << 4 << "Не найдено"
                                                       << "";
    }

    void findsAsTypedAndSteps()
    {
        QFETCH(int, from);
        QFETCH(int, selected);
        QFETCH(QString, typed);
        QFETCH(QList<QKeyCombination>, keys);
        QFETCH(int, found);
        QFETCH(QString, count);
        QFETCH(QString, wrapped);
        const auto form = start(from ? ListId::Mails : ListId::Descriptions, selected);
        QVERIFY(!bar(*form)->isVisible());
        press(Qt::CTRL | Qt::Key_F);
        QVERIFY(bar(*form)->isVisible());
        QCOMPARE(QApplication::focusWidget(), bar(*form)->field());
        typeText(bar(*form)->field(), typed);
        for (const QKeyCombination key : keys)
            press(key);
        QCOMPARE(gui::currentIndex(*form, ListId::Descriptions), found);
        QCOMPARE(gui::currentIndex(*form, ListId::Mails), found);
        QCOMPARE(label(*form, "FindCount"), count);
        QCOMPARE(label(*form, "FindWrapped"), wrapped);
        QCOMPARE(warned(*form), count == "Не найдено");
    }

    // A book too large to count between two keys: the entry found is selected with the key, the
    // count follows in time slices and ends right, F3 and Shift+F3 step as in a small book.
    void findsInALargeBook_data()
    {
        QTest::addColumn<int>("selected");
        addFindColumns();
        QTest::newRow("a rare word") << 0 << "особая" << none << 3 << "1 из 2"
                                     << "";
        QTest::newRow("a rare word after the selection") << 100 << "особая" << none << 4000 << "2 из 2"
                                                         << "";
        QTest::newRow("a rare letter round the end") << 4500 << "О" << none << 3 << "1 из 2" << forward;
        QTest::newRow("a rare word, F3") << 0 << "особая" << Keys{f3} << 4000 << "2 из 2"
                                         << "";
        QTest::newRow("a rare word, Shift+F3 round the start")
            << 0 << "особая" << Keys{shiftF3} << 4000 << "2 из 2" << back;
        QTest::newRow("a word in every entry") << 2000 << "x.ru" << none << 2000 << "2001 из 5000"
                                               << "";
        QTest::newRow("a word in every entry, F3 round the end")
            << 4999 << "x.ru" << Keys{f3} << 0 << "1 из 5000" << forward;
        QTest::newRow("a word in every entry, Shift+F3 round the start")
            << 0 << "x.ru" << Keys{shiftF3} << 4999 << "5000 из 5000" << back;
        QTest::newRow("F3 while the count goes on") << 0 << "user1" << Keys{f3, f3} << 11 << "3 из 1111"
                                                    << "";
        QTest::newRow("a growing word narrows") << 0 << "user4" << none << 4 << "1 из 1111"
                                                << "";
        QTest::newRow("two words") << 0 << "4@x запись" << none << 4 << "1 из 500"
                                   << "";
        QTest::newRow("no entry holds it") << 7 << "щука" << Keys{f3} << 7 << "Не найдено"
                                           << "";
    }

    void findsInALargeBook()
    {
        QFETCH(int, selected);
        QFETCH(QString, typed);
        QFETCH(QList<QKeyCombination>, keys);
        QFETCH(int, found);
        QFETCH(QString, count);
        QFETCH(QString, wrapped);
        const auto form = startLarge(selected);
        press(Qt::CTRL | Qt::Key_F);
        typeText(bar(*form)->field(), typed);
        for (const QKeyCombination key : keys)
            press(key);
        QCOMPARE(gui::currentIndex(*form, ListId::Mails), found);
        QCOMPARE(label(*form, "FindWrapped"), wrapped);
        QCOMPARE(warned(*form), count == "Не найдено");
        QTRY_COMPARE(label(*form, "FindCount"), count);
    }

    // Esc hides the bar and the keys go back to the list the bar was opened from.
    void escapeGivesTheFocusBack_data()
    {
        QTest::addColumn<int>("from");
        QTest::newRow("descriptions") << 0;
        QTest::newRow("addresses") << 1;
    }

    void escapeGivesTheFocusBack()
    {
        QFETCH(int, from);
        const auto form = start(from ? ListId::Mails : ListId::Descriptions, 0);
        press(Qt::CTRL | Qt::Key_F);
        typeText(bar(*form)->field(), "john");
        press(Qt::Key_Escape);
        QVERIFY(!bar(*form)->isVisible());
        QCOMPARE(QApplication::focusWidget(), gui::listBox(*form, from ? ListId::Mails : ListId::Descriptions));
        QCOMPARE(gui::currentIndex(*form, ListId::Mails), 3);
        // The list's own type-ahead is as it was.
        typeText(gui::listBox(*form, ListId::Descriptions), "Пё");
        QCOMPARE(gui::currentIndex(*form, ListId::Mails), 1);
    }

    // An entry deleted while the bar is open is no longer counted.
    void countFollowsTheBook()
    {
        const auto form = start(ListId::Descriptions, -1);
        press(Qt::CTRL | Qt::Key_F);
        typeText(bar(*form)->field(), "x.ru");
        QCOMPARE(label(*form, "FindCount"), "1 из 5");
        gui::deleteEntry(*form, 1);
        QTRY_COMPARE(label(*form, "FindCount"), "Найдено: 4");
        press(Qt::Key_F3);
        QCOMPARE(gui::currentIndex(*form, ListId::Descriptions), 0);
        QCOMPARE(label(*form, "FindCount"), "1 из 4");
    }

    // An entry deleted while the entries are still being counted: the count starts again and
    // ends right.
    void countOfALargeBookFollowsIt()
    {
        const auto form = startLarge(0);
        press(Qt::CTRL | Qt::Key_F);
        typeText(bar(*form)->field(), "x.ru");
        gui::deleteEntry(*form, 1);
        QTRY_VERIFY2(label(*form, "FindCount").endsWith(" из 4999") || label(*form, "FindCount") == "Найдено: 4999",
            qPrintable(label(*form, "FindCount")));
        press(Qt::Key_F3);
        const int row = gui::currentIndex(*form, ListId::Mails);
        QCOMPARE(label(*form, "FindCount"), QStringLiteral("%1 из 4999").arg(row + 1));
    }

    // In the Add dialog Ctrl+F and F3 stay the edit box's: no bar, no search, the text as typed.
    void dialogKeysStayTheDialogs()
    {
        const auto form = start(ListId::Descriptions, 0);
        press(Qt::CTRL | Qt::Key_V);
        const QList<kvillo::TForm3 *> dialogs = gui::visibleDialogs<kvillo::TForm3>(*form);
        QCOMPARE(dialogs.size(), 1);
        kvillo::TForm3 *add = dialogs.first();
        QTRY_COMPARE(QApplication::focusWidget(), add->edit1());
        typeText(add->edit1(), "john");
        press(Qt::CTRL | Qt::Key_F);
        press(Qt::Key_F3);
        QVERIFY(!bar(*form)->isVisible());
        QCOMPARE(add->edit1()->text(), "john");
        QCOMPARE(gui::currentIndex(*form, ListId::Mails), 0);
        add->close();
    }
};

QTEST_MAIN(TestFindBar)
#include "test_find_bar.moc"
