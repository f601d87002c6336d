#pragma once

#include <cstdint>

#include "common/error.hpp"
#include "runtime/libretro_runtime_config.hpp"

namespace lk {

class CoreApi;

inline constexpr unsigned kControllerPortCount = 4;

// The libretro device every controller port gets for this session.
std::uint32_t standard_controller_device_for_config(const LibretroRuntimeConfig& config);

// Detaches and re-attaches ports 0..3 with the standard device (eight calls).
void force_configure_standard_controller_ports(const CoreApi& core,
                                               const LibretroRuntimeConfig& config);

// Frames after load during which the ports are configured again.
std::uint32_t delayed_controller_refresh_frames(const LibretroRuntimeConfig& config);

// One step of the delayed refresh schedule: counts `remaining` down and tells
// whether the ports are refreshed after this frame.
bool delayed_controller_refresh_step(std::uint32_t& remaining);

// Refuses cores whose save states are incomplete or tied to one session.
Status assert_serialization_quirks_support_netplay(std::uint64_t quirks);

}  // namespace lk
