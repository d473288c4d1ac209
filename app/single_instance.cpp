#include "app/single_instance.h"

#include "channel/book_channel.h"
#include "desktop/platform.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QMap>
#include <QThread>

#include <algorithm>

namespace kvillo {

namespace {

// A program that is still loading a large book answers only once its window is built.
constexpr int kAnswerMs = 10000;

// The holder's record, "name=value" per line.
QMap<QString, QString> parseRecord(const std::string &record)
{
    QMap<QString, QString> fields;
    for (const QByteArray &line : QByteArray::fromStdString(record).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            fields.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)).trimmed());
    }
    return fields;
}

// Only a program of this user on this computer can be reached through the channel.
bool reachable(const QMap<QString, QString> &holder)
{
    const QString host = holder.value(QStringLiteral("host"));
    const QString user = holder.value(QStringLiteral("user"));
    return (host.isEmpty() || host == QString::fromStdString(sys::hostName()))
        && (user.isEmpty() || user == QString::fromStdString(sys::userName()));
}

QString refusal(const QMap<QString, QString> &holder)
{
    auto field = [&](const char *name) {
        const QString value = holder.value(QString::fromLatin1(name));
        return value.isEmpty() ? QStringLiteral("неизвестно") : value;
    };
    return QStringLiteral("Адресная книга уже открыта другой программой Kvillo и не отвечает.\n\n"
                          "Компьютер: %1\nПроцесс: %2\nПользователь: %3\n\n"
                          "Закройте ту программу и запустите Kvillo снова.")
        .arg(field("host"), field("pid"), field("user"));
}

} // namespace

SingleInstance::SingleInstance(std::string dataFolder, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(dataFolder))
{ }

SingleInstance::~SingleInstance() = default;

std::string SingleInstance::lockFileName() const
{
    return m_folder + ".kvillo.lock";
}

QString SingleInstance::serverName() const
{
    return channel::name(m_folder);
}

bool SingleInstance::takeLock()
{
    m_lock = std::make_unique<sys::FolderLock>(lockFileName());
    if (m_lock->state() == sys::FolderLock::State::Held)
        listen();
    return m_lock->state() != sys::FolderLock::State::Busy;
}

SingleInstance::Decision SingleInstance::start(Platform &platform)
{
    // Held, or no lock can be made here at all (no data folder, a read-only one). Such a book is
    // not kept from opening: the start-up then reports the damage, or each save fails with its
    // own message, which says more than any lock could.
    if (takeLock())
        return Decision::Run;
    // Busy. The holder may still be starting up or loading: keep asking for a while.
    const QDeadlineTimer deadline(kAnswerMs);
    std::string seen;
    while (!deadline.hasExpired()) {
        const std::string record = m_lock->holder();
        if (!reachable(parseRecord(record))) {
            // Another user's or computer's program. One that has only just taken the lock may
            // not have written itself in yet: the record must say so twice.
            if (record == seen)
                break;
            seen = record;
        } else if (askRunningCopyToShow(deadline)) {
            return Decision::HandedOver;
        }
        if (takeLock()) // it has just ended
            return Decision::Run;
        QThread::msleep(50);
    }
    platform.showError(refusal(parseRecord(m_lock->holder())));
    return Decision::Refused;
}

bool SingleInstance::askRunningCopyToShow(const QDeadlineTimer &deadline) const
{
    const std::optional<channel::Answer> answer = channel::ask(serverName(), channel::showRequest(), deadline);
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
            return answers + channel::failedAnswer("bad request");
        case channel::Request::Kind::Show:
            emit showRequested();
            answers += channel::shownAnswer();
            break;
        case channel::Request::Kind::Add: {
            const std::string failure = m_addHandler ? m_addHandler(request.entries) : std::string("no book");
            answers += failure.empty() ? channel::addedAnswer() : channel::failedAnswer(failure);
            break;
        }
        }
    }
}

void SingleInstance::listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(serverName())) {
        // A socket left by a program that died: we hold the book, so the name is ours.
        QLocalServer::removeServer(serverName());
        m_server->listen(serverName());
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            auto received = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, this, [this, socket, received] {
                *received += socket->readAll();
                const QByteArray answers = answer(*received);
                if (answers.isEmpty())
                    return;
                socket->write(answers);
                socket->flush();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

} // namespace kvillo
