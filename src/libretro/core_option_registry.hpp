#pragma once

// The core options of one session. The runner has no options screen: each
// option gets one value when the core declares it (an override for its key,
// else the core's default, else the first value offered) and the core reads
// that value back. Lives in the process-wide callback state and is used only
// under that record's lock; it has no lock of its own.

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "libretro/abi.hpp"
#include "libretro/core_option_overrides.hpp"

namespace lk {

class CoreOptionRegistry {
  public:
    CoreOptionRegistry() = default;

    // Rebuilds the overrides for a session (built-in table, then the
    // LUMENKITE_CORE_OPTION_OVERRIDES entries on top) and empties the
    // selected values.
    void configure_overrides(const std::filesystem::path& core_library_path,
                             const std::filesystem::path& rom_path,
                             std::string_view core_graphics_profile);

    // SET_VARIABLES: a `retro_variable` array ended by a NULL key. Returns
    // false for a NULL array.
    bool capture_variables(const retro::Variable* variables);
    // SET_CORE_OPTIONS and the `us` array of SET_CORE_OPTIONS_INTL; NULL only
    // empties the selected values.
    bool capture_core_option_definitions(const retro::CoreOptionDefinition* definitions);
    // SET_CORE_OPTIONS_V2 and the `us` member of SET_CORE_OPTIONS_V2_INTL;
    // NULL (or NULL definitions) only empties the selected values.
    bool capture_core_options_v2(const retro::CoreOptionsV2* options);
    // SET_CORE_OPTIONS_INTL and SET_CORE_OPTIONS_V2_INTL: the `us` member is
    // captured (`local` is not read); NULL only empties the selected values.
    bool capture_core_options_intl(const retro::CoreOptionsIntl* options);
    bool capture_core_options_v2_intl(const retro::CoreOptionsV2Intl* options);

    // GET_VARIABLE: points the variable's value at the selected text, which
    // stays put until the key is selected again or the selection is emptied.
    // Returns whether a value was given.
    bool read_variable(retro::Variable* variable) const;

    // Chooses and stores the value of one declared option; `source` labels the
    // declaration style in the dump line.
    void insert_selected_value(const std::string& key, std::span<const std::string> values,
                               const std::optional<std::string>& default_value,
                               std::string_view source);

    // Empties the selected values (SET_CORE_OPTIONS_INTL with NULL).
    void clear_selected_values() { selected_values_.clear(); }
    // Empties overrides and selected values between sessions.
    void clear();

    const CoreOptionOverrides& overrides() const { return overrides_; }

  private:
    CoreOptionOverrides overrides_;
    // Key to the value handed to the core. Map nodes never move, so each
    // c_str() stays valid until that entry is replaced or erased.
    std::map<std::string, std::string, std::less<>> selected_values_;
};

}  // namespace lk
