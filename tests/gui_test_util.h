#pragma once

#include "dark_palette.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

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

#include "data/cp1251.h"

inline char ProgramDir::cp1251(QChar ch)
{
    const int b = kvillo::cp1251::fromUnicode(ch.unicode());
    return static_cast<char>(b < 0 ? '?' : b);
}
