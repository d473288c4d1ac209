#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace kvillo {

// Stored bytes (Windows-1251) to text on screen.
QString fromStored(std::string_view bytes);

// Text typed by the user to stored bytes; empty when a character has no Windows-1251 byte.
std::optional<std::string> toStored(const QString &text);

// The characters of `text` that Windows-1251 cannot hold, each once, in order.
QString unstorableCharacters(const QString &text);

} // namespace kvillo
