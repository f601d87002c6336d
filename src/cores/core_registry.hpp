#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cores/emulator_core.hpp"
#include "hardware_render/hardware_render_backend_capability.hpp"
#include "protocol/runner_event_emitter.hpp"

namespace lk {

// One row of the desktop core table.
struct CoreTableRow {
    std::string_view core_id;
    std::vector<std::string_view> platform_ids;
};

// The eleven desktop cores, in registry order.
const std::vector<CoreTableRow>& desktop_core_table();

// Platforms that need a hardware render context.
bool platform_needs_hardware_rendering(std::string_view platform_id);

// The ordered list of emulator cores; lookups take the first entry that
// accepts a core id / platform pair.
class CoreRegistry {
  public:
    explicit CoreRegistry(std::vector<std::unique_ptr<EmulatorCore>> cores);

    // Stub cores by default; libretro-backed cores when
    // LUMENKITE_USE_LIBRETRO_CORES asks for them (read once, here).
    static CoreRegistry desktop_defaults(const RunnerEventEmitterHandle& emitter);

    static std::unique_ptr<EmulatorCore> create_libretro_core(
        std::string_view core_id, std::vector<std::string> platform_ids,
        const std::vector<std::string>& bundle_directories,
        const HardwareRenderBackendCapability& capability, const RunnerEventEmitterHandle& emitter);

    // The first core that supports the pair, or nothing.
    [[nodiscard]] EmulatorCore* find(std::string_view core_id, std::string_view platform_id) const;

    // Union of every entry's platforms, without duplicates, in ascending byte order.
    [[nodiscard]] std::vector<std::string> supported_platform_ids() const;

    [[nodiscard]] const std::vector<std::unique_ptr<EmulatorCore>>& cores() const { return cores_; }

  private:
    std::vector<std::unique_ptr<EmulatorCore>> cores_;
};

}  // namespace lk
