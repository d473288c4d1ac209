#pragma once

#include "book/address_book.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <optional>
#include <string>

// The local channel between the program that holds an address book and later starts on the same
// book: a second window start asks the first to show itself, and the command line hands it the
// entries of an import to add, so nothing is ever written behind the back of a running window.
//
// A request is one line, "show", or "add N" followed by N bytes: the descriptions, a NUL byte and
// the mails, each as line-file text. The answer is one line: "shown", "added", or "failed" and
// the reason.
namespace kvillo::channel {

// The channel of the program that holds the book in `dataFolder` (the database folder as the
// system names it, ending with a separator): the same for every path to the folder, another for
// another folder put in its place, and one per user.
QString name(const std::string &dataFolder);

QByteArray showRequest();
QByteArray addRequest(const BookLists &entries);

struct Request
{
    enum class Kind { Incomplete, Show, Add, Bad };
    Kind kind = Kind::Incomplete;
    BookLists entries;
};
// Takes the first whole request off the front of what a client has sent so far.
Request takeRequest(QByteArray &received);

QByteArray shownAnswer();
QByteArray addedAnswer();
QByteArray failedAnswer(const std::string &reason);

struct Answer
{
    QByteArray word; // "shown", "added" or "failed"
    std::string reason;
};
// Sends `request` to the channel and waits for the answer until `deadline`; nothing when no
// program listens there or none answered in time.
std::optional<Answer> ask(const QString &name, const QByteArray &request, const QDeadlineTimer &deadline);

} // namespace kvillo::channel
