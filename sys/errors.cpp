#include "errors.h"

#include "cp1251.h"

namespace kvillo {

FileOpenError::FileOpenError(const std::string &path, const std::string &systemText)
    : Error("Cannot open file \"" + path + "\". " + systemText)
{ }

FileCreateError::FileCreateError(const std::string &path, const std::string &systemText)
    : Error("Cannot create file \"" + path + "\". " + systemText)
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

MemoCapacityError::MemoCapacityError()
    : Error("Text exceeds memo capacity")
{ }

} // namespace kvillo
