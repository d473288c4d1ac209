#include "channel/book_door.h"

#include <QThread>

#include <algorithm>

namespace kvillo::channel {

Door lockOrHandOver(const std::string &dataFolder, const std::function<QByteArray()> &request,
    const QDeadlineTimer &wait, int answerMs)
{
    Door door;
    std::optional<QByteArray> made;
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
            door.answer = ask(dataFolder, *made, std::max(wait, QDeadlineTimer(answerMs)), &reached);
            door.delivered = door.delivered || reached;
            if (door.answer) {
                door.outcome = Door::Outcome::Answered;
                return door;
            }
        }
        if (wait.hasExpired())
            break;
        door.lock.reset();
        QThread::msleep(50);
    }
    door.outcome
        = door.holder.kind == sys::LockHolder::Kind::ThisUser ? Door::Outcome::NoAnswer : Door::Outcome::OtherHolder;
    door.lock.reset();
    return door;
}

} // namespace kvillo::channel
