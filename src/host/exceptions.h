// The base exception class and the framework exception classes the components raise or expect.
#pragma once

#include <exception>
#include <string>

namespace kestrel {

/// Root of every exception the library raises: carries one message.
class Exception : public std::exception {
public:
    explicit Exception(std::string Message) : FMessage(std::move(Message)) {}

    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& GetMessage() const noexcept { return FMessage; }
    void SetMessage(std::string Value) { FMessage = std::move(Value); }

private:
    std::string FMessage;
};

/// Declares an exception class that only carries its base's message. (Names in a declaration
/// cannot take parentheses.)
// NOLINTBEGIN(bugprone-macro-parentheses)
#define KESTREL_DECLARE_EXCEPTION(Name, Base)                                                      \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
    }
// NOLINTEND(bugprone-macro-parentheses)

KESTREL_DECLARE_EXCEPTION(EAbort, Exception);
KESTREL_DECLARE_EXCEPTION(EConvertError, Exception);
KESTREL_DECLARE_EXCEPTION(ERangeError, Exception);
KESTREL_DECLARE_EXCEPTION(EAbstractError, Exception);
KESTREL_DECLARE_EXCEPTION(EOutOfMemory, Exception);
KESTREL_DECLARE_EXCEPTION(EInvalidCast, Exception);
KESTREL_DECLARE_EXCEPTION(EInvalidOperation, Exception);
KESTREL_DECLARE_EXCEPTION(EComponentError, Exception);
KESTREL_DECLARE_EXCEPTION(EListError, Exception);
KESTREL_DECLARE_EXCEPTION(EPrinter, Exception);
KESTREL_DECLARE_EXCEPTION(EStreamError, Exception);
KESTREL_DECLARE_EXCEPTION(EReadError, EStreamError);
KESTREL_DECLARE_EXCEPTION(EWriteError, EStreamError);
KESTREL_DECLARE_EXCEPTION(EFOpenError, EStreamError);
KESTREL_DECLARE_EXCEPTION(EFCreateError, EStreamError);

/// Raises EAbstractError: an abstract operation of a framework class was called.
[[noreturn]] void AbstractError();

} // namespace kestrel
