#include "hardware_render/hardware_render_backend_capability.hpp"

#include <fmt/format.h>

#include "hardware_render/hardware_render_request.hpp"

namespace lk {

std::string format_hardware_render_backend_capability(
    const HardwareRenderBackendCapability& capability) {
    std::string list;
    for (const std::uint32_t type : capability.supported_context_types) {
        if (!list.empty()) {
            list += ", ";
        }
        list += hardware_context_type_name(type);
    }
    if (list.empty()) {
        list = "none";
    }
    if (capability.available) {
        const std::string_view preferred =
            capability.preferred_context_type
                ? hardware_context_type_name(*capability.preferred_context_type)
                : std::string_view("none");
        return fmt::format(
            "Hardware render backend '{}' is available; preferred context: {}; supported "
            "contexts: {}.",
            capability.backend_name, preferred, list);
    }
    return fmt::format("Hardware render backend '{}' is unavailable: {}. Supported contexts: {}.",
                       capability.backend_name,
                       capability.unavailable_reason.value_or("unknown reason"), list);
}

}  // namespace lk
