#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "desktop/addresses.h"
#include "desktop/application.h"
#include "desktop/qt_platform.h"
#include "desktop/qt_printing.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit4.h"
#include "ui/Unit1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTabWidget>
#include <QtTest>

// Every window the program shows speaks Russian: no Latin word on a button, label, tab, menu or
// caption, except the program's own Latin texts.
class TestRussian : public gui::WindowTest
{
    Q_OBJECT

private:
    // What a window shows the user in words.
    static QStringList texts(QWidget *window)
    {
        QStringList found{window->windowTitle()};
        for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
            found << button->text();
        for (const QLabel *label : window->findChildren<QLabel *>()) {
            // The print dialog shows the printer's own model and location as they are.
            if (label->objectName() != QLatin1String("type") && label->objectName() != QLatin1String("location"))
                found << label->text();
        }
        for (const QGroupBox *box : window->findChildren<QGroupBox *>())
            found << box->title();
        for (const QTabWidget *tabs : window->findChildren<QTabWidget *>()) {
            for (int i = 0; i < tabs->count(); ++i)
                found << tabs->tabText(i);
        }
        for (const QMenu *menu : window->findChildren<QMenu *>()) {
            found << menu->title();
            for (const QAction *action : menu->actions())
                found << action->text();
        }
        return found;
    }

    // Latin words left once the program's own Latin texts are taken out.
    static QStringList latinWords(const QStringList &shown)
    {
        static const QStringList own{kvillo::addresses::site(), kvillo::addresses::supportMail(),
            kvillo::addresses::author(), QStringLiteral("Kvillo"), QStringLiteral("OK"), QStringLiteral("E-mail"),
            QStringLiteral("e-mail"), QStringLiteral("Back&up"), QStringLiteral("Backup"), QStringLiteral("Ctrl"),
            QStringLiteral("Del"), QStringLiteral("F1"), QStringLiteral("*.bak"), QStringLiteral("*.*"),
            QStringLiteral("PDF"), QStringLiteral("A4"), QStringLiteral("KvilloPDF")};
        QStringList words;
        for (QString text : shown) {
            text.remove(QLatin1Char('&'));
            for (const QString &allowed : own)
                text.remove(allowed);
            static const QRegularExpression latin(QStringLiteral("[A-Za-z]{2,}"));
            auto match = latin.globalMatch(text);
            while (match.hasNext())
                words << match.next().captured();
        }
        return words;
    }

    void expectRussian(QWidget *window)
    {
        window->show();
        QVERIFY2(latinWords(texts(window)).isEmpty(),
            qPrintable(window->objectName() + ": " + latinWords(texts(window)).join(QStringLiteral(", "))));
        window->hide();
    }

private slots:
    void initTestCase() { prepare(); }

    void programWindows()
    {
        ProgramDir dir;
        dir.writeBook({"Иванов"}, {"ivanov@x.ru"});
        dir.writeSettings("Arial", 10, 89, 701, 497);
        auto form = start(dir, gui::Start::Hidden);
        expectRussian(form.get());
        gui::selectEntry(*form, 0);
        gui::trigger(*form, kvillo::Command::Add);
        expectRussian(form->findChild<kvillo::TForm3 *>());
        gui::trigger(*form, kvillo::Command::Edit);
        expectRussian(form->findChild<kvillo::TForm4 *>());
        kvillo::TAboutBox about(m_platform);
        expectRussian(&about);
    }

    void desktopDialogs()
    {
        using kvillo::QtPlatform;
        const auto notice = QtPlatform::makeMessageBox(
            false, kvillo::applicationTitle(), "Выберите пункт!", kvillo::Platform::Buttons::Ok);
        expectRussian(notice.get());
        const auto question = QtPlatform::makeMessageBox(
            false, "Вызов справки", "Вам необходимо посетить сайт.", kvillo::Platform::Buttons::OkCancel);
        expectRussian(question.get());
        const auto error
            = QtPlatform::makeMessageBox(true, kvillo::applicationTitle(), "", kvillo::Platform::Buttons::Ok);
        expectRussian(error.get());
        // Whether to quit with unsaved data: "Нет" unless the user says otherwise.
        const auto quit = QtPlatform::makeQuestionBox("Всё равно выйти из программы?");
        expectRussian(quit.get());
        QCOMPARE(quit->defaultButton(), quit->button(QMessageBox::No));
        QCOMPARE(quit->escapeButton(), quit->button(QMessageBox::No));

        const QString filter = QStringLiteral("Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*");
        const auto save = QtPlatform::makeFileDialog(nullptr, filter, QString(), true);
        expectRussian(save.get());
        const auto open = QtPlatform::makeFileDialog(nullptr, filter, QString(), false);
        expectRussian(open.get());
        const auto font = QtPlatform::makeFontDialog(nullptr, QFont(QStringLiteral("MS Sans Serif"), 8));
        expectRussian(font.get());

        QPrinter printer;
        const auto print = kvillo::QtPrinting::makeDialog(printer, nullptr);
        expectRussian(print.get());
    }
};

QTEST_MAIN(TestRussian)
#include "test_russian.moc"
