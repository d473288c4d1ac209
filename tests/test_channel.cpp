// The channel between programs on one book, without a window: what a holder makes of the bytes
// a client sends, and the client's end of a local socket against peers that misbehave.

#include "data_test_util.h"

#include "channel/book_channel.h"
#include "sys/system.h"

#include <QTest>

#include <chrono>
#include <string>

using namespace kvillo;
using namespace std::chrono_literals;

namespace {

using Kind = channel::Request::Kind;

// The bytes of a literal, NULs included.
template <std::size_t N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

sys::Deadline in(std::chrono::milliseconds wait)
{
    return std::chrono::steady_clock::now() + wait;
}

} // namespace

class TestChannel : public QObject
{
    Q_OBJECT

private slots:
    // What arrives is taken request by request; what is not whole yet stays for later, and what
    // is no request of ours is bad, however it is shaped.
    void requestsAsTheyArrive_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("left"); // what stays for the next request
        QTest::addColumn<QString>("entries"); // descriptions|mails of an add
        const QByteArray id(32, 'a');
        QTest::newRow("show, and the next one arriving") << QByteArray("show\nsh") << int(Kind::Show)
                                                         << QByteArray("sh") << "";
        QTest::newRow("a first line still arriving") << QByteArray("add 12") << int(Kind::Incomplete)
                                                     << QByteArray("add 12") << "";
        QTest::newRow("an add whole, then show") << "add 9 " + id + raw("\nA\r\n\0a@x\r\nshow\n") << int(Kind::Add)
                                                 << QByteArray("show\n") << "A|a@x";
        QTest::newRow("an add still arriving") << "add 9 " + id + raw("\nA\r\n\0a") << int(Kind::Incomplete)
                                               << "add 9 " + id + raw("\nA\r\n\0a") << "";
        QTest::newRow("an add without an identifier")
            << raw("add 8\n\r\n\0a@x\r\n") << int(Kind::Add) << QByteArray() << "|a@x";
        QTest::newRow("lists of unequal length") << raw("add 6\nA\r\nB\0a") << int(Kind::Bad) << QByteArray() << "";
        QTest::newRow("no NUL") << raw("add 3\nA@x") << int(Kind::Bad) << QByteArray() << "";
        QTest::newRow("two NULs") << raw("add 3\n\0\0a") << int(Kind::Bad) << QByteArray() << "";
        for (const char *size : {"-3", "+3", "3x", "", "99999999999999999999", "4294967297"})
            QTest::newRow(qPrintable(QStringLiteral("size \"%1\"").arg(size)))
                << "add " + QByteArray(size) + ' ' + id + '\n' << int(Kind::Bad) << QByteArray() << "";
        QTest::newRow("not an identifier") << "add 1 " + QByteArray(32, 'Z') + '\n' << int(Kind::Bad) << QByteArray()
                                           << "";
        QTest::newRow("too many words") << "add 1 " + id + " x\n" << int(Kind::Bad) << QByteArray() << "";
        QTest::newRow("a long line without an end") << QByteArray(200, 'x') << int(Kind::Bad) << QByteArray() << "";
        QTest::newRow("an unknown word") << QByteArray("hello\n") << int(Kind::Bad) << QByteArray() << "";
    }
    void requestsAsTheyArrive()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, kind);
        QFETCH(QByteArray, left);
        QFETCH(QString, entries);
        std::string bytes = received.toStdString();
        const channel::Request request = channel::takeRequest(bytes);
        QCOMPARE(int(request.kind), kind);
        if (request.kind != Kind::Bad)
            QCOMPARE(QByteArray::fromStdString(bytes), left);
        if (request.kind == Kind::Add) {
            QString got;
            for (std::size_t i = 0; i < request.entries.mails.size(); ++i)
                got += QString::fromStdString(std::string(request.entries.descriptions[i])) + '|'
                    + QString::fromStdString(std::string(request.entries.mails[i]));
            QCOMPARE(got, entries);
        }
    }

    // What an "add" request carries comes back as it was sent; the counts of the answer are
    // believed only when they add up to what was offered.
    void addRoundTripAndCounts()
    {
        BookLists entries;
        entries.descriptions.append("Иванов, бухгалтер");
        entries.descriptions.append("");
        entries.mails.append("i@x");
        entries.mails.append("j@x");
        std::string request = channel::addRequest(entries, std::string(32, 'b'));
        const channel::Request taken = channel::takeRequest(request);
        QCOMPARE(int(taken.kind), int(Kind::Add));
        QCOMPARE(taken.importId, std::string(32, 'b'));
        QCOMPARE(taken.entries.descriptions[0], std::string_view("Иванов, бухгалтер"));
        QCOMPARE(taken.entries.mails[1], std::string_view("j@x"));
        QVERIFY(request.empty());
        QCOMPARE(channel::addedAnswer({1, 1}), std::string("added 1 1\n"));
        QCOMPARE(channel::failedAnswer("a\nb\rc"), std::string("failed a b c\n"));
        const std::pair<const char *, std::size_t> counts[] = {{"1 1", 1}, {"3 1", 2}, {"x 1", 2}, {"", 2}, {"1 1 0", 2}};
        for (const auto &[reason, added] : counts)
            QCOMPARE(channel::addedCounts({"added", reason}, 2).added, added);
    }

    // The client's end never waits past its deadline and is never ended by its peer: not for a
    // peer that does not read, one that answers half a line, or one that hangs up.
    void clientAgainstPeersThatMisbehave_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("does not read") << "silent" << false << QByteArray();
        QTest::newRow("answers half a line") << "half" << true << QByteArray("add");
        QTest::newRow("hangs up") << "gone" << false << QByteArray();
        QTest::newRow("answers") << "answers" << true << QByteArray("added 1 0\n");
    }
    void clientAgainstPeersThatMisbehave()
    {
        QFETCH(QString, peer);
        QFETCH(bool, sent);
        QFETCH(QByteArray, answer);
        testutil::ScratchDir dir;
        const std::string name = dir.path("socket");
        const int server = testutil::localSocket(name, true);
        QVERIFY(server >= 0);
        QVERIFY(!sys::LocalConnection(dir.path("nobody"), 50ms).connected());
        sys::LocalConnection connection(name, 200ms);
        QVERIFY(connection.connected() && sys::peerIsThisUser(connection.handle()));
        const int client = ::accept(server, nullptr, nullptr);
        if (peer == "gone")
            ::close(client);
        else if (peer != "silent")
            (void)!::write(client, answer.constData(), static_cast<std::size_t>(answer.size()));
        // More than the socket's buffers hold, so that a peer that does not read holds it up.
        const std::string request(peer == "answers" || peer == "half" ? 10 : 8 << 20, 'x');
        const auto start = std::chrono::steady_clock::now();
        QCOMPARE(connection.send(request, in(300ms)), sent);
        QCOMPARE(QByteArray::fromStdString(connection.receiveLine(in(300ms))), answer);
        QVERIFY(std::chrono::steady_clock::now() - start < 2s);
        if (peer != "gone")
            ::close(client);
        ::close(server);
    }
};

QTEST_APPLESS_MAIN(TestChannel)
#include "test_channel.moc"
