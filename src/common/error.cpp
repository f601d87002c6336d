#include "common/error.hpp"

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

namespace lk {

namespace {
ErrorKind kind_of_errno(int error_number) {
    switch (error_number) {
        case ENOENT:
            return ErrorKind::not_found;
        default:
            return ErrorKind::io;
    }
}
}  // namespace

Error Error::from_errno(int error_number) {
    char buffer[256];
    // GNU strerror_r returns the text, which may not live in buffer.
    const char* text = strerror_r(error_number, buffer, sizeof buffer);
    return Error(fmt::format("{} (os error {})", text, error_number), kind_of_errno(error_number));
}

Error Error::from_error_code(const std::error_code& code) {
    if (code.category() == std::system_category() || code.category() == std::generic_category()) {
        return from_errno(code.value());
    }
    return Error(code.message(), ErrorKind::io);
}

std::string Error::display_chain() const {
    std::string text = message_;
    for (const Error* cause = cause_.get(); cause != nullptr; cause = cause->cause_.get()) {
        text += ": ";
        text += cause->message_;
    }
    return text;
}

}  // namespace lk
