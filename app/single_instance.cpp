#include "app/single_instance.h"

#include "channel/book_channel.h"
#include "channel/book_door.h"
#include "desktop/platform.h"
#include "sys/errors.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <chrono>
#include <exception>

namespace kvillo {

namespace {

// A program that is still loading a large book answers only once its window is built.
constexpr std::chrono::milliseconds kAnswerWait(10000);

QString refusal(const sys::LockHolder &holder)
{
    auto field = [](const std::string &value) {
        return value.empty() ? QStringLiteral("неизвестно") : QString::fromStdString(value);
    };
    QString who;
    switch (holder.kind) {
    case sys::LockHolder::Kind::AnotherUser:
        who = QStringLiteral("Адресная книга уже открыта программой Kvillo другого пользователя.");
        break;
    case sys::LockHolder::Kind::Elsewhere:
        who = QStringLiteral("Адресная книга уже открыта программой Kvillo на другом компьютере.");
        break;
    case sys::LockHolder::Kind::ThisUser:
        who = QStringLiteral("Адресная книга уже открыта в другой программе Kvillo, которая не отвечает.");
        break;
    }
    return who
        + QStringLiteral("\n\nКомпьютер: %1\nПроцесс: %2\nПользователь: %3\n\n"
                         "Закройте ту программу и запустите Kvillo снова.")
              .arg(field(holder.host), field(holder.process), field(holder.user));
}

} // namespace

SingleInstance::SingleInstance(std::string dataFolder, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(dataFolder))
    , m_server([this] { emit showRequested(); })
{ }

SingleInstance::~SingleInstance() = default;

SingleInstance::Decision SingleInstance::start(Platform &platform)
{
    // The holder may still be starting up or loading: it is asked for a while.
    channel::Door door = channel::lockOrHandOver(
        m_folder, channel::showRequest, std::chrono::steady_clock::now() + kAnswerWait, std::chrono::milliseconds(0));
    switch (door.outcome) {
    case channel::Door::Outcome::Held:
        // Held, or no lock can be made here at all (no data folder). Such a book is not kept from
        // opening: the start-up then reports the damage, or each save fails with its own message,
        // which says more than any lock could.
        m_lock = std::move(door.lock);
        if (m_lock->state() == sys::FolderLock::State::Held) {
            try {
                listen();
            } catch (const std::exception &e) {
                platform.showError(QStringLiteral("Kvillo не может открыть канал, через который к работающей программе "
                                                  "обращаются её повторный запуск и импорт из командной строки:\n%1\n\n"
                                                  "Программа работает, но, пока она открыта, они будут сообщать, что "
                                                  "адресная книга занята.")
                                       .arg(QString::fromStdString(e.what())));
            }
        }
        return Decision::Run;
    case channel::Door::Outcome::Answered:
        if (door.answer->word == "shown")
            return Decision::HandedOver;
        break;
    case channel::Door::Outcome::OtherHolder:
    case channel::Door::Outcome::NoAnswer:
        break;
    }
    platform.showError(refusal(door.holder));
    return Decision::Refused;
}

void SingleInstance::listen()
{
    const QString name = QString::fromLocal8Bit(channel::listenName(m_folder));
    m_listener = std::make_unique<QLocalServer>();
    m_listener->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_listener->listen(name)) {
        // A socket left by a program that died: we hold the book, and the folder is ours alone.
        QLocalServer::removeServer(name);
        if (!m_listener->listen(name)) {
            const QString reason = name + QStringLiteral(": ") + m_listener->errorString();
            m_listener.reset();
            throw Error(reason.toStdString());
        }
    }
    QLocalServer *server = m_listener.get();
    connect(server, &QLocalServer::newConnection, server, [this, server] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // Only a program of our own user is heard.
            if (!sys::peerIsThisUser(socket->socketDescriptor())) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto received = std::make_shared<std::string>();
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket, received] {
                const QByteArray arrived = socket->readAll();
                received->append(arrived.constData(), static_cast<std::size_t>(arrived.size()));
                const std::string answers = m_server.answer(*received);
                if (answers.empty())
                    return;
                socket->write(answers.data(), static_cast<qint64>(answers.size()));
                socket->flush();
            });
        }
    });
}

} // namespace kvillo
