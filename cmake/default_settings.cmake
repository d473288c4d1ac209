# The shipped default settings file, built into the program as bytes: a first start in the user's
# data folder writes it without needing resources/ at run time.
set(KVILLO_DEFAULT_SETTINGS ${CMAKE_CURRENT_SOURCE_DIR}/resources/config/config.ini)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KVILLO_DEFAULT_SETTINGS})
file(READ ${KVILLO_DEFAULT_SETTINGS} kvillo_settings_hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" kvillo_settings_escaped "${kvillo_settings_hex}")
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/generated/data/default_settings.cpp CONTENT [[
// Generated from resources/config/config.ini when the build is configured.
#include "data/book_folder.h"

namespace kvillo {

std::string_view defaultSettingsText()
{
    static constexpr char bytes[] = "@kvillo_settings_escaped@";
    return std::string_view(bytes, sizeof bytes - 1);
}

} // namespace kvillo
]] @ONLY)
target_sources(kvillo_data PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated/data/default_settings.cpp)
