#include "cores/core_registry.hpp"

#include <algorithm>
#include <array>

#include <cmath>
#include <cstdlib>

#include "audio/desktop_audio_sink.hpp"
#include "audio/null_audio_sink.hpp"
#include "common/environment.hpp"
#include "common/switches.hpp"
#include "cores/core_bundle_resolver.hpp"
#include "cores/libretro_emulator_core.hpp"
#include "cores/stub_emulator_core.hpp"
#include "hardware_render/egl/egl_hardware_render_backend.hpp"
#include "input/standard_input_state_mapper.hpp"
#include "runtime/filesystem_artifact_store.hpp"
#include "video/null_video_sink.hpp"
#include "video/png_frame_event_video_sink.hpp"
#include "video/raw_frame_stream_video_sink.hpp"

namespace lk {

namespace {

constexpr std::array<std::string_view, 5> kHardwareRenderingPlatforms{"dreamcast", "gamecube",
                                                                      "ps2", "psp", "wii"};

std::vector<std::string> to_strings(const std::vector<std::string_view>& views) {
    return {views.begin(), views.end()};
}

// The EGL backend's capability; when EGL cannot be loaded, "linux-egl-opengl"
// unavailable with the loading error as the reason.
HardwareRenderBackendCapability hardware_render_capability() {
    auto backend = EglHardwareRenderBackend::create();
    if (backend) {
        return (*backend)->capability();
    }
    HardwareRenderBackendCapability capability;
    capability.backend_name = "linux-egl-opengl";
    capability.available = false;
    capability.unavailable_reason = "EGL backend is unavailable: " + backend.error().display();
    return capability;
}

// LUMENKITE_VIDEO_FRAME_RATE when it is a finite decimal above 0; else 60.
double video_frame_rate() {
    const auto text = read_env_text("LUMENKITE_VIDEO_FRAME_RATE");
    if (!text || text->empty()) {
        return 60.0;
    }
    char* end = nullptr;
    const double value = std::strtod(text->c_str(), &end);
    const bool parsed = end == text->c_str() + text->size();
    return parsed && std::isfinite(value) && value > 0.0 ? value : 60.0;
}

// "null" gives every session the silent sink; anything else the audio device.
std::unique_ptr<AudioSinkFactory> audio_sink_factory() {
    const auto kind = read_env_text("LUMENKITE_AUDIO_SINK");
    if (kind && *kind == "null") {
        return std::make_unique<NullAudioSinkFactory>();
    }
    return std::make_unique<DesktopAudioSinkFactory>();
}

// "raw-stream" gives the raw frame stream (which falls back to PNG frame events
// when it cannot be set up), "null" the null sink; anything else PNG frame
// events. Comparisons are exact.
std::unique_ptr<VideoSinkFactory> video_sink_factory(const RunnerEventEmitterHandle& emitter) {
    const auto kind = read_env_text("LUMENKITE_VIDEO_SINK");
    if (kind && *kind == "raw-stream") {
        return std::make_unique<RawFrameStreamVideoSinkFactory>(emitter, video_frame_rate());
    }
    if (kind && *kind == "null") {
        return std::make_unique<NullVideoSinkFactory>();
    }
    return std::make_unique<PngFrameEventVideoSinkFactory>(emitter, video_frame_rate());
}

}  // namespace

const std::vector<CoreTableRow>& desktop_core_table() {
    static const std::vector<CoreTableRow> table{
        {"mgba", {"gb", "gbc", "gba"}},
        {"fceumm", {"nes"}},
        {"snes9x", {"snes"}},
        {"mupen64plus-next", {"n64"}},
        {"swanstation", {"ps1"}},
        {"pcsx2", {"ps2"}},
        {"desmume", {"ds"}},
        {"ppsspp", {"psp"}},
        {"flycast", {"dreamcast"}},
        {"dolphin", {"gamecube", "wii"}},
        {"genesis-plus-gx", {"genesis", "gg", "sms"}},
    };
    return table;
}

bool platform_needs_hardware_rendering(std::string_view platform_id) {
    return std::find(kHardwareRenderingPlatforms.begin(), kHardwareRenderingPlatforms.end(),
                     platform_id) != kHardwareRenderingPlatforms.end();
}

CoreRegistry::CoreRegistry(std::vector<std::unique_ptr<EmulatorCore>> cores)
    : cores_(std::move(cores)) {}

CoreRegistry CoreRegistry::desktop_defaults(const RunnerEventEmitterHandle& emitter) {
    std::vector<std::unique_ptr<EmulatorCore>> cores;
    if (!use_libretro_cores_requested()) {
        auto store = std::make_shared<FilesystemArtifactStore>();
        for (const auto& row : desktop_core_table()) {
            cores.push_back(std::make_unique<StubEmulatorCore>(
                std::string(row.core_id), to_strings(row.platform_ids), store,
                std::make_unique<StandardInputStateMapper>()));
        }
        return CoreRegistry(std::move(cores));
    }
    const std::vector<std::string> directories = default_core_bundle_directories();
    const HardwareRenderBackendCapability capability = hardware_render_capability();
    for (const auto& row : desktop_core_table()) {
        std::vector<std::string> kept;
        for (std::string_view platform : row.platform_ids) {
            if (capability.available || !platform_needs_hardware_rendering(platform)) {
                kept.emplace_back(platform);
            }
        }
        cores.push_back(
            create_libretro_core(row.core_id, std::move(kept), directories, capability, emitter));
    }
    return CoreRegistry(std::move(cores));
}

std::unique_ptr<EmulatorCore> CoreRegistry::create_libretro_core(
    std::string_view core_id, std::vector<std::string> platform_ids,
    const std::vector<std::string>& bundle_directories,
    const HardwareRenderBackendCapability& capability, const RunnerEventEmitterHandle& emitter) {
    (void)capability;  // the hardware render backend is created per session
    return std::make_unique<LibretroEmulatorCore>(
        std::string(core_id), std::move(platform_ids),
        std::make_unique<FilesystemCoreBundleResolver>(bundle_directories),
        std::make_shared<FilesystemArtifactStore>(), audio_sink_factory(), emitter,
        video_sink_factory(emitter), std::make_unique<StandardInputStateMapper>());
}

EmulatorCore* CoreRegistry::find(std::string_view core_id, std::string_view platform_id) const {
    for (const auto& core : cores_) {
        if (core->supports(core_id, platform_id)) {
            return core.get();
        }
    }
    return nullptr;
}

std::vector<std::string> CoreRegistry::supported_platform_ids() const {
    std::vector<std::string> ids;
    for (const auto& core : cores_) {
        for (auto& id : core->supported_platform_ids()) {
            ids.push_back(std::move(id));
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

}  // namespace lk
