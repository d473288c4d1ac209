#include "app/single_instance.h"

#include "channel/book_channel.h"
#include "desktop/platform.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

namespace kvillo {

namespace {

// A program that is still loading a large book answers only once its window is built.
constexpr int kAnswerMs = 10000;

QString refusal(const sys::LockHolder &holder)
{
    auto field = [](const std::string &value) {
        return value.empty() ? QStringLiteral("неизвестно") : QString::fromStdString(value);
    };
    const QString who = holder.kind == sys::LockHolder::Kind::AnotherUser
        ? QStringLiteral("Адресная книга уже открыта программой Kvillo другого пользователя.")
        : QStringLiteral("Адресная книга уже открыта другой программой Kvillo и не отвечает.");
    return who
        + QStringLiteral("\n\nКомпьютер: %1\nПроцесс: %2\nПользователь: %3\n\n"
                         "Закройте ту программу и запустите Kvillo снова.")
              .arg(field(holder.host), field(holder.process), field(holder.user));
}

} // namespace

SingleInstance::SingleInstance(std::string dataFolder, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(dataFolder))
{ }

SingleInstance::~SingleInstance() = default;

bool SingleInstance::takeLock(Platform &platform)
{
    m_lock = std::make_unique<sys::FolderLock>(m_folder);
    QString problem;
    if (m_lock->state() == sys::FolderLock::State::Held && !listen(problem))
        platform.showError(QStringLiteral("Kvillo не может открыть канал, через который к работающей программе "
                                          "обращаются её повторный запуск и импорт из командной строки:\n%1\n\n"
                                          "Программа работает, но, пока она открыта, они будут сообщать, что "
                                          "адресная книга занята.")
                               .arg(problem));
    return m_lock->state() != sys::FolderLock::State::Busy;
}

SingleInstance::Decision SingleInstance::start(Platform &platform)
{
    // Held, or no lock can be made here at all (no data folder). Such a book is not kept from
    // opening: the start-up then reports the damage, or each save fails with its own message,
    // which says more than any lock could.
    if (takeLock(platform))
        return Decision::Run;
    // Busy. The holder may still be starting up or loading: keep asking for a while.
    const QDeadlineTimer deadline(kAnswerMs);
    std::optional<sys::LockHolder> seen;
    while (!deadline.hasExpired()) {
        const sys::LockHolder holder = m_lock->holder();
        if (holder.kind != sys::LockHolder::Kind::ThisUser) {
            // Another user's or computer's program. One that has only just taken the lock may
            // not have written itself in yet: it must be seen so twice.
            if (seen == holder)
                break;
            seen = holder;
        } else if (askRunningCopyToShow(deadline)) {
            return Decision::HandedOver;
        }
        if (takeLock(platform)) // it has just ended
            return Decision::Run;
        QThread::msleep(50);
    }
    platform.showError(refusal(m_lock->holder()));
    return Decision::Refused;
}

bool SingleInstance::askRunningCopyToShow(const QDeadlineTimer &deadline) const
{
    const std::optional<channel::Answer> answer = channel::ask(m_folder, channel::showRequest(), deadline);
    return answer && answer->word == "shown";
}

// What to send back for the requests received so far (nothing while one is still arriving).
QByteArray SingleInstance::answer(QByteArray &received)
{
    QByteArray answers;
    for (;;) {
        channel::Request request = channel::takeRequest(received);
        switch (request.kind) {
        case channel::Request::Kind::Incomplete:
            return answers;
        case channel::Request::Kind::Bad:
            received.clear();
            return answers + channel::failedAnswer(request.problem);
        case channel::Request::Kind::Show:
            emit showRequested();
            answers += channel::shownAnswer();
            break;
        case channel::Request::Kind::Add: {
            const std::string failure
                = m_addHandler ? m_addHandler(request.entries, request.importId) : std::string("no book");
            answers += failure.empty() ? channel::addedAnswer() : channel::failedAnswer(failure);
            break;
        }
        }
    }
}

bool SingleInstance::listen(QString &problem)
{
    const QString name = channel::listenName(m_folder, problem);
    if (name.isEmpty())
        return false;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        // A socket left by a program that died: we hold the book, and the folder is ours alone.
        QLocalServer::removeServer(name);
        if (!m_server->listen(name)) {
            problem = name + QStringLiteral(": ") + m_server->errorString();
            m_server.reset();
            return false;
        }
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // Only a program of our own user is heard.
            if (!sys::peerIsThisUser(socket->socketDescriptor())) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto received = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, this, [this, socket, received] {
                *received += socket->readAll();
                const QByteArray answers = answer(*received);
                if (answers.isEmpty())
                    return;
                socket->write(answers);
                socket->flush();
            });
        }
    });
    return true;
}

} // namespace kvillo
