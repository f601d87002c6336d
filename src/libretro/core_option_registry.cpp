#include "libretro/core_option_registry.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "common/diagnostics.hpp"
#include "common/environment.hpp"
#include "common/switches.hpp"
#include "common/utf8.hpp"
#include "libretro/core_option_text.hpp"

namespace lk {

namespace {

constexpr const char* kOverridesVariable = "LUMENKITE_CORE_OPTION_OVERRIDES";
constexpr std::string_view kNone = "<none>";

// The values of a legacy variable: "Description; a|b|c" offers a, b and c.
std::vector<std::string> variable_values(const std::string& text) {
    std::string_view list = text;
    if (const auto semicolon = list.find(';'); semicolon != std::string_view::npos) {
        list.remove_prefix(semicolon + 1);
    }
    std::vector<std::string> values;
    while (true) {
        const auto bar = list.find('|');
        const std::string_view piece = trim_white_space(list.substr(0, bar));
        if (!piece.empty()) {
            values.emplace_back(piece);
        }
        if (bar == std::string_view::npos) {
            return values;
        }
        list.remove_prefix(bar + 1);
    }
}

// The values of a definition, up to the first NULL value; empty texts skipped.
std::vector<std::string> definition_values(const retro::CoreOptionValue* entries) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < retro::kNumCoreOptionValuesMax; ++i) {
        if (entries[i].value == nullptr) {
            break;
        }
        std::string value = utf8_lossy(entries[i].value);
        if (!value.empty()) {
            values.push_back(std::move(value));
        }
    }
    return values;
}

std::optional<std::string> definition_default(const char* text) {
    auto value = core_text(text);
    if (value && value->empty()) {
        return std::nullopt;
    }
    return value;
}

bool offers(std::span<const std::string> values, std::string_view value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

std::string_view or_none(const std::optional<std::string>& text) {
    return text ? std::string_view(*text) : kNone;
}

}  // namespace

void CoreOptionRegistry::configure_overrides(const std::filesystem::path& core_library_path,
                                             const std::filesystem::path& rom_path,
                                             std::string_view core_graphics_profile) {
    CoreOptionOverrides overrides =
        default_core_option_overrides(core_library_path, rom_path, core_graphics_profile);
    if (const auto text = read_env_text(kOverridesVariable)) {
        apply_core_option_override_text(overrides, *text);
    }
    overrides_ = std::move(overrides);
    selected_values_.clear();
}

bool CoreOptionRegistry::capture_variables(const retro::Variable* variables) {
    selected_values_.clear();
    if (variables == nullptr) {
        return false;
    }
    for (const retro::Variable* entry = variables; entry->key != nullptr; ++entry) {
        const std::string key = utf8_lossy(entry->key);
        const auto text = core_text(entry->value);
        const std::vector<std::string> values =
            text ? variable_values(*text) : std::vector<std::string>{};
        insert_selected_value(key, values, std::nullopt, "variables");
    }
    return true;
}

bool CoreOptionRegistry::capture_core_option_definitions(
    const retro::CoreOptionDefinition* definitions) {
    selected_values_.clear();
    if (definitions == nullptr) {
        return true;
    }
    for (const retro::CoreOptionDefinition* entry = definitions; entry->key != nullptr; ++entry) {
        insert_selected_value(utf8_lossy(entry->key), definition_values(entry->values),
                              definition_default(entry->default_value), "core-options-v1");
    }
    return true;
}

bool CoreOptionRegistry::capture_core_options_v2(const retro::CoreOptionsV2* options) {
    selected_values_.clear();
    if (options == nullptr || options->definitions == nullptr) {
        return true;
    }
    for (const retro::CoreOptionV2Definition* entry = options->definitions; entry->key != nullptr;
         ++entry) {
        insert_selected_value(utf8_lossy(entry->key), definition_values(entry->values),
                              definition_default(entry->default_value), "core-options-v2");
    }
    return true;
}

bool CoreOptionRegistry::capture_core_options_intl(const retro::CoreOptionsIntl* options) {
    return capture_core_option_definitions(options != nullptr ? options->us : nullptr);
}

bool CoreOptionRegistry::capture_core_options_v2_intl(const retro::CoreOptionsV2Intl* options) {
    return capture_core_options_v2(options != nullptr ? options->us : nullptr);
}

bool CoreOptionRegistry::read_variable(retro::Variable* variable) const {
    if (variable == nullptr || variable->key == nullptr) {
        return false;
    }
    const std::string_view key = variable->key;
    if (!is_valid_utf8(key)) {
        return false;
    }
    const auto found = selected_values_.find(key);
    if (found == selected_values_.end()) {
        return false;
    }
    variable->value = found->second.c_str();
    return true;
}

void CoreOptionRegistry::insert_selected_value(const std::string& key,
                                               std::span<const std::string> values,
                                               const std::optional<std::string>& default_value,
                                               std::string_view source) {
    std::optional<std::string> override_value;
    if (const auto found = overrides_.find(key); found != overrides_.end()) {
        override_value = found->second;
    }

    std::optional<std::string> selected;
    if (!values.empty()) {
        if (override_value && offers(values, *override_value)) {
            selected = override_value;
        } else if (default_value && offers(values, *default_value)) {
            selected = default_value;
        } else {
            selected = values.front();
        }
    }

    if (dump_core_options_requested()) {
        log_line(kCoreOptionsTag,
                 "source={} key={} override={} default={} selected={} available={}", source, key,
                 or_none(override_value), or_none(default_value), or_none(selected),
                 fmt::join(values, "|"));
    }

    if (!selected || selected->find('\0') != std::string::npos) {
        return;
    }
    auto [slot, inserted] = selected_values_.try_emplace(key, *selected);
    // Keep the stored text (and its address) when the value is unchanged.
    if (!inserted && slot->second != *selected) {
        slot->second = std::move(*selected);
    }
}

void CoreOptionRegistry::clear() {
    overrides_.clear();
    selected_values_.clear();
}

}  // namespace lk
