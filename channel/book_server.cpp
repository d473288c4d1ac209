#include "channel/book_server.h"

#include "channel/book_channel.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <exception>

namespace kvillo::channel {

BookServer::BookServer(ShowHandler show)
    : m_show(std::move(show))
{ }

BookServer::~BookServer() = default;

QByteArray BookServer::answer(QByteArray &received)
{
    QByteArray answers;
    for (;;) {
        Request request = takeRequest(received);
        switch (request.kind) {
        case Request::Kind::Incomplete:
            return answers;
        case Request::Kind::Bad:
            received.clear();
            return answers + failedAnswer(request.problem);
        case Request::Kind::Show:
            if (m_show)
                m_show();
            answers += shownAnswer();
            break;
        case Request::Kind::Add:
            try {
                if (!m_add)
                    throw Error("no book");
                answers += addedAnswer(m_add(request.entries, request.importId));
            } catch (const std::exception &e) {
                answers += failedAnswer(e.what());
            } catch (...) {
                answers += failedAnswer("error");
            }
            break;
        }
    }
}

void BookServer::listen(const std::string &dataFolder)
{
    const QString name = listenName(dataFolder);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        // A socket left by a program that died: we hold the book, and the folder is ours alone.
        QLocalServer::removeServer(name);
        if (!m_server->listen(name)) {
            const QString reason = name + QStringLiteral(": ") + m_server->errorString();
            m_server.reset();
            throw Error(reason.toStdString());
        }
    }
    QLocalServer *server = m_server.get();
    QObject::connect(server, &QLocalServer::newConnection, server, [this, server] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // Only a program of our own user is heard.
            if (!sys::peerIsThisUser(socket->socketDescriptor())) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, received] {
                *received += socket->readAll();
                const QByteArray answers = answer(*received);
                if (answers.isEmpty())
                    return;
                socket->write(answers);
                socket->flush();
            });
        }
    });
}

} // namespace kvillo::channel
