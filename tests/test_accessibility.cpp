#include "fake_platform.h"
#include "gui_test_util.h"

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
class TestAccessibility : public QObject
{
    Q_OBJECT

    static QAccessibleInterface *accessible(QObject *object) { return QAccessible::queryAccessibleInterface(object); }

    // The names of the column headers among the children of `object`'s interface.
    static QStringList columnHeaders(QObject *object)
    {
        QStringList names;
        QAccessibleInterface *iface = accessible(object);
        for (int i = 0; i < iface->childCount(); ++i) {
            if (iface->child(i)->role() == QAccessible::ColumnHeader)
                names << iface->child(i)->text(QAccessible::Name);
        }
        return names;
    }

    // The rows whose cells say they are focused, and those that say they are selected.
    static QPair<QList<int>, QList<int>> focusedAndSelected(kvillo::ListBox *list)
    {
        QList<int> focused;
        QList<int> selected;
        QAccessibleInterface *iface = accessible(list);
        for (int i = 0; i < iface->childCount(); ++i) {
            QAccessibleInterface *cell = iface->child(i);
            if (cell->role() != QAccessible::Cell)
                continue;
            int row = 0;
            while (row < list->model()->rowCount()
                && list->model()->index(row, 0).data().toString() != cell->text(QAccessible::Name))
                ++row;
            if (cell->state().focused)
                focused << row;
            if (cell->state().selected)
                selected << row;
        }
        return {focused, selected};
    }

    // The deepest focused interface under the window, as a screen reader asks for it.
    static QAccessibleInterface *deepestFocus(QWidget *window)
    {
        QAccessibleInterface *iface = accessible(window);
        for (int depth = 0; iface != nullptr && depth < 10; ++depth) {
            QAccessibleInterface *next = iface->focusChild();
            if (next == nullptr || next == iface)
                break;
            iface = next;
        }
        return iface;
    }

    FakePlatform m_platform;

private slots:
    void initTestCase() { kvillo::prepareApplication(*qApp); }
    void init() { m_platform = FakePlatform(); }

    void columnHeadersReadTheirTitles_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("header") << "HeaderControl1" << QStringList{"Описание", "E-mail"};
        QTest::newRow("descriptions") << "ListBox1" << QStringList{"Описание"};
        QTest::newRow("mails") << "ListBox2" << QStringList{"E-mail"};
    }
    void columnHeadersReadTheirTitles()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = startWindow(m_platform, dir);
        QFETCH(QString, widget);
        QFETCH(QStringList, names);
        QCOMPARE(columnHeaders(form->findChild<QWidget *>(widget)), names);
    }

    // The header's sections lie where they are drawn, and a point in one finds it.
    void headerSectionsLieWhereTheyAreDrawn()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = startWindow(m_platform, dir);
        auto *header = form->findChild<QHeaderView *>("HeaderControl1");
        QAccessibleInterface *iface = accessible(header);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Заголовки столбцов"));
        for (int section = 0; section < 2; ++section) {
            QAccessibleInterface *child = iface->child(section);
            QCOMPARE(child->parent(), iface);
            QCOMPARE(iface->indexOfChild(child), section);
            const QRect rect = child->rect();
            QCOMPARE(
                rect.left(), header->viewport()->mapToGlobal(QPoint(header->sectionViewportPosition(section), 0)).x());
            QCOMPARE(rect.width(), header->sectionSize(section));
            QCOMPARE(iface->childAt(rect.center().x(), rect.center().y()), child);
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
        QFETCH(QString, start);
        QFETCH(QList<int>, keys);
        QFETCH(QString, focused);
        QFETCH(int, row);
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = startWindow(m_platform, dir);
        auto *first = form->findChild<kvillo::ListBox *>(start);
        first->setFocus();
        select(*form, ListId::Descriptions, 0);
        select(*form, ListId::Mails, 0);
        for (const int key : keys)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));

        auto *withFocus = form->findChild<kvillo::ListBox *>(focused);
        auto *other = withFocus == listBox(*form, ListId::Descriptions) ? listBox(*form, ListId::Mails)
                                                                        : listBox(*form, ListId::Descriptions);
        QVERIFY(withFocus->hasFocus());
        QCOMPARE(focusedAndSelected(withFocus), qMakePair(QList<int>{row}, QList<int>{row}));
        QCOMPARE(focusedAndSelected(other), qMakePair(QList<int>{}, QList<int>{row}));
        QAccessibleInterface *focus = deepestFocus(form.get());
        QVERIFY(focus != nullptr);
        QCOMPARE(focus->role(), QAccessible::Cell);
        QCOMPARE(focus->parent()->object(), withFocus);
        QCOMPARE(focus->text(QAccessible::Name), withFocus->model()->index(row, 0).data().toString());
    }

    void toolbarButtonsTellTheirCommands_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("tip");
        const char *tips[]
            = {"Свернуть в трей", "Копировать", "Добавить", "Изменить", "Посетить сайт", "Создать", "Восстановить"};
        for (int i = 0; i < 7; ++i)
            QTest::newRow(tips[i]) << QStringLiteral("SpeedButton%1").arg(i + 1) << QString::fromUtf8(tips[i]);
    }
    void toolbarButtonsTellTheirCommands()
    {
        ProgramDir dir;
        writeSampleBook(dir);
        auto form = startWindow(m_platform, dir, Start::Hidden);
        QFETCH(QString, button);
        QFETCH(QString, tip);
        QCOMPARE(form->findChild<QToolButton *>(button)->toolTip(), tip);
        QCOMPARE(accessible(form->findChild<QWidget *>("CoolBar1"))->text(QAccessible::Name),
            QStringLiteral("Панель инструментов"));
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
        QCOMPARE(m_platform.log, (QStringList{"url: " + url, "url: " + url}));
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
        auto form = startWindow(m_platform, dir);
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
