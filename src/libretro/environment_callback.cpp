#include "libretro/environment_callback.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "common/diagnostics.hpp"
#include "libretro/abi.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/hardware_render_negotiation.hpp"
#include "libretro/retro_log_bridge.hpp"

namespace lk::callback_bridge {

namespace {

using Handler = bool (*)(void* data);

bool ignore(void* /*data*/) {
    return true;
}

bool write_directory(void* data, std::optional<std::string> CallbackRuntimeState::*directory) {
    if (data == nullptr) {
        return false;
    }
    CallbackStateLock state;
    const auto& text = (*state).*directory;
    if (!text) {
        return false;
    }
    *static_cast<const char**>(data) = text->c_str();
    return true;
}

bool get_system_directory(void* data) {
    return write_directory(data, &CallbackRuntimeState::system_directory);
}

bool get_save_directory(void* data) {
    return write_directory(data, &CallbackRuntimeState::save_directory);
}

bool set_pixel_format(void* data) {
    if (data == nullptr) {
        return false;
    }
    const auto format = PixelFormat::from_value(*static_cast<const unsigned*>(data));
    if (!format || *format == PixelFormat::rgba8888) {
        return false;
    }
    CallbackStateLock state;
    state->pixel_format = *format;
    return true;
}

bool set_disk_control_interface(void* data) {
    if (data == nullptr) {
        return false;
    }
    const auto table =
        DiscControlInterface::from_v0(*static_cast<const retro::DiskControlCallback*>(data));
    CallbackStateLock state;
    state->disc_control = table;
    return true;
}

bool set_disk_control_ext_interface(void* data) {
    if (data == nullptr) {
        return false;
    }
    const auto table =
        DiscControlInterface::from_v1(*static_cast<const retro::DiskControlExtCallback*>(data));
    CallbackStateLock state;
    state->disc_control = table;
    return true;
}

bool get_variable(void* data) {
    CallbackStateLock state;
    return state->core_options.read_variable(static_cast<retro::Variable*>(data));
}

bool set_variables(void* data) {
    CallbackStateLock state;
    return state->core_options.capture_variables(static_cast<const retro::Variable*>(data));
}

bool set_core_options(void* data) {
    CallbackStateLock state;
    state->core_options.capture_core_option_definitions(
        static_cast<const retro::CoreOptionDefinition*>(data));
    return true;
}

bool set_core_options_intl(void* data) {
    CallbackStateLock state;
    state->core_options.capture_core_options_intl(static_cast<const retro::CoreOptionsIntl*>(data));
    return true;
}

bool set_core_options_v2(void* data) {
    CallbackStateLock state;
    state->core_options.capture_core_options_v2(static_cast<const retro::CoreOptionsV2*>(data));
    return true;
}

bool set_core_options_v2_intl(void* data) {
    CallbackStateLock state;
    state->core_options.capture_core_options_v2_intl(
        static_cast<const retro::CoreOptionsV2Intl*>(data));
    return true;
}

template <class T, T value>
bool write_value(void* data) {
    if (data == nullptr) {
        return false;
    }
    *static_cast<T*>(data) = value;
    return true;
}

bool get_log_interface(void* data) {
    const retro::LogCallback* interface = lumenkite_retro_log_interface();
    if (data == nullptr || interface == nullptr) {
        return false;
    }
    static_cast<retro::LogCallback*>(data)->log = interface->log;
    return true;
}

bool set_system_av_info(void* data) {
    if (data == nullptr) {
        return false;
    }
    const retro::SystemAvInfo info = *static_cast<const retro::SystemAvInfo*>(data);
    const retro::GameGeometry& geometry = info.geometry;
    runner_debug("Libretro AV update: fps={:.6f} sampleRate={:.2f} base={}x{} max={}x{}",
                 info.timing.fps, info.timing.sample_rate, geometry.base_width,
                 geometry.base_height, geometry.max_width, geometry.max_height);
    Status resized;
    {
        CallbackStateLock state;
        state->pending_av_info = info;
        if (state->hardware_context != nullptr) {
            resized = state->hardware_context->ensure_framebuffer_size(
                std::max({geometry.base_width, geometry.max_width, 1u}),
                std::max({geometry.base_height, geometry.max_height, 1u}));
        }
    }
    if (!resized) {
        runner_log("Libretro hardware framebuffer resize failed: {}", resized.error().display());
        return false;
    }
    return true;
}

bool set_serialization_quirks(void* data) {
    if (data == nullptr) {
        return false;
    }
    const std::uint64_t quirks = *static_cast<const std::uint64_t*>(data);
    CallbackStateLock state;
    state->serialization_quirks = quirks;
    return true;
}

bool get_preferred_hw_render(void* data) {
    if (data == nullptr) {
        return false;
    }
    std::optional<std::uint32_t> preferred;
    {
        CallbackStateLock state;
        preferred = state->hardware_backend->preferred_context_type();
    }
    if (!preferred) {
        return false;
    }
    *static_cast<unsigned*>(data) = *preferred;
    return true;
}

struct Entry {
    unsigned command;
    Handler handler;
};

namespace env = retro::env;

constexpr std::array kEnvironmentTable{
    Entry{env::kGetSystemDirectory, get_system_directory},
    Entry{env::kSetPixelFormat, set_pixel_format},
    Entry{env::kSetInputDescriptors, ignore},
    Entry{env::kSetDiskControlInterface, set_disk_control_interface},
    Entry{env::kSetHwRender, set_hw_render},
    Entry{env::kGetVariable, get_variable},
    Entry{env::kSetVariables, set_variables},
    // Option values never change while a session runs.
    Entry{env::kGetVariableUpdate, write_value<bool, false>},
    Entry{env::kGetLogInterface, get_log_interface},
    Entry{env::kGetSaveDirectory, get_save_directory},
    Entry{env::kSetSystemAvInfo, set_system_av_info},
    Entry{env::kSetSubsystemInfo, ignore},
    Entry{env::kSetControllerInfo, ignore},
    Entry{env::kSetSerializationQuirks, set_serialization_quirks},
    Entry{env::kGetCoreOptionsVersion, write_value<unsigned, 2u>},
    Entry{env::kSetCoreOptions, set_core_options},
    Entry{env::kSetCoreOptionsIntl, set_core_options_intl},
    Entry{env::kSetCoreOptionsDisplay, ignore},
    Entry{env::kGetPreferredHwRender, get_preferred_hw_render},
    Entry{env::kGetDiskControlInterfaceVersion, write_value<unsigned, 1u>},
    Entry{env::kSetDiskControlExtInterface, set_disk_control_ext_interface},
    Entry{env::kSetCoreOptionsV2, set_core_options_v2},
    Entry{env::kSetCoreOptionsV2Intl, set_core_options_v2_intl},
    Entry{env::kSetCoreOptionsUpdateDisplayCallback, ignore},
    Entry{env::kGetJitCapable, write_value<bool, true>},
    Entry{env::kGetFastforwarding, write_value<bool, false>},
    // Nothing to write: the input callback answers RETRO_DEVICE_ID_JOYPAD_MASK.
    Entry{env::kGetInputBitmasks, ignore},
};

}  // namespace

bool environment_callback(unsigned command, void* data) {
    try {
        const auto* entry =
            std::find_if(kEnvironmentTable.begin(), kEnvironmentTable.end(),
                         [command](const Entry& e) { return e.command == command; });
        return entry != kEnvironmentTable.end() && entry->handler(data);
    } catch (...) {
        // Nothing may escape into the core; the request is refused.
        return false;
    }
}

}  // namespace lk::callback_bridge
