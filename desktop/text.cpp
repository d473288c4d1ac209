#include "desktop/text.h"

#include "sys/cp1251.h"

#include <QList>

namespace kvillo {

QString fromStored(std::string_view bytes)
{
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar *out = text.data();
    for (unsigned char b : bytes)
        *out++ = QChar(cp1251::toUnicode(b));
    return text;
}

std::optional<std::string> toStored(const QString &text)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar ch : text) {
        const int b = ch.isSurrogate() ? -1 : cp1251::fromUnicode(ch.unicode());
        if (b < 0)
            return std::nullopt;
        bytes += static_cast<char>(b);
    }
    return bytes;
}

QString unstorableCharacters(const QString &text)
{
    QString result;
    for (const uint code : text.toUcs4()) {
        if (cp1251::fromUnicode(code) >= 0)
            continue;
        const QString ch = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        if (!result.contains(ch))
            result += ch;
    }
    return result;
}

} // namespace kvillo
