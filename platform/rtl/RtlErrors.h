// The class library's run-time errors: what a division fault of the processor or a failed
// assertion raises.
#pragma once

#include "platform/rtl/SysUtils.h"

class EIntError : public Exception {
public:
    using Exception::Exception;
};

// An integer division by zero, or a quotient too large for its register.
class EDivByZero : public EIntError {
public:
    EDivByZero() : EIntError(u"Division by zero") {}
};

// A failed Assert; the message is the assertion's own.
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};
