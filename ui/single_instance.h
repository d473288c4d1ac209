#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <memory>

namespace kvillo {

// One running program per address book. The first copy of the program to start on a program
// directory locks it (a lock left by a program that died is taken over) and listens for later
// copies; a later copy asks it to show its window and leaves without touching any file.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // `applicationDirectory` ends with a separator.
    explicit SingleInstance(const QString &applicationDirectory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process now holds the address book. False when another running copy holds
    // it; that copy has been asked to show its window.
    bool acquire();

    QString lockFileName() const;
    QString serverName() const;

signals:
    // Another copy of the program was started on this address book.
    void showRequested();

private:
    bool askRunningCopyToShow() const;
    void listen();

    QString m_directory;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace kvillo
