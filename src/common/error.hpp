#pragma once

#include <expected>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

namespace lk {

// Broad classes of failure that callers sometimes branch on.
enum class ErrorKind {
    other,
    not_found,
    io,
    invalid_data,
};

// An error value: a human-readable message (a full sentence that may reach the
// shell verbatim) and, where a lower layer failed, that failure as its cause.
class Error {
  public:
    Error() = default;
    explicit Error(std::string message, ErrorKind kind = ErrorKind::other)
        : message_(std::move(message)), kind_(kind) {}

    // The operating system's text for an errno value, as the shell sees it
    // ("No such file or directory (os error 2)").
    static Error from_errno(int error_number);
    static Error from_error_code(const std::error_code& code);

    [[nodiscard]] Error with_cause(Error cause) && {
        cause_ = std::make_shared<const Error>(std::move(cause));
        return std::move(*this);
    }

    [[nodiscard]] const std::string& message() const { return message_; }
    [[nodiscard]] ErrorKind kind() const { return kind_; }
    [[nodiscard]] const Error* cause() const { return cause_.get(); }

    // The display text: the message alone. Causes are kept for diagnostics.
    [[nodiscard]] const std::string& display() const { return message_; }
    // The message followed by every cause, separated by ": ".
    [[nodiscard]] std::string display_chain() const;

  private:
    std::string message_;
    ErrorKind kind_ = ErrorKind::other;
    std::shared_ptr<const Error> cause_;
};

template <class T>
using Result = std::expected<T, Error>;
using Status = std::expected<void, Error>;

inline std::unexpected<Error> fail(std::string message, ErrorKind kind = ErrorKind::other) {
    return std::unexpected(Error(std::move(message), kind));
}
inline std::unexpected<Error> fail(Error error) {
    return std::unexpected(std::move(error));
}

}  // namespace lk
