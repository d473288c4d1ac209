#pragma once

#include "dark_palette.h"
#include "testing/fake_platform.h"

#include "desktop/application.h"
#include "dialogs/Unit3.h"
#include "ui/Unit1.h"
#include "ui/commands.h"
#include "ui/line_list_model.h"
#include "ui/list_box.h"

#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>

// Types characters, Cyrillic included, as a keyboard delivers them.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
    }
}

// A program directory of its own for one test: database/ and config/ with files as given.
class ProgramDir
{
public:
    ProgramDir()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("database"));
        QDir(m_dir.path()).mkpath(QStringLiteral("config"));
    }

    QString path(const QString &relative = QString()) const { return m_dir.path() + QLatin1Char('/') + relative; }
    // The application directory as the program takes it: with its trailing separator.
    std::string directory() const { return (m_dir.path() + QLatin1Char('/')).toStdString(); }

    void write(const QString &relative, const QByteArray &bytes) const
    {
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray read(const QString &relative) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool exists(const QString &relative) const { return QFileInfo::exists(path(relative)); }

    // Lines as Windows-1251 bytes, each ended by CR LF.
    static QByteArray lines(const QStringList &texts)
    {
        QByteArray bytes;
        for (const QString &text : texts) {
            for (const QChar ch : text)
                bytes += cp1251(ch);
            bytes += "\r\n";
        }
        return bytes;
    }

    void writeBook(const QStringList &descriptions, const QStringList &mails) const
    {
        write(QStringLiteral("database/descriptions.dat"), lines(descriptions));
        write(QStringLiteral("database/mails.dat"), lines(mails));
    }

    void writeSettings(const QString &fontName, int fontSize, int list1Width, int width, int height) const
    {
        write(QStringLiteral("config/config.ini"),
            lines({QStringLiteral("[Параметры Kvillo]"), QStringLiteral("FontName="), fontName,
                QStringLiteral("FontSize="), QString::number(fontSize), QStringLiteral("List1.Width="),
                QString::number(list1Width), QStringLiteral("Width="), QString::number(width),
                QStringLiteral("Height="), QString::number(height)}));
    }

private:
    static char cp1251(QChar ch);
    QTemporaryDir m_dir;
};

#include "sys/cp1251.h"

inline char ProgramDir::cp1251(QChar ch)
{
    const int b = kvillo::cp1251::fromUnicode(ch.unicode());
    return static_cast<char>(b < 0 ? '?' : b);
}

// The main window as a user reaches it: its widgets and actions, found by object name.
namespace gui {

using kvillo::Command;
using kvillo::ListId;
using kvillo::TForm1;

// Three entries with Cyrillic descriptions, and the default settings.
inline void writeSampleBook(const ProgramDir &dir)
{
    dir.writeBook({"Иванов", "Петров", "Сидоров"}, {"ivanov@x.ru", "petrov@x.ru", "sidorov@x.ru"});
    dir.writeSettings("Arial", 10, 89, 701, 497);
}

// How a test takes the window: as the program shows it, or as constructed, before it is shown.
enum class Start { Active, Hidden };

// The one fixture of the window tests: the desktop answered by FakePlatform, the main window started
// on a temporary book (a ProgramDir) and worked as a user does through the helpers below. A test
// class derives from it, calls prepare() from initTestCase() and reset() from init().
class WindowTest : public QObject
{
protected:
    // The main window on the book in `dir`, shown and with the keyboard, and with the default
    // settings where the test wrote none. Start::Hidden leaves it as constructed, on exactly the
    // files the test wrote: for the checks of the start-up itself.
    std::unique_ptr<TForm1> start(const ProgramDir &dir, Start how = Start::Active)
    {
        return start(m_platform, dir, how);
    }
    // The same on a desktop of the test's own.
    static std::unique_ptr<TForm1> start(kvillo::Platform &platform, const ProgramDir &dir, Start how = Start::Active)
    {
        if (how == Start::Active && !dir.exists("config/config.ini"))
            dir.writeSettings("Arial", 10, 89, 701, 497);
        auto form = std::make_unique<TForm1>(platform, dir.directory());
        if (how == Start::Hidden)
            return form;
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            qWarning("main window not active");
        return form;
    }

    static void prepare() { kvillo::prepareApplication(*qApp); }
    void reset() { m_platform = FakePlatform(); }

    FakePlatform m_platform;
};

inline kvillo::ListBox *listBox(const TForm1 &form, ListId id)
{
    return form.findChild<kvillo::ListBox *>(id == ListId::Mails ? "ListBox2" : "ListBox1");
}
// A click on the row, as the mouse does it.
inline void clickRow(kvillo::ListBox *list, int row, Qt::KeyboardModifiers modifiers = {})
{
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
}
inline void select(const TForm1 &form, ListId id, int row)
{
    listBox(form, id)->setItemIndex(row);
}
inline int currentIndex(const TForm1 &form, ListId id)
{
    return listBox(form, id)->itemIndex();
}
// The user selects the entry in the descriptions and the addresses follow.
inline void selectEntry(const TForm1 &form, int row)
{
    select(form, ListId::Descriptions, row);
    select(form, ListId::Mails, row);
}

// The list as the window shows it: the document's entries behind the list view.
inline const kvillo::LineList &shownList(const TForm1 &form, ListId id)
{
    return static_cast<const kvillo::LineListModel *>(listBox(form, id)->model())->list();
}
inline int count(const TForm1 &form, ListId id)
{
    return static_cast<int>(shownList(form, id).size());
}
inline std::string itemAt(const TForm1 &form, ListId id, int row)
{
    return std::string(shownList(form, id).at(row));
}

inline QAction *action(const QWidget &form, Command command)
{
    return form.findChild<QAction *>(kvillo::actionName(command));
}
inline void trigger(const QWidget &form, Command command)
{
    QAction *found = action(form, command);
    QVERIFY(found);
    found->trigger();
}

// Deletes the entry, which saves both files at once.
inline void deleteEntry(const TForm1 &form, int row)
{
    selectEntry(form, row);
    trigger(form, Command::Delete);
}

template <typename Dialog> QList<Dialog *> visibleDialogs(const QWidget &form)
{
    QList<Dialog *> shown;
    for (Dialog *dialog : form.findChildren<Dialog *>()) {
        if (dialog->isVisible())
            shown << dialog;
    }
    return shown;
}

// The icon in the notification area, while the window has one.
inline QSystemTrayIcon *trayIcon(const TForm1 &form)
{
    return form.findChild<QSystemTrayIcon *>();
}

// The first panel of the status bar.
inline QString statusText(const QWidget &form)
{
    return form.findChild<QLabel *>("StatusBar1Panel0")->text();
}

// Runs the command and returns the dialog it opened (the newest one shown).
template <typename Dialog> Dialog *openDialog(const QWidget &form, Command command)
{
    trigger(form, command);
    const QList<Dialog *> shown = visibleDialogs<Dialog>(form);
    return shown.isEmpty() ? nullptr : shown.last();
}

inline void pressOk(QWidget *dialog)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>("BitBtn1"), Qt::LeftButton);
}

// Adds an entry through the Add dialog, which saves both files.
inline void addEntry(const TForm1 &form, const QString &mail, const QString &description)
{
    auto *dialog = openDialog<kvillo::TForm3>(form, Command::Add);
    QVERIFY(dialog);
    dialog->edit1()->setText(mail);
    dialog->edit2()->setText(description);
    pressOk(dialog);
}

} // namespace gui
