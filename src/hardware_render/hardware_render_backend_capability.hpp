#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lk {

// What a hardware render backend can offer cores.
struct HardwareRenderBackendCapability {
    std::string backend_name;
    std::vector<std::uint32_t> supported_context_types;
    std::optional<std::string> unavailable_reason;
    std::optional<std::uint32_t> preferred_context_type;
    bool available = false;
};

// One line for messages: "Hardware render backend '{name}' is available;
// preferred context: {type}; supported contexts: {list}." or
// "Hardware render backend '{name}' is unavailable: {reason}. Supported
// contexts: {list}.".
std::string format_hardware_render_backend_capability(
    const HardwareRenderBackendCapability& capability);

}  // namespace lk
