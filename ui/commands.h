#pragma once

#include <QString>

namespace kvillo {

// The sixteen commands of the main window. The value is the number in the command's object name
// and handler (Action7, Action7Execute).
enum class Command {
    MinimizeToTray = 1,
    VisitSite = 2,
    WriteToSupport = 3,
    CheckForUpdate = 4,
    About = 5,
    Add = 6,
    Copy = 7,
    Delete = 8,
    Edit = 9,
    Help = 10,
    WriteToThisOne = 11,
    Exit = 12,
    BackUp = 13,
    Restore = 14,
    Print = 15,
    Font = 16,
};

inline constexpr int kCommandCount = 16;

inline constexpr int commandNumber(Command command)
{
    return static_cast<int>(command);
}

// "Action7" for Copy: how the command's action is found.
inline QString actionName(Command command)
{
    return QStringLiteral("Action%1").arg(commandNumber(command));
}

} // namespace kvillo
