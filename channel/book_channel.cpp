#include "channel/book_channel.h"

#include "book/address_store.h"
#include "sys/errors.h"
#include "sys/memory.h"
#include "sys/system.h"

#include <QCryptographicHash>
#include <QLocalSocket>

#include <algorithm>

namespace kvillo::channel {

namespace {

// An import larger than the data files could hold is no request of ours.
constexpr qsizetype kMaxPayload = qsizetype(1) << 32;
// The longest socket path the system takes (108 bytes on Linux, 104 elsewhere), with room to spare.
constexpr std::size_t kMaxSocketPath = 100;

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

std::string baseName(const std::string &dataFolder)
{
    const std::string key = sys::folderIdentity(dataFolder) + '\n' + sys::userName();
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(key), QCryptographicHash::Sha1);
    return "kvillo-" + hash.toHex().left(16).toStdString();
}

QStringList namesIn(const std::vector<std::string> &folders, const std::string &dataFolder)
{
    const std::string base = baseName(dataFolder);
    QStringList found;
    for (const std::string &folder : folders) {
        if (folder.size() + base.size() <= kMaxSocketPath)
            found << QString::fromLocal8Bit(folder + base);
    }
    return found;
}

Request bad(std::string problem)
{
    Request request;
    request.kind = Request::Kind::Bad;
    request.problem = std::move(problem);
    return request;
}

} // namespace

QString listenName(const std::string &dataFolder)
{
    const QStringList found = namesIn({sys::listeningFolder()}, dataFolder);
    if (found.isEmpty())
        throw Error("слишком длинный путь к папке канала");
    return found.front();
}

QStringList names(const std::string &dataFolder)
{
    return namesIn(sys::channelFolders(), dataFolder);
}

QByteArray showRequest()
{
    return QByteArrayLiteral("show\n");
}

QByteArray addRequest(const BookLists &entries, const std::string &importId)
{
    const std::string payload = text(entries.descriptions) + '\0' + text(entries.mails);
    return "add " + QByteArray::number(qsizetype(payload.size())) + ' ' + QByteArray::fromStdString(importId) + '\n'
        + QByteArray::fromStdString(payload);
}

Request takeRequest(QByteArray &received)
{
    const qsizetype end = received.indexOf('\n');
    if (end < 0)
        return received.size() > 128 ? bad("bad request") : Request();
    const QByteArray line = received.left(end);
    if (line == "show") {
        received.remove(0, end + 1);
        Request request;
        request.kind = Request::Kind::Show;
        return request;
    }
    // "add N ID"; a request without an identifier is stored without one.
    const QList<QByteArray> words = line.split(' ');
    bool number = false;
    const qsizetype size = words.size() >= 2 && words[0] == "add" ? words[1].toLongLong(&number) : -1;
    const std::string importId = words.size() == 3 ? words[2].toStdString() : std::string();
    if (!number || size < 0 || size > kMaxPayload || words.size() > 3
        || (words.size() == 3 && !AddressStore::isImportId(importId)))
        return bad("bad request");
    if (received.size() - (end + 1) < size)
        return {};
    const std::string_view payload(received.constData() + end + 1, static_cast<std::size_t>(size));
    received.remove(0, end + 1 + size);
    const std::size_t nul = payload.find('\0');
    if (nul == std::string_view::npos || payload.find('\0', nul + 1) != std::string_view::npos)
        return bad("bad request");
    Request request;
    request.entries.descriptions.assignText(payload.substr(0, nul));
    request.entries.mails.assignText(payload.substr(nul + 1));
    const std::size_t counts[] = {request.entries.descriptions.size(), request.entries.mails.size()};
    if (counts[0] != counts[1])
        return bad("описаний " + std::to_string(counts[0]) + ", а адресов " + std::to_string(counts[1]));
    request.kind = Request::Kind::Add;
    request.importId = importId;
    return request;
}

QByteArray shownAnswer()
{
    return QByteArrayLiteral("shown\n");
}

QByteArray addedAnswer(const AddressBook::ImportCounts &counts)
{
    return "added " + QByteArray::number(qulonglong(counts.added)) + ' '
        + QByteArray::number(qulonglong(counts.alreadyThere)) + '\n';
}

AddressBook::ImportCounts addedCounts(const Answer &answer, std::size_t offered)
{
    const QList<QByteArray> words = QByteArray::fromStdString(answer.reason).split(' ');
    bool addedOk = false, thereOk = false;
    if (words.size() == 2) {
        const qulonglong added = words[0].toULongLong(&addedOk), there = words[1].toULongLong(&thereOk);
        if (addedOk && thereOk && added + there == offered)
            return {static_cast<std::size_t>(added), static_cast<std::size_t>(there)};
    }
    return {offered, 0};
}

QByteArray failedAnswer(const std::string &reason)
{
    QByteArray line = QByteArray::fromStdString(reason);
    line.replace('\n', ' ').replace('\r', ' ');
    return "failed " + line + '\n';
}

std::optional<Answer> ask(
    const std::string &dataFolder, const QByteArray &request, const QDeadlineTimer &deadline, bool *delivered)
{
    for (const QString &name : names(dataFolder)) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (!socket.waitForConnected(200))
            continue;
        // Only a program of our own user is told anything.
        if (!sys::peerIsThisUser(socket.socketDescriptor())) {
            socket.abort();
            continue;
        }
        socket.write(request);
        while (socket.bytesToWrite() > 0 && !deadline.hasExpired() && socket.waitForBytesWritten(remainingMs(deadline)))
            ;
        if (delivered != nullptr)
            *delivered = socket.bytesToWrite() == 0;
        // A hung holder still accepts the connection; only its answer shows it is alive. One that
        // is still loading answers once it gets to it.
        QByteArray answer;
        while (!answer.contains('\n') && !deadline.hasExpired() && socket.waitForReadyRead(remainingMs(deadline)))
            answer += socket.readAll();
        answer += socket.readAll();
        const qsizetype end = answer.indexOf('\n');
        if (end < 0)
            return std::nullopt;
        const QByteArray line = answer.left(end);
        const qsizetype space = line.indexOf(' ');
        return Answer{
            space < 0 ? line : line.left(space), space < 0 ? std::string() : line.mid(space + 1).toStdString()};
    }
    return std::nullopt;
}

} // namespace kvillo::channel
