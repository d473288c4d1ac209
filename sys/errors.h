#pragma once

#include <stdexcept>
#include <string>

// The program's failures. Every message is UTF-8 text ready to be shown to the user.
namespace kvillo {

class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// "Cannot open file "%s". %s"
class FileOpenError : public Error
{
public:
    FileOpenError(const std::string &path, const std::string &systemText);
};

// "Cannot create file "%s". %s"
class FileCreateError : public Error
{
public:
    FileCreateError(const std::string &path, const std::string &systemText);
};

// The same text for a folder that cannot be made, or a name that cannot be removed or renamed,
// with the system's error code.
class PathError : public FileCreateError
{
public:
    PathError(const std::string &path, int systemCode);
    int systemCode() const { return m_code; }

private:
    int m_code;
};

// "Stream write error"
class StreamWriteError : public Error
{
public:
    StreamWriteError();
};

// "List index out of bounds (%d)"
class ListIndexError : public Error
{
public:
    explicit ListIndexError(long long index);
};

// "'%s' is not a valid integer value"; the value arrives as Windows-1251 bytes.
class ConvertError : public Error
{
public:
    explicit ConvertError(const std::string &cp1251Value);
};

// "Text exceeds memo capacity"
class MemoCapacityError : public Error
{
public:
    MemoCapacityError();
};

// A file that a restore would have to cut at a NUL byte: it is refused whole instead.
class NulByteError : public Error
{
public:
    explicit NulByteError(const std::string &path);
};

// A save cut short that could be neither completed nor undone now (a read error, a failing
// rename): every file was left as it was, and the book is not opened until a later try succeeds.
class RecoveryError : public Error
{
public:
    RecoveryError(const std::string &folder, const std::string &reason);
};

// Printer failures carry their own fixed texts ("Printing in progress" and so on).
class PrinterError : public Error
{
public:
    using Error::Error;
};

} // namespace kvillo
