#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "desktop/addresses.h"
#include "desktop/application.h"
#include "dialogs/Unit2.h"
#include "ui/Unit1.h"
#include "ui/list_box.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

using kvillo::ListBox;
using kvillo::ListId;
using kvillo::TForm1;

// What the mouse and the selection keys do: a click in a list always selects, and the About
// box's links answer the left button only.
class TestClicks : public gui::WindowTest
{
    Q_OBJECT

    static void expectSelected(TForm1 &form, int row)
    {
        QCOMPARE(gui::currentIndex(form, ListId::Descriptions), row);
        QCOMPARE(gui::currentIndex(form, ListId::Mails), row);
    }

private slots:
    void initTestCase() { prepare(); }
    void init() { reset(); }

    // Ctrl+click and Ctrl+Space never take the selection away, in either list, and Copy then
    // still acts on the entry shown selected.
    void controlNeverDeselects()
    {
        ProgramDir dir;
        dir.writeBook({QStringLiteral("Иванов"), QStringLiteral("Петров")},
            {QStringLiteral("ivanov@x.ru"), QStringLiteral("petrov@x.ru")});
        dir.writeSettings(QStringLiteral("MS Sans Serif"), 10, 89, 701, 497);
        const auto window = start(dir);
        TForm1 &form = *window;
        ListBox *descriptions = gui::listBox(form, ListId::Descriptions);
        ListBox *mails = gui::listBox(form, ListId::Mails);

        gui::clickRow(descriptions, 1, Qt::NoModifier);
        expectSelected(form, 1);
        gui::clickRow(descriptions, 1, Qt::ControlModifier);
        expectSelected(form, 1);
        gui::clickRow(mails, 1, Qt::ControlModifier);
        expectSelected(form, 1);
        // Ctrl+click on another item selects it in both lists.
        gui::clickRow(mails, 0, Qt::ControlModifier);
        expectSelected(form, 0);
        gui::clickRow(descriptions, 0, Qt::ControlModifier | Qt::ShiftModifier);
        expectSelected(form, 0);

        for (ListBox *list : {descriptions, mails}) {
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
            expectSelected(form, 0);
        }

        gui::trigger(form, kvillo::Command::Copy);
        QCOMPARE(m_platform.log, QStringList{QStringLiteral("clipboard: ivanov@x.ru")});
    }

    // Right and middle clicks on a link open nothing; a left click opens it.
    void aboutLinksOpenOnTheLeftButton_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("url");
        QTest::newRow("site") << "Label2" << kvillo::addresses::site();
        QTest::newRow("mail") << "Label4" << QStringLiteral("mailto:") + kvillo::addresses::supportMail();
    }
    void aboutLinksOpenOnTheLeftButton()
    {
        QFETCH(QString, label);
        QFETCH(QString, url);
        kvillo::TAboutBox about(m_platform);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        auto *link = about.findChild<QLabel *>(label);
        QVERIFY(link != nullptr);

        QTest::mouseClick(link, Qt::RightButton);
        QTest::mouseClick(link, Qt::MiddleButton);
        QVERIFY2(m_platform.log.isEmpty(), qPrintable(m_platform.log.join(QLatin1Char('\n'))));
        QVERIFY(about.isVisible());

        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(m_platform.log, QStringList{QStringLiteral("url: ") + url});
    }
};

QTEST_MAIN(TestClicks)
#include "test_clicks.moc"
