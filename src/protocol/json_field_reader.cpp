#include "protocol/json_field_reader.hpp"

#include <limits>

#include <fmt/format.h>

namespace lk {

std::string_view json_type_label(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::boolean:
            return "boolean";
        case Json::value_t::string:
            return "string";
        case Json::value_t::object:
            return "object";
        case Json::value_t::array:
            return "array";
        case Json::value_t::number_integer:
            return value.get<std::int64_t>() < 0 ? "negative integer" : "integer";
        case Json::value_t::number_unsigned:
            return "integer";
        case Json::value_t::number_float:
            return "floating-point number";
        default:
            return "value";
    }
}

void throw_invalid_type(std::string_view path, std::string_view expected, const Json& found) {
    throw JsonDecodeFailure(fmt::format("invalid type for `{}`: expected {}, found {}", path,
                                        expected, json_type_label(found)));
}

std::string read_text(const Json& value, std::string_view path) {
    if (!value.is_string()) {
        throw_invalid_type(path, "a string", value);
    }
    return value.get_ref<const std::string&>();
}

bool read_boolean(const Json& value, std::string_view path) {
    if (!value.is_boolean()) {
        throw_invalid_type(path, "a boolean", value);
    }
    return value.get<bool>();
}

double read_number(const Json& value, std::string_view path) {
    if (!value.is_number()) {
        throw_invalid_type(path, "a number", value);
    }
    return value.get<double>();
}

std::uint64_t read_u64(const Json& value, std::string_view path) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    if (value.is_number_integer() && value.get<std::int64_t>() >= 0) {
        return static_cast<std::uint64_t>(value.get<std::int64_t>());
    }
    throw_invalid_type(path, "an unsigned integer", value);
}

const Json::array_t& read_array(const Json& value, std::string_view path) {
    if (!value.is_array()) {
        throw_invalid_type(path, "an array", value);
    }
    return value.get_ref<const Json::array_t&>();
}

JsonFieldReader::JsonFieldReader(const Json& value, std::string path)
    : object_(value), path_(std::move(path)) {
    if (!object_.is_object()) {
        throw_invalid_type(path_, "an object", object_);
    }
}

std::string JsonFieldReader::child_path(std::string_view key) const {
    std::string child = path_;
    child.push_back('.');
    child.append(key);
    return child;
}

const Json* JsonFieldReader::find(std::string_view key) const {
    const auto& members = object_.get_ref<const Json::object_t&>();
    const auto it = members.find(key);
    return it == members.end() ? nullptr : &it->second;
}

const Json& JsonFieldReader::required(std::string_view key) const {
    const Json* value = find(key);
    if (value == nullptr) {
        throw JsonDecodeFailure(fmt::format("missing field `{}` in `{}`", key, path_));
    }
    return *value;
}

const Json* JsonFieldReader::optional(std::string_view key) const {
    const Json* value = find(key);
    return value == nullptr || value->is_null() ? nullptr : value;
}

std::string JsonFieldReader::text(std::string_view key) const {
    return read_text(required(key), child_path(key));
}

std::optional<std::string> JsonFieldReader::optional_text(std::string_view key) const {
    const Json* value = optional(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    return read_text(*value, child_path(key));
}

bool JsonFieldReader::boolean(std::string_view key) const {
    return read_boolean(required(key), child_path(key));
}

std::optional<bool> JsonFieldReader::optional_boolean(std::string_view key) const {
    const Json* value = optional(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    return read_boolean(*value, child_path(key));
}

double JsonFieldReader::number(std::string_view key) const {
    return read_number(required(key), child_path(key));
}

std::optional<double> JsonFieldReader::optional_number(std::string_view key) const {
    const Json* value = optional(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    return read_number(*value, child_path(key));
}

std::uint64_t JsonFieldReader::u64(std::string_view key) const {
    return read_u64(required(key), child_path(key));
}

std::optional<std::uint64_t> JsonFieldReader::optional_u64(std::string_view key) const {
    const Json* value = optional(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    return read_u64(*value, child_path(key));
}

std::uint32_t JsonFieldReader::u32(std::string_view key) const {
    const std::uint64_t value = u64(key);
    if (value > std::numeric_limits<std::uint32_t>::max()) {
        throw JsonDecodeFailure(
            fmt::format("invalid value for `{}`: {} is out of range for an unsigned 32-bit integer",
                        child_path(key), value));
    }
    return static_cast<std::uint32_t>(value);
}

std::int16_t JsonFieldReader::i16(std::string_view key) const {
    const Json& value = required(key);
    if (!value.is_number_integer()) {
        throw_invalid_type(child_path(key), "an integer", value);
    }
    const bool is_unsigned = value.is_number_unsigned();
    const auto signed_value = is_unsigned ? std::int64_t{0} : value.get<std::int64_t>();
    const auto unsigned_value = is_unsigned ? value.get<std::uint64_t>() : std::uint64_t{0};
    if ((is_unsigned && unsigned_value > 32767U) ||
        (!is_unsigned && (signed_value < -32768 || signed_value > 32767))) {
        throw JsonDecodeFailure(
            fmt::format("invalid value for `{}`: {} is out of range for a signed 16-bit integer",
                        child_path(key), value.dump()));
    }
    return static_cast<std::int16_t>(is_unsigned ? static_cast<std::int64_t>(unsigned_value)
                                                 : signed_value);
}

std::vector<std::string> JsonFieldReader::text_array(std::string_view key) const {
    const std::string path = child_path(key);
    const auto& items = read_array(required(key), path);
    std::vector<std::string> texts;
    texts.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        texts.push_back(read_text(items[i], fmt::format("{}[{}]", path, i)));
    }
    return texts;
}

}  // namespace lk
