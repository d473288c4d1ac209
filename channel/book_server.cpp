#include "channel/book_server.h"

#include "channel/book_channel.h"
#include "sys/errors.h"

#include <exception>

namespace kvillo::channel {

BookServer::BookServer(ShowHandler show)
    : m_show(std::move(show))
{ }

std::string BookServer::answer(std::string &received)
{
    std::string answers;
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

} // namespace kvillo::channel
