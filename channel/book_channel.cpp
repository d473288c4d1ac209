#include "channel/book_channel.h"

#include "book/address_store.h"
#include "sys/errors.h"
#include "sys/memory.h"
#include "sys/system.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <string_view>

namespace kvillo::channel {

namespace {

// An import larger than the data files could hold is no request of ours.
constexpr std::uint64_t kMaxPayload = std::uint64_t(1) << 32;
// The longest socket path the system takes (108 bytes on Linux, 104 elsewhere), with room to spare.
constexpr std::size_t kMaxSocketPath = 100;
// How long a connection waits for a holder whose queue of connections is full.
constexpr std::chrono::milliseconds kConnectWait(200);

std::string text(const LineList &list)
{
    Bytes bytes;
    list.toText(bytes);
    return std::string(bytes.data(), bytes.size());
}

// The 64-bit FNV-1a hash of `key` as 16 hexadecimal digits: a short name for a long path. The
// folders the names live in are the user's alone, so no one can plant a name that collides.
std::string hexHash(std::string_view key)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : key)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    std::string hex(16, '0');
    for (std::size_t i = hex.size(); i-- > 0; hash >>= 4)
        hex[i] = "0123456789abcdef"[hash & 15];
    return hex;
}

std::string baseName(const std::string &dataFolder)
{
    return "kvillo-" + hexHash(sys::folderIdentity(dataFolder) + '\n' + sys::userName());
}

std::vector<std::string> namesIn(const std::vector<std::string> &folders, const std::string &dataFolder)
{
    const std::string base = baseName(dataFolder);
    std::vector<std::string> found;
    for (const std::string &folder : folders) {
        if (folder.size() + base.size() <= kMaxSocketPath)
            found.push_back(folder + base);
    }
    return found;
}

// Reads the unsigned decimal number that is all of `word` into `value`; whether it is one.
bool number(std::string_view word, std::uint64_t &value)
{
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return !word.empty() && error == std::errc() && end == word.data() + word.size();
}

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> found;
    for (std::size_t space; (space = line.find(' ')) != std::string_view::npos; line.remove_prefix(space + 1))
        found.push_back(line.substr(0, space));
    found.push_back(line);
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

std::string listenName(const std::string &dataFolder)
{
    const std::vector<std::string> found = namesIn({sys::listeningFolder()}, dataFolder);
    if (found.empty())
        throw Error("слишком длинный путь к папке канала");
    return found.front();
}

std::vector<std::string> names(const std::string &dataFolder)
{
    return namesIn(sys::channelFolders(), dataFolder);
}

std::string showRequest()
{
    return "show\n";
}

std::string addRequest(const BookLists &entries, const std::string &importId)
{
    const std::string descriptions = text(entries.descriptions), mails = text(entries.mails);
    std::string request = "add " + std::to_string(descriptions.size() + 1 + mails.size()) + ' ' + importId + '\n';
    request.reserve(request.size() + descriptions.size() + 1 + mails.size());
    return request.append(descriptions).append(1, '\0').append(mails);
}

Request takeRequest(std::string &received)
{
    const std::size_t end = received.find('\n');
    if (end == std::string::npos)
        return received.size() > 128 ? bad("bad request") : Request();
    const std::string_view line(received.data(), end);
    if (line == "show") {
        received.erase(0, end + 1);
        Request request;
        request.kind = Request::Kind::Show;
        return request;
    }
    // "add N ID"; a request without an identifier is stored without one.
    const std::vector<std::string_view> parts = words(line);
    std::uint64_t size = 0;
    const bool sized = parts.size() >= 2 && parts[0] == "add" && number(parts[1], size);
    const std::string importId = parts.size() == 3 ? std::string(parts[2]) : std::string();
    if (!sized || size > kMaxPayload || parts.size() > 3 || (parts.size() == 3 && !AddressStore::isImportId(importId)))
        return bad("bad request");
    if (received.size() - (end + 1) < size)
        return {};
    const std::string_view payload(received.data() + end + 1, static_cast<std::size_t>(size));
    const std::size_t nul = payload.find('\0');
    if (nul == std::string_view::npos || payload.find('\0', nul + 1) != std::string_view::npos) {
        received.erase(0, end + 1 + payload.size());
        return bad("bad request");
    }
    Request request;
    request.entries.descriptions.assignText(payload.substr(0, nul));
    request.entries.mails.assignText(payload.substr(nul + 1));
    received.erase(0, end + 1 + payload.size());
    const std::size_t counts[] = {request.entries.descriptions.size(), request.entries.mails.size()};
    if (counts[0] != counts[1])
        return bad("описаний " + std::to_string(counts[0]) + ", а адресов " + std::to_string(counts[1]));
    request.kind = Request::Kind::Add;
    request.importId = importId;
    return request;
}

std::string shownAnswer()
{
    return "shown\n";
}

std::string addedAnswer(const AddressBook::ImportCounts &counts)
{
    return "added " + std::to_string(counts.added) + ' ' + std::to_string(counts.alreadyThere) + '\n';
}

AddressBook::ImportCounts addedCounts(const Answer &answer, std::size_t offered)
{
    const std::vector<std::string_view> parts = words(answer.reason);
    if (parts.size() == 2) {
        std::uint64_t added = 0, there = 0;
        if (number(parts[0], added) && number(parts[1], there) && added + there == offered)
            return {static_cast<std::size_t>(added), static_cast<std::size_t>(there)};
    }
    return {offered, 0};
}

std::string failedAnswer(const std::string &reason)
{
    std::string line = reason;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    return "failed " + line + '\n';
}

std::optional<Answer> ask(const std::string &dataFolder, const std::string &request, sys::Deadline deadline, bool *delivered)
{
    for (const std::string &name : names(dataFolder)) {
        sys::LocalConnection connection(name, kConnectWait);
        // Only a program of our own user is told anything.
        if (!connection.connected() || !sys::peerIsThisUser(connection.handle()))
            continue;
        const bool sent = connection.send(request, deadline);
        if (delivered != nullptr)
            *delivered = sent;
        // A hung holder still accepts the connection; only its answer shows it is alive. One that
        // is still loading answers once it gets to it.
        const std::string answer = connection.receiveLine(deadline);
        const std::size_t end = answer.find('\n');
        if (end == std::string::npos)
            return std::nullopt;
        const std::string line = answer.substr(0, end);
        const std::size_t space = line.find(' ');
        return Answer{line.substr(0, space), space == std::string::npos ? std::string() : line.substr(space + 1)};
    }
    return std::nullopt;
}

} // namespace kvillo::channel
