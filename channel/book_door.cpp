#include "channel/book_door.h"

#include <algorithm>
#include <thread>

namespace kvillo::channel {

Door lockOrHandOver(const std::string &dataFolder, const std::function<std::string()> &request, sys::Deadline wait,
    std::chrono::milliseconds answer)
{
    Door door;
    std::optional<std::string> made;
    std::optional<sys::LockHolder> seen;
    for (;;) {
        door.lock = std::make_unique<sys::FolderLock>(dataFolder);
        if (door.lock->state() != sys::FolderLock::State::Busy) {
            door.outcome = Door::Outcome::Held;
            return door;
        }
        door.holder = door.lock->holder();
        if (door.holder.kind != sys::LockHolder::Kind::ThisUser) {
            if (seen == door.holder)
                break;
            seen = door.holder;
        } else {
            bool reached = false;
            if (!made)
                made = request();
            door.answer = ask(dataFolder, *made, std::max(wait, std::chrono::steady_clock::now() + answer), &reached);
            door.delivered = door.delivered || reached;
            if (door.answer) {
                door.outcome = Door::Outcome::Answered;
                return door;
            }
        }
        if (std::chrono::steady_clock::now() >= wait)
            break;
        door.lock.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    door.outcome
        = door.holder.kind == sys::LockHolder::Kind::ThisUser ? Door::Outcome::NoAnswer : Door::Outcome::OtherHolder;
    door.lock.reset();
    return door;
}

} // namespace kvillo::channel
