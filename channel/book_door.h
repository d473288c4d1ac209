#pragma once

#include "channel/book_channel.h"
#include "sys/system.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The way into a book that another program may hold, for both kinds of later start: the window's
// second start and the command line's import. Either the caller takes the book's lock, or the
// program of this user that holds it is handed the caller's request.
namespace kvillo::channel {

struct Door
{
    enum class Outcome {
        Held, // `lock` is the caller's now, or no lock can be made in the folder at all
        Answered, // the holder answered the request (`answer`)
        OtherHolder, // another user's or another computer's program holds the book (`holder`)
        NoAnswer, // a program of this user holds it and did not answer in time (`holder`)
    };
    Outcome outcome = Outcome::NoAnswer;
    std::unique_ptr<sys::FolderLock> lock;
    std::optional<Answer> answer;
    sys::LockHolder holder;
    bool delivered = false; // whether a request reached a holder whole
};

// Takes the lock of the book in `dataFolder` (ending with a separator), or, while a program of
// this user holds it, hands it `request`; tries again until `wait` has passed, so that a holder
// that is still starting answers, and one that has just ended leaves the lock to the caller. Each
// request may take until the later of `wait` and `answer` from its sending. Another
// user's or computer's program is reported only once it is seen twice: one that has only just
// taken the lock may not have written itself into the lock file yet. `request` is called for the
// request only when there is a holder to hand it to: a large import is not copied for nobody.
Door lockOrHandOver(const std::string &dataFolder, const std::function<std::string()> &request, sys::Deadline wait,
    std::chrono::milliseconds answer);

} // namespace kvillo::channel
