#include "channel/book_channel.h"

#include "sys/memory.h"
#include "sys/system.h"

#include <QCryptographicHash>
#include <QLocalSocket>

#include <algorithm>

namespace kvillo::channel {

namespace {

// An import larger than the data files could hold is no request of ours.
constexpr qsizetype kMaxPayload = qsizetype(1) << 32;

std::string text(const LineList &list)
{
    Bytes bytes;
    list.toText(bytes);
    return std::string(bytes.data(), bytes.size());
}

int remainingMs(const QDeadlineTimer &deadline)
{
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, 60000));
}

} // namespace

QString name(const std::string &dataFolder)
{
    const std::string key = sys::folderIdentity(dataFolder) + '\n' + sys::userName();
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(key), QCryptographicHash::Sha1);
    return QStringLiteral("kvillo-") + QString::fromLatin1(hash.toHex().left(16));
}

QByteArray showRequest()
{
    return QByteArrayLiteral("show\n");
}

QByteArray addRequest(const BookLists &entries)
{
    const std::string payload = text(entries.descriptions) + '\0' + text(entries.mails);
    return "add " + QByteArray::number(qsizetype(payload.size())) + '\n' + QByteArray::fromStdString(payload);
}

Request takeRequest(QByteArray &received)
{
    Request request;
    const qsizetype end = received.indexOf('\n');
    if (end < 0) {
        if (received.size() > 64)
            request.kind = Request::Kind::Bad;
        return request;
    }
    const QByteArray line = received.left(end);
    if (line == "show") {
        received.remove(0, end + 1);
        request.kind = Request::Kind::Show;
        return request;
    }
    bool number = false;
    const qsizetype size = line.startsWith("add ") ? line.mid(4).toLongLong(&number) : -1;
    if (!number || size < 0 || size > kMaxPayload) {
        request.kind = Request::Kind::Bad;
        return request;
    }
    if (received.size() - (end + 1) < size)
        return request;
    const std::string_view payload(received.constData() + end + 1, static_cast<std::size_t>(size));
    const std::size_t nul = payload.find('\0');
    if (nul == std::string_view::npos) {
        request.kind = Request::Kind::Bad;
        return request;
    }
    request.entries.descriptions.assignText(payload.substr(0, nul));
    request.entries.mails.assignText(payload.substr(nul + 1));
    received.remove(0, end + 1 + size);
    request.kind = Request::Kind::Add;
    return request;
}

QByteArray shownAnswer()
{
    return QByteArrayLiteral("shown\n");
}

QByteArray addedAnswer()
{
    return QByteArrayLiteral("added\n");
}

QByteArray failedAnswer(const std::string &reason)
{
    QByteArray line = QByteArray::fromStdString(reason);
    line.replace('\n', ' ').replace('\r', ' ');
    return "failed " + line + '\n';
}

std::optional<Answer> ask(const QString &name, const QByteArray &request, const QDeadlineTimer &deadline)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(200))
        return std::nullopt;
    socket.write(request);
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired())
        socket.waitForBytesWritten(remainingMs(deadline));
    // A hung holder still accepts the connection; only its answer shows it is alive. One that is
    // still loading answers once it gets to it.
    QByteArray answer;
    while (!answer.contains('\n') && !deadline.hasExpired() && socket.waitForReadyRead(remainingMs(deadline)))
        answer += socket.readAll();
    const qsizetype end = answer.indexOf('\n');
    if (end < 0)
        return std::nullopt;
    const QByteArray line = answer.left(end);
    const qsizetype space = line.indexOf(' ');
    return Answer{space < 0 ? line : line.left(space), space < 0 ? std::string() : line.mid(space + 1).toStdString()};
}

} // namespace kvillo::channel
