#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "desktop/addresses.h"
#include "desktop/application.h"
#include "dialogs/Unit2.h"
#include "ui/Unit1.h"
#include "ui/list_box.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QToolButton>
#include <QtTest>

using namespace gui;

// What a screen reader finds through the accessible interfaces of the real windows, and what the
// user is told when a link cannot be opened.
class TestAccessibility : public WindowTest
{
    Q_OBJECT

    static QAccessibleInterface *accessible(QObject *object) { return QAccessible::queryAccessibleInterface(object); }

    // The names of `object`'s children in `role`, of those in the state `in` where given.
    static QStringList children(QObject *object, QAccessible::Role role, bool (*in)(QAccessible::State) = nullptr)
    {
        QStringList names;
        QAccessibleInterface *iface = accessible(object);
        for (int i = 0; i < iface->childCount(); ++i) {
            QAccessibleInterface *child = iface->child(i);
            if (child->role() == role && (in == nullptr || in(child->state())))
                names << child->text(QAccessible::Name);
        }
        return names;
    }

private slots:
    void initTestCase() { prepare(); }
    void init() { reset(); }

    // Name, role, column headers and description (the tooltip) of the window's parts.
    void namesAndRoles_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QString>("description");
        QTest::newRow("descriptions") << "ListBox1" << int(QAccessible::Table) << "Описания" << QStringList{"Описание"}
                                      << "";
        QTest::newRow("mails") << "ListBox2" << int(QAccessible::Table) << "Адреса e-mail" << QStringList{"E-mail"}
                               << "";
        QTest::newRow("header") << "HeaderControl1" << int(QAccessible::Grouping) << "Заголовки столбцов"
                                << QStringList{"Описание", "E-mail"} << "";
        QTest::newRow("toolbar") << "CoolBar1" << -1 << "Панель инструментов" << QStringList{} << "";
        const char *buttons[][2] = {{"Свернуть", "Свернуть в трей"}, {"Копировать", "Копировать"},
            {"Добавить", "Добавить"}, {"Изменить", "Изменить"}, {"Веб сайт", "Посетить сайт"}, {"Создать", "Создать"},
            {"Восстановить", "Восстановить"}};
        for (int i = 0; i < 7; ++i)
            QTest::newRow(buttons[i][1]) << QStringLiteral("SpeedButton%1").arg(i + 1) << int(QAccessible::Button)
                                         << QString::fromUtf8(buttons[i][0]) << QStringList{}
                                         << QString::fromUtf8(buttons[i][1]);
    }
    void namesAndRoles()
    {
        QFETCH(QString, widget);
        QFETCH(int, role);
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        QAccessibleInterface *iface = accessible(form->findChild<QWidget *>(widget));
        if (role >= 0)
            QCOMPARE(int(iface->role()), role);
        QTEST(iface->text(QAccessible::Name), "name");
        QTEST(children(iface->object(), QAccessible::ColumnHeader), "columns");
        QTEST(iface->text(QAccessible::Description), "description");
    }

    // The header's sections lie where they are drawn, and a point in one finds it.
    void headerSectionsLieWhereTheyAreDrawn()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        auto *header = form->findChild<QHeaderView *>("HeaderControl1");
        QAccessibleInterface *iface = accessible(header);
        for (int section = 0; section < 2; ++section) {
            QAccessibleInterface *child = iface->child(section);
            QCOMPARE(child->parent(), iface);
            QCOMPARE(iface->indexOfChild(child), section);
            const QPoint at = header->viewport()->mapToGlobal(QPoint(header->sectionViewportPosition(section), 0));
            QCOMPARE(child->rect(), QRect(at, QSize(header->sectionSize(section), header->viewport()->height())));
            QCOMPARE(iface->childAt(child->rect().center().x(), child->rect().center().y()), child);
        }
    }

    // Whichever list the keys move in, only it reports the focused entry; the other only shows
    // it selected. Tab takes the focus, and the focused entry, to the other list.
    void focusStaysInTheListWithTheKeyboard_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("focused");
        QTest::addColumn<int>("row");
        QTest::newRow("down in descriptions")
            << "ListBox1" << QList<int>{Qt::Key_Down, Qt::Key_Down} << "ListBox1" << 2;
        QTest::newRow("up in mails") << "ListBox2" << QList<int>{Qt::Key_End, Qt::Key_Up} << "ListBox2" << 1;
        QTest::newRow("tab to mails") << "ListBox1" << QList<int>{Qt::Key_Down, Qt::Key_Tab} << "ListBox2" << 1;
        QTest::newRow("tab, then down") << "ListBox1" << QList<int>{Qt::Key_Down, Qt::Key_Tab, Qt::Key_Down}
                                        << "ListBox2" << 2;
        QTest::newRow("back with shift+tab")
            << "ListBox2" << QList<int>{Qt::Key_Down, Qt::Key_Backtab, Qt::Key_Down} << "ListBox1" << 2;
    }
    void focusStaysInTheListWithTheKeyboard()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, focused);
        QFETCH(int, row);
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = start(dir);
        QFETCH(QString, start);
        form->findChild<QWidget *>(start)->setFocus();
        selectEntry(*form, 0);
        for (const int key : keys)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));

        // A screen reader asking the window for its focus ends at the entry in the list with the keys.
        QAccessibleInterface *focus = accessible(form.get());
        while (focus->focusChild() != nullptr && focus->focusChild() != focus)
            focus = focus->focusChild();
        for (const ListId id : {ListId::Descriptions, ListId::Mails}) {
            kvillo::ListBox *list = listBox(*form, id);
            const QString entry = list->model()->index(row, 0).data().toString();
            const bool withFocus = list->objectName() == focused;
            QCOMPARE(list->hasFocus(), withFocus);
            QCOMPARE(children(list, QAccessible::Cell, [](QAccessible::State state) { return bool(state.focused); }),
                withFocus ? QStringList{entry} : QStringList{});
            QCOMPARE(children(list, QAccessible::Cell, [](QAccessible::State state) { return bool(state.selected); }),
                QStringList{entry});
            if (withFocus)
                QCOMPARE(focus->text(QAccessible::Name), entry);
        }
    }
    // The About box's links: Tab reaches them from OK, they are links with a press action, and
    // Enter or the action opens them; Esc closes the box.
    void aboutLinksWorkFromTheKeyboard_data()
    {
        QTest::addColumn<int>("tabs");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("url");
        QTest::newRow("site") << 1 << kvillo::addresses::site() << kvillo::addresses::site();
        QTest::newRow("mail") << 2 << kvillo::addresses::supportMail()
                              << QStringLiteral("mailto:") + kvillo::addresses::supportMail();
    }
    void aboutLinksWorkFromTheKeyboard()
    {
        QFETCH(int, tabs);
        QFETCH(QString, text);
        QFETCH(QString, url);
        kvillo::TAboutBox about(m_platform);
        about.show();
        about.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("OKButton"));
        QAccessibleInterface *picture = accessible(about.findChild<QLabel *>("ProgramIcon"));
        QCOMPARE(picture->role(), QAccessible::Graphic);
        QCOMPARE(picture->text(QAccessible::Name), QStringLiteral("Значок программы"));

        for (int i = 0; i < tabs; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QAccessibleInterface *link = accessible(QApplication::focusWidget());
        QCOMPARE(link->role(), QAccessible::Link);
        QCOMPARE(link->text(QAccessible::Name), text);
        QVERIFY(link->state().focused);
        QVERIFY(link->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
        link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(m_platform.log, QStringList{"url: " + url});
        QTRY_COMPARE(m_platform.log, (QStringList{"url: " + url, "url: " + url}));
        QVERIFY(about.isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Rejected));
    }

    // Every place that opens a link says so when no program can open it.
    void linksThatCannotOpenAreReported_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("error");
        const QString site = kvillo::addresses::site();
        const QString web = QStringLiteral("Не удалось открыть ссылку «%1»: не найдена программа для просмотра "
                                           "веб-страниц.");
        const QString mail = QStringLiteral("Не удалось создать письмо на адрес «%1»: не найдена почтовая программа.");
        QTest::newRow("site") << Command::VisitSite << "" << site << web.arg(site);
        QTest::newRow("update") << Command::CheckForUpdate << "" << kvillo::addresses::updatePage()
                                << web.arg(kvillo::addresses::updatePage());
        QTest::newRow("help") << Command::Help << "" << kvillo::addresses::helpPage()
                              << web.arg(kvillo::addresses::helpPage());
        QTest::newRow("support") << Command::WriteToSupport << ""
                                 << "mailto:support@kvillo.example.org" << mail.arg("support@kvillo.example.org");
        QTest::newRow("this one, as stored") << Command::WriteToThisOne << ""
                                             << "mailto:a%3Fcc=b@x.ru" << mail.arg("a?cc=b@x.ru");
        QTest::newRow("about: site") << Command::About << "Label2" << site << web.arg(site);
        QTest::newRow("about: mail") << Command::About << "Label4"
                                     << "mailto:support@kvillo.example.org" << mail.arg("support@kvillo.example.org");
    }
    void linksThatCannotOpenAreReported()
    {
        QFETCH(Command, command);
        QFETCH(QString, link);
        QFETCH(QString, url);
        QFETCH(QString, error);
        ProgramDir dir;
        dir.writeBook({"a"}, {"a?cc=b@x.ru"});
        auto form = start(dir);
        selectEntry(*form, 0);
        m_platform.urlsOpen = false;
        m_platform.onModal = [&](QDialog &box) {
            box.findChild<kvillo::LinkLabel *>(link)->setFocus();
            QTest::keyClick(box.findChild<kvillo::LinkLabel *>(link), Qt::Key_Return);
        };
        trigger(*form, command);
        QCOMPARE(m_platform.log.mid(m_platform.log.size() - 2), (QStringList{"url: " + url, "error: " + error}));
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
