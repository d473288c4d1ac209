#include "ui/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

namespace kvillo {

namespace {

const QByteArray kShowRequest = "show\n";
constexpr int kConnectMs = 2000;

} // namespace

SingleInstance::SingleInstance(const QString &applicationDirectory, QObject *parent)
    : QObject(parent)
    , m_directory(QDir::cleanPath(QDir(applicationDirectory).absolutePath()))
    , m_lock(QDir(m_directory).filePath(QStringLiteral(".kvillo.lock")))
{
    // A running program keeps its lock however long it runs; only a dead owner's lock is stale.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockFileName() const
{
    return QDir(m_directory).filePath(QStringLiteral(".kvillo.lock"));
}

QString SingleInstance::serverName() const
{
    const QByteArray key = QCryptographicHash::hash(m_directory.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("kvillo-") + QString::fromLatin1(key);
}

bool SingleInstance::acquire()
{
    if (m_lock.tryLock(0)) {
        listen();
        return true;
    }
    if (m_lock.error() != QLockFile::LockFailedError) {
        // The lock cannot even be written (a read-only program directory): nothing could be
        // saved there by any copy, so this one runs unguarded rather than not at all.
        return true;
    }
    // Another copy holds the book; it may still be starting up, so keep asking for a moment.
    const QDeadlineTimer deadline(kConnectMs);
    while (!deadline.hasExpired()) {
        if (askRunningCopyToShow())
            return false;
        if (m_lock.tryLock(0)) { // it has just ended
            listen();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

bool SingleInstance::askRunningCopyToShow() const
{
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(200))
        return false;
    socket.write(kShowRequest);
    socket.waitForBytesWritten(500);
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(serverName())) {
        // A socket left by a copy that died: we hold the lock, so it is ours to replace.
        QLocalServer::removeServer(serverName());
        m_server->listen(serverName());
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains(kShowRequest.trimmed()))
                    emit showRequested();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

} // namespace kvillo
