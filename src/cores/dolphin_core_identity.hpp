#pragma once

#include <optional>
#include <string>

#include "common/error.hpp"

namespace lk {

// The label of a known Dolphin GameCube core build: the built-in table by file
// extension and digest, then LUMENKITE_DOLPHIN_CORE_SHA256_ALLOWLIST
// ("environment-allowlist"); nothing for an unknown build.
std::optional<std::string> resolve_known_lumenkite_dolphin_gamecube_core_label(
    const std::string& path, const std::string& digest);

// Hashes the core library, writes its identity line (and the input trace when
// tracing), and in strict mode refuses a build that no list knows.
Status check_dolphin_gamecube_core_identity(const std::string& core_library_path);

}  // namespace lk
