// Basic types and exceptions shared by every layer.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Text in memory and in stored data is 8-bit Windows-1252, byte for byte.
using AnsiString = std::string;

// Base of every error the program raises; the message is Windows-1252 text.
class Exception : public std::runtime_error {
public:
    explicit Exception(const AnsiString& message) : std::runtime_error(message) {}
    AnsiString Message() const { return what(); }
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
