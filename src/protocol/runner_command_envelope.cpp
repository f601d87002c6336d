#include "protocol/runner_command_envelope.hpp"

#include <fmt/format.h>

#include "protocol/json_field_reader.hpp"

namespace lk {

namespace {

// nlohmann prefixes its messages with "[json.exception.<kind>.<id>] "; the
// shell gets the sentence without that tag.
std::string strip_exception_tag(std::string_view what) {
    if (!what.empty() && what.front() == '[') {
        const auto end = what.find("] ");
        if (end != std::string_view::npos) {
            what.remove_prefix(end + 2);
        }
    }
    return std::string(what);
}

// Position just past the last byte of the line, where a reader notices that
// the object ended without a key it needs.
std::string end_position(std::string_view line) {
    std::size_t line_number = 1;
    std::size_t column = 0;
    for (const char c : line) {
        if (c == '\n') {
            ++line_number;
            column = 0;
        } else {
            ++column;
        }
    }
    return fmt::format("line {}, column {}", line_number, column);
}

}  // namespace

Result<RunnerCommandEnvelope> decode_command_envelope(std::string_view line) {
    Json document;
    try {
        document = Json::parse(line.begin(), line.end());
    } catch (const Json::exception& e) {
        return fail(strip_exception_tag(e.what()), ErrorKind::invalid_data);
    }
    if (!document.is_object()) {
        return fail(fmt::format("invalid type: expected a command object, found {} at {}",
                                json_type_label(document), end_position(line)),
                    ErrorKind::invalid_data);
    }
    auto& members = document.get_ref<Json::object_t&>();
    for (const char* key : {"type", "requestId", "payload"}) {
        if (!members.contains(key)) {
            return fail(fmt::format("missing field `{}` at {}", key, end_position(line)),
                        ErrorKind::invalid_data);
        }
    }
    RunnerCommandEnvelope envelope;
    for (const char* key : {"type", "requestId"}) {
        const Json& value = members.at(key);
        if (!value.is_string()) {
            return fail(fmt::format("invalid type for `{}`: expected a string, found {} at {}", key,
                                    json_type_label(value), end_position(line)),
                        ErrorKind::invalid_data);
        }
    }
    envelope.type = std::move(members.at("type").get_ref<std::string&>());
    envelope.request_id = std::move(members.at("requestId").get_ref<std::string&>());
    envelope.payload = std::move(members.at("payload"));
    return envelope;
}

}  // namespace lk
