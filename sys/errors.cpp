#include "errors.h"

#include "cp1251.h"
#include "system.h"

namespace kvillo {

FileOpenError::FileOpenError(const std::string &path, const std::string &systemText)
    : Error("Cannot open file \"" + path + "\". " + systemText)
{ }

FileCreateError::FileCreateError(const std::string &path, const std::string &systemText)
    : Error("Cannot create file \"" + path + "\". " + systemText)
{ }

PathError::PathError(const std::string &path, int systemCode)
    : FileCreateError(path, sys::errorText(systemCode))
    , m_code(systemCode)
{ }

StreamWriteError::StreamWriteError()
    : Error("Stream write error")
{ }

ListIndexError::ListIndexError(long long index)
    : Error("List index out of bounds (" + std::to_string(index) + ")")
{ }

namespace {

std::string convertMessage(const std::string &cp1251Value)
{
    std::string message(1, '\'');
    message += cp1251::toUtf8(cp1251Value);
    message += "' is not a valid integer value";
    return message;
}

} // namespace

ConvertError::ConvertError(const std::string &cp1251Value)
    : Error(convertMessage(cp1251Value))
{ }

RecoveryError::RecoveryError(const std::string &folder, const std::string &reason)
    : Error("Не удалось завершить прерванное сохранение адресной книги в папке \"" + folder + "\" (" + reason
        + "). Файлы оставлены как были; книга откроется, когда ошибка будет устранена")
{ }

MemoCapacityError::MemoCapacityError()
    : Error("Text exceeds memo capacity")
{ }

NulByteError::NulByteError(const std::string &path)
    : Error("Файл «" + path
        + "» содержит нулевой байт, и его нельзя прочитать целиком. Восстановление отменено, "
          "данные не изменены")
{ }

} // namespace kvillo
