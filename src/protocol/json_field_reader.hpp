#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.hpp"
#include "protocol/json.hpp"

namespace lk {

// Thrown inside the decoders only; every public decode function catches it and
// returns it as an Error. Its text is the reader's error text that reaches the
// shell, naming the problem and the key path, e.g.
//   missing field `slotId` in `payload`
//   invalid type for `payload.muted`: expected a boolean, found string
class JsonDecodeFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads typed fields out of one JSON object. Optional fields treat an absent
// key and null alike; required fields reject both.
class JsonFieldReader {
  public:
    // Throws when `value` is not an object.
    JsonFieldReader(const Json& value, std::string path);

    [[nodiscard]] const Json* find(std::string_view key) const;
    [[nodiscard]] const Json& required(std::string_view key) const;
    [[nodiscard]] const Json* optional(std::string_view key) const;

    std::string text(std::string_view key) const;
    std::optional<std::string> optional_text(std::string_view key) const;
    bool boolean(std::string_view key) const;
    std::optional<bool> optional_boolean(std::string_view key) const;
    double number(std::string_view key) const;
    std::optional<double> optional_number(std::string_view key) const;
    std::uint64_t u64(std::string_view key) const;
    std::optional<std::uint64_t> optional_u64(std::string_view key) const;
    std::uint32_t u32(std::string_view key) const;
    std::int16_t i16(std::string_view key) const;
    std::vector<std::string> text_array(std::string_view key) const;

    [[nodiscard]] std::string child_path(std::string_view key) const;
    [[nodiscard]] const std::string& path() const { return path_; }

  private:
    const Json& object_;
    std::string path_;
};

// Value-level readers, shared by the field reader and array decoders.
std::string_view json_type_label(const Json& value);
[[noreturn]] void throw_invalid_type(std::string_view path, std::string_view expected,
                                     const Json& found);
std::string read_text(const Json& value, std::string_view path);
bool read_boolean(const Json& value, std::string_view path);
double read_number(const Json& value, std::string_view path);
std::uint64_t read_u64(const Json& value, std::string_view path);
const Json::array_t& read_array(const Json& value, std::string_view path);

}  // namespace lk
