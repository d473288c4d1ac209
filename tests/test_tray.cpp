#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "dialogs/Unit2.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QtTest>

using namespace gui;

// The icon in the notification area with its menu, the window hidden and shown again, and the About
// box that the menu opens.
class TestTray : public WindowTest
{
    Q_OBJECT

    // A command of the tray menu.
    static void click(const TForm1 &form, const char *item)
    {
        auto *action = form.findChild<QMenu *>("PopupMenu1")->findChild<QAction *>(item);
        QVERIFY(action);
        action->trigger();
    }

private slots:
    void initTestCase() { prepare(); }
    void init() { reset(); }

    void aboutDialog()
    {
        kvillo::TAboutBox about(m_platform);
        QCOMPARE(about.windowTitle(), QStringLiteral("О программе"));
        QCOMPARE(about.size(), QSize(298, 250));
        QVERIFY(about.isModal());
        const auto text = [&](const char *name) { return about.findChild<QLabel *>(name)->text(); };
        QCOMPARE(text("ProductName"), QStringLiteral("Название: Kvillo"));
        QCOMPARE(text("Version"), QStringLiteral("Версия: 2.1"));
        QCOMPARE(text("Comments"), QStringLiteral("Описание: Адресная книга"));
        QVERIFY(text("Copyright").startsWith(QStringLiteral("Автор: ")));
        QCOMPARE(text("Label1"), QStringLiteral("Сайт:"));
        QCOMPARE(text("Label2"), QStringLiteral("http://www.kvillo.example.org"));
        QCOMPARE(text("Label4"), QStringLiteral("support@kvillo.example.org"));
        QCOMPARE(about.findChild<QLabel *>("Label2")->pos(), QPoint(56, 136));
        QCOMPARE(about.findChild<QPushButton *>("OKButton")->geometry(), QRect(111, 212, 75, 25));

        // The links turn red under the mouse and blue again when it leaves.
        QLabel *link = about.findChild<QLabel *>("Label4");
        const auto colour = [&] { return link->palette().color(QPalette::WindowText); };
        QCOMPARE(colour(), QColor(0, 0, 255));
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), link->mapToGlobal(QPointF(2, 2)), Qt::NoButton, Qt::NoButton,
            Qt::NoModifier);
        QApplication::sendEvent(link, &move);
        QCOMPARE(colour(), QColor(255, 0, 0));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        QCOMPARE(colour(), QColor(0, 0, 255));
        QTest::mouseClick(link, Qt::LeftButton);
        QTest::mouseClick(about.findChild<QLabel *>("Label2"), Qt::LeftButton);
        QCOMPARE(m_platform.log,
            (QStringList{"url: mailto:support@kvillo.example.org", "url: http://www.kvillo.example.org"}));

        // Enter presses OK (Esc closes the box as well: see the keyboard test of its links).
        about.show();
        QTest::keyClick(&about, Qt::Key_Return);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }

    void aboutOpensModallyFromTheHelpMenuAndTheTray()
    {
        ProgramDir dir;
        dir.writeBook({}, {});
        auto form = start(dir);
        int shown = 0;
        m_platform.onModal = [&](QDialog &dialog) {
            QVERIFY(qobject_cast<kvillo::TAboutBox *>(&dialog));
            QVERIFY(dialog.isModal());
            ++shown;
            dialog.findChild<QPushButton *>("OKButton")->click();
        };
        trigger(*form, Command::About);
        click(*form, "N2");
        QCOMPARE(shown, 2);
        QCOMPARE(m_platform.log, (QStringList{"modal: AboutBox", "modal: AboutBox"}));
    }

    void trayMenuAndShowHide()
    {
        ProgramDir dir;
        dir.writeBook({"A", "B"}, {"a@x", "b@x"});
        dir.writeSettings("Arial", 10, 89, 640, 400);
        auto form = start(dir);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));

        QStringList items;
        for (const QAction *action : form->findChild<QMenu *>("PopupMenu1")->actions())
            items << action->objectName() + ":" + (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(items,
            (QStringList{"N5521:Отразить/Свернуть", "N1:-", "N2:О программе", "N5:-", "N3:Создать резервную копию",
                "N4:Восстановить", "N6:-", "N7:Выход"}));

        // Hidden and shown again, the window has the size read at start-up.
        form->resize(300, 200);
        click(*form, "N5521");
        QVERIFY(!form->isVisible());
        emit trayIcon(*form)->activated(QSystemTrayIcon::Trigger);
        QVERIFY(form->isVisible());
        QCOMPARE(form->frameGeometry().size(), QSize(640, 400));
        emit trayIcon(*form)->activated(QSystemTrayIcon::DoubleClick); // ignored
        QVERIFY(form->isVisible());
        click(*form, "N5521");
        QVERIFY(!form->isVisible());
        click(*form, "N5521");
        QVERIFY(form->isVisible());

        // Exit from the tray while hidden saves like any close.
        click(*form, "N5521");
        deleteEntry(*form, 1);
        click(*form, "N7");
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"a@x"}));
    }

    // A modal box open from the tray while the window is hidden: the icon still brings the
    // window back, and the box stays on top of it with the keyboard.
    void theTrayIconAnswersWhileABoxIsOpen()
    {
        ProgramDir dir;
        dir.writeBook({"A"}, {"a@x"});
        auto form = start(dir);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        click(*form, "N5521");
        QVERIFY(!form->isVisible());
        QSystemTrayIcon *icon = trayIcon(*form);
        QVERIFY(icon != nullptr);

        bool checked = false;
        m_platform.onModal = [&](QDialog &box) {
            box.setWindowModality(Qt::ApplicationModal);
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            emit icon->activated(QSystemTrayIcon::Trigger);
            QVERIFY(form->isVisible());
            QCOMPARE(QApplication::activeModalWidget(), &box);
            QTRY_COMPARE(QApplication::activeWindow(), &box);
            checked = true;
        };
        click(*form, "N2"); // "О программе" from the tray menu
        QVERIFY(checked);
        QVERIFY(form->isVisible());
    }

    // Without a notification area there is no icon to bring a hidden window back: every way of
    // putting it away minimises it instead, and the same commands bring it back.
    void withoutANotificationAreaTheWindowIsMinimised()
    {
        ProgramDir dir;
        dir.writeBook({"A"}, {"a@x"});
        m_platform.notificationArea = false;
        auto form = start(dir);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(trayIcon(*form) == nullptr);

        const auto minimised = [&] { return form->isVisible() && form->isMinimized(); };
        const auto restored = [&] { return form->isVisible() && !form->isMinimized(); };
        trigger(*form, Command::MinimizeToTray);
        QVERIFY(minimised());
        click(*form, "N5521"); // "Отразить/Свернуть" brings it back
        QVERIFY(restored());
        QTest::mouseClick(form->findChild<QToolButton *>(QStringLiteral("SpeedButton1")), Qt::LeftButton);
        QVERIFY(minimised());
        form->bringToFront();
        QVERIFY(restored());
        click(*form, "N5521");
        QVERIFY(minimised());
        click(*form, "N5521");
        QVERIFY(restored());

        // A notification area that appears later gets the icon, and the window hides to it.
        m_platform.notificationArea = true;
        trigger(*form, Command::MinimizeToTray);
        QVERIFY(trayIcon(*form) != nullptr);
        QVERIFY(!form->isVisible());
        emit trayIcon(*form)->activated(QSystemTrayIcon::Trigger);
        QVERIFY(restored());

        // One that goes away again: back to minimising, from the menu and from the toolbar.
        m_platform.notificationArea = false;
        trigger(*form, Command::MinimizeToTray);
        QVERIFY(minimised());
        click(*form, "N5521");
        QVERIFY(restored());
        QTest::mouseClick(form->findChild<QToolButton *>(QStringLiteral("SpeedButton1")), Qt::LeftButton);
        QVERIFY(minimised());
        QVERIFY(m_platform.log.isEmpty());
    }
};

QTEST_MAIN(TestTray)
#include "test_tray.moc"
