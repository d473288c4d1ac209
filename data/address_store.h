#pragma once

#include "line_list.h"

#include <array>
#include <string>

namespace kvillo {

enum class ListId { Descriptions = 0, Mails = 1 };

// Where the program's own files lie, and how the data files are read and written.
//
// A data file that has not been loaded since the program started still holds the user's entries
// (for example, it could not be read at start-up). Before the program first writes over such a
// file, it is moved aside to "<name>.unloaded-YYYYMMDD-HHMMSS", so nothing stored is ever lost.
class AddressStore
{
public:
    // `applicationDirectory` ends with a path separator.
    explicit AddressStore(std::string applicationDirectory);

    const std::string &applicationDirectory() const { return m_directory; }
    std::string dataPath(ListId id) const;
    std::string settingsPath() const;

    // Fills `list` from its data file; throws FileOpenError and leaves `list` as it was.
    void load(ListId id, LineList &list);
    // Writes `list` to its data file; throws FileCreateError or StreamWriteError.
    void save(ListId id, const LineList &list);
    // Writes raw line-file bytes to a data file (a restore), with the same protection.
    void replaceData(ListId id, std::string_view bytes);

    // Whether the data file has been loaded (or written) since start-up.
    bool isLoaded(ListId id) const { return m_loaded[static_cast<int>(id)]; }

private:
    void protectUnloaded(ListId id);

    std::string m_directory;
    std::array<bool, 2> m_loaded{false, false};
};

// The directory of the running executable, with its trailing separator.
std::string applicationDirectory();

} // namespace kvillo
