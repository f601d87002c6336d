#pragma once

// How a loadRom payload becomes the runtime's configuration.

#include <optional>
#include <string>
#include <string_view>

#include "audio/audio_stream_descriptor.hpp"
#include "clip_recording/clip_recorder_config.hpp"
#include "protocol/command_payloads.hpp"
#include "runtime/libretro_runtime_config.hpp"

namespace lk {

// "native" for the platforms and cores that only run well natively; the
// requested profile otherwise.
std::string effective_graphics_profile(std::string_view core_id, std::string_view platform_id,
                                       const std::string& requested);

// The shell's audio settings as sink settings: trimmed device label (absent
// when blank), volume percent / 100 clamped to [0, 1] (0.8 when not finite).
AudioSinkSettings audio_sink_settings_from(const AudioSettingsPayload& payload);

std::optional<ClipRecorderConfig> clip_recorder_config_from(
    const std::optional<ClipRecordingSettingsPayload>& settings);

LibretroRuntimeConfig libretro_runtime_config_for(const LoadRomCommandPayload& payload,
                                                  const std::string& session_id,
                                                  const std::string& core_library_path,
                                                  const std::string& rom_path);

}  // namespace lk
