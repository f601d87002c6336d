#include "runtime/libretro_runtime.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>

#include "common/diagnostics.hpp"
#include "hardware_render/default_hardware_render_backend.hpp"
#include "libretro/audio_callbacks.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/hardware_render_negotiation.hpp"
#include "libretro/input_callbacks.hpp"
#include "libretro/system_info.hpp"
#include "libretro/video_callback.hpp"
#include "netplay/netplay_frame_driver.hpp"
#include "runtime/libretro_netplay_core_policy.hpp"
#include "runtime/libretro_netplay_frame_core.hpp"
#include "runtime/libretro_runtime_state.hpp"
#include "runtime/runtime_system_directories.hpp"

namespace lk {

namespace {

using Readiness = Result<std::monostate>;

bool sets_ports_at_init(const LibretroRuntimeConfig& config) {
    return !(config.core_id == "pcsx2" || config.core_id == "dolphin" ||
             config.platform_id == "ps2" || config.platform_id == "wii" ||
             config.platform_id == "gamecube");
}

retro::SystemAvInfo system_av_info(const CoreApi& core) {
    retro::SystemAvInfo info{};
    core.retro_get_system_av_info(&info);
    return info;
}

// Unloads the game and deinitialises the core unless released.
class LoadGuard {
  public:
    explicit LoadGuard(const CoreApi& core) : core_(&core) {}
    LoadGuard(const LoadGuard&) = delete;
    LoadGuard& operator=(const LoadGuard&) = delete;
    ~LoadGuard() {
        if (core_ == nullptr) {
            return;
        }
        if (game_loaded_) {
            core_->retro_unload_game();
        }
        core_->retro_deinit();
    }
    void game_loaded() { game_loaded_ = true; }
    void release() { core_ = nullptr; }

  private:
    const CoreApi* core_;
    bool game_loaded_ = false;
};

}  // namespace

AudioStreamDescriptor audio_stream_descriptor_for_core(double sample_rate, double speed) {
    AudioStreamDescriptor descriptor;
    descriptor.playback_speed = clamp_playback_speed(speed);
    descriptor.sample_rate = sample_rate;
    descriptor.source_sample_rate = sample_rate;
    return descriptor;
}

LibretroRuntime::LibretroRuntime(LibretroRuntimeConfig config, ArtifactStoreHandle artifact_store,
                                 std::unique_ptr<AudioSink> audio_sink,
                                 RunnerEventEmitterHandle event_emitter,
                                 std::unique_ptr<VideoSink> video_sink)
    : config_(std::move(config)),
      cadence_window_started_at_(Clock::now()),
      artifact_store_(std::move(artifact_store)),
      audio_sink_(std::move(audio_sink)),
      event_emitter_(std::move(event_emitter)),
      video_sink_(std::move(video_sink)),
      playback_speed_(clamp_playback_speed(config_.playback_speed_ratio)),
      paused_(config_.start_paused) {}

// A state dropped without shutdown (a failed start) releases what it loaded:
// initialize never leaves a loaded core behind, so only the sinks remain.
LibretroRuntime::~LibretroRuntime() = default;

Result<const CoreApi*> LibretroRuntime::core_api_ref() const {
    if (!core_) {
        return fail(kNoCoreSession);
    }
    return &*core_;
}

Status LibretroRuntime::initialize() {
    auto loaded = CoreApi::load(config_.core_library_path);
    if (!loaded) {
        return fail(std::move(loaded.error()));
    }
    CoreApi core = std::move(*loaded);

    auto directories = prepare_runtime_system_directories(config_);
    if (!directories) {
        return fail(std::move(directories.error()));
    }

    callback_bridge::reset();
    callback_bridge::configure_hardware_render_backend(create_default_hardware_render_backend());
    if (auto configured = callback_bridge::configure_environment(
            directories->system_directory, directories->save_directory, config_.core_library_path,
            config_.rom_path, config_.core_graphics_profile);
        !configured) {
        return configured;
    }

    core.retro_set_environment(callback_bridge::environment_callback);
    core.retro_set_video_refresh(callback_bridge::video_refresh_callback);
    core.retro_set_audio_sample(callback_bridge::audio_sample_callback);
    core.retro_set_audio_sample_batch(callback_bridge::audio_sample_batch_callback);
    core.retro_set_input_poll(callback_bridge::input_poll_callback);
    core.retro_set_input_state(callback_bridge::input_state_callback);
    core.retro_init();
    LoadGuard guard(core);

    if (sets_ports_at_init(config_)) {
        const std::uint32_t device = standard_controller_device_for_config(config_);
        for (unsigned port = 0; port < kControllerPortCount; ++port) {
            core.retro_set_controller_port_device(port, device);
        }
    }
    if (auto prepared = callback_bridge::prepare_hardware_render_context(); !prepared) {
        return prepared;
    }
    if (auto version = core.check_api_version(); !version) {
        return version;
    }
    auto system_info = core.system_info();
    if (!system_info) {
        return fail(std::move(system_info.error()));
    }
    auto request = GameLoadRequest::from_path(config_.rom_path, system_info->need_fullpath);
    if (!request) {
        return fail(std::move(request.error()));
    }
    if (auto game = core.load_game(*request); !game) {
        return game;
    }
    guard.game_loaded();

    const std::uint32_t refresh_frames = delayed_controller_refresh_frames(config_);
    if (refresh_frames > 0) {
        force_configure_standard_controller_ports(core, config_);
        delayed_controller_refresh_remaining_ = refresh_frames;
        runner_debug(
            "Reapplied standard controller ports after load for core={} platform={} "
            "delayedRefreshFrames={}",
            config_.core_id, config_.platform_id, refresh_frames);
    }
    if (auto prepared = callback_bridge::prepare_hardware_render_context(); !prepared) {
        return prepared;
    }
    const retro::SystemAvInfo av = system_av_info(core);
    runner_debug("Initial AV info: fps={:.6f} sampleRate={:.2f} base={}x{} max={}x{}",
                 av.timing.fps, av.timing.sample_rate, av.geometry.base_width,
                 av.geometry.base_height, av.geometry.max_width, av.geometry.max_height);
    const AudioStreamDescriptor description =
        audio_stream_descriptor_for_core(av.timing.sample_rate, playback_speed_);
    std::optional<ClipRecorder> recorder;
    if (config_.clip_recording) {
        const double rate = std::round(av.timing.sample_rate);
        const auto clip_sample_rate = static_cast<std::uint32_t>(
            std::isnan(rate) ? 1.0 : std::clamp(rate, 1.0, 4294967295.0));
        auto started =
            ClipRecorder::start(*config_.clip_recording, clip_sample_rate, av.timing.fps);
        if (!started) {
            return fail(std::move(started.error()));
        }
        recorder.emplace(std::move(*started));
    }
    if (auto set = audio_sink_->set_settings(config_.audio_settings); !set) {
        return set;
    }
    if (auto configured = audio_sink_->configure(description, config_.audio_playback_mode);
        !configured) {
        return configured;
    }
    guard.release();
    audio_stream_ = description;
    clip_recorder_.reset();
    if (recorder) {
        clip_recorder_.emplace(std::move(*recorder));
    }
    core_.reset();
    core_.emplace(std::move(core));
    game_load_request_.emplace(std::move(*request));
    return {};
}

Status LibretroRuntime::shutdown() {
    if (clip_recorder_) {
        clip_recorder_->shutdown();
        clip_recorder_.reset();
    }
    if (core_) {
        (void)callback_bridge::prepare_hardware_render_context();
        callback_bridge::reset();
        core_->retro_unload_game();
        core_->retro_deinit();
        core_.reset();
    } else {
        callback_bridge::reset();
    }
    game_load_request_.reset();
    audio_stream_.reset();
    latest_frame_.reset();
    if (auto stopped = audio_sink_->stop(); !stopped) {
        return stopped;
    }
    return video_sink_->stop();
}

Status LibretroRuntime::run_one_frame() {
    if (auto prepared = callback_bridge::prepare_hardware_render_context(); !prepared) {
        return prepared;
    }
    if (core_) {
        core_->retro_run();
        has_run_frame_ = true;
        if (cadence_frames_ < UINT64_MAX) {
            ++cadence_frames_;
        }
    }
    return {};
}

Status LibretroRuntime::run_state_warmup_frame(FramePacer& pacer) {
    if (has_run_frame_) {
        return {};
    }
    if (auto ran = run_one_frame(); !ran) {
        return ran;
    }
    if (auto updated = process_system_av_info_update(pacer); !updated) {
        return updated;
    }
    if (auto drained = drain_audio_to_sink(); !drained) {
        return drained;
    }
    const auto started = Clock::now();
    auto captured = capture_hardware_frame();
    if (!captured) {
        return fail(std::move(captured.error()));
    }
    if (*captured) {
        record_video_readback_duration(Clock::now() - started);
    }
    if (auto drained = drain_video_to_sink(); !drained) {
        return drained;
    }
    pacer.restart();
    return {};
}

void LibretroRuntime::clear_stale_input() {
    if (stale_input_cleared_) {
        return;
    }
    if (!input_active_) {
        stale_input_cleared_ = true;
        return;
    }
    if (last_input_at_ && Clock::now() - *last_input_at_ > std::chrono::milliseconds(250)) {
        callback_bridge::set_input_state_by_port(MappedInputState{});
        stale_input_cleared_ = true;
        input_active_ = false;
        runner_debug("Cleared stale input state after {}ms without renderer input.", 250);
    }
}

void LibretroRuntime::refresh_delayed_controller_ports() {
    const std::uint32_t before = delayed_controller_refresh_remaining_;
    if (!delayed_controller_refresh_step(delayed_controller_refresh_remaining_) || !core_) {
        return;
    }
    force_configure_standard_controller_ports(*core_, config_);
    runner_debug("Reapplied delayed controller ports for core={} platform={} framesRemaining={}",
                 config_.core_id, config_.platform_id, before);
}

void LibretroRuntime::run(CommandReceiver& commands) {
    FramePacer pacer(core_ ? system_av_info(*core_).timing.fps : 60.0, playback_speed_);
    const auto stop_after = [&](std::string_view what, const Status& status) {
        if (status) {
            return false;
        }
        runner_log("{}: {}", what, status.error().display());
        stop_requested_ = true;
        return true;
    };
    while (!stop_requested_) {
        process_pending_commands(commands, pacer);
        if (stop_requested_) {
            break;
        }
        if (!netplay_) {
            clear_stale_input();
        }
        if (paused_) {
            pacer.restart();
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
            continue;
        }
        if (take_scheduled_netplay_pause(pacer)) {
            continue;
        }
        if (netplay_) {
            const NetplayStep step = prepare_netplay_step();
            if (step == NetplayStep::stop) {
                stop_requested_ = true;
                continue;
            }
            if (step == NetplayStep::skip) {
                pacer.restart();
                std::this_thread::sleep_for(std::chrono::milliseconds(4));
                continue;
            }
        }
        if (skip_next_frame_wait_) {
            skip_next_frame_wait_ = false;
            pacer.restart();
        } else {
            pacer.wait_for_next_frame();
        }
        if (stop_after("Hardware render context preparation failed", run_one_frame())) {
            continue;
        }
        if (netplay_) {
            LibretroNetplayFrameCore frame_core(core_ ? &*core_ : nullptr);
            if (stop_after("Netplay replay failed",
                           finish_netplay_frame(*netplay_, frame_core, *event_emitter_,
                                                config_.session_id))) {
                continue;
            }
        }
        refresh_delayed_controller_ports();
        if (stop_after("AV/audio reconfiguration failed", process_system_av_info_update(pacer)) ||
            stop_after("Audio sink drain failed", drain_audio_to_sink())) {
            continue;
        }
        process_pending_commands(commands, pacer);
        if (stop_requested_ || paused_) {
            continue;
        }
        const auto started = Clock::now();
        auto captured = capture_hardware_frame();
        if (!captured) {
            stop_after("Hardware frame capture failed", fail(std::move(captured.error())));
            continue;
        }
        if (*captured) {
            record_video_readback_duration(Clock::now() - started);
        }
        stop_after("Video sink drain failed", drain_video_to_sink());
    }
    (void)shutdown();
}

Result<LibretroRuntimeHandle> spawn_libretro_runtime(LibretroRuntimeConfig config,
                                                     ArtifactStoreHandle artifact_store,
                                                     std::unique_ptr<AudioSink> audio_sink,
                                                     RunnerEventEmitterHandle event_emitter,
                                                     std::unique_ptr<VideoSink> video_sink) {
    auto [commands, command_receiver] = make_channel<LibretroRuntimeCommand>();
    auto [ready, ready_receiver] = make_oneshot<Readiness>();
    RuntimeThread thread(
        [config = std::move(config), artifact_store = std::move(artifact_store),
         audio_sink = std::move(audio_sink), event_emitter = std::move(event_emitter),
         video_sink = std::move(video_sink), receiver = std::move(command_receiver),
         ready = std::move(ready)]() mutable {
            auto runtime = std::make_unique<LibretroRuntime>(
                std::move(config), std::move(artifact_store), std::move(audio_sink),
                std::move(event_emitter), std::move(video_sink));
            if (auto initialized = runtime->initialize(); !initialized) {
                ready.send(std::unexpected(std::move(initialized.error())));
                return;
            }
            if (!ready.send(std::monostate{})) {
                (void)runtime->shutdown();
                return;
            }
            runtime->run(receiver);
        });
    std::optional<Readiness> readiness = ready_receiver.recv();
    if (!readiness) {
        (void)thread.join_and_check_panicked();
        return fail(kRuntimeFailedBeforeReadiness);
    }
    if (!readiness->has_value()) {
        (void)thread.join_and_check_panicked();
        return fail(std::move(readiness->error()));
    }
    return LibretroRuntimeHandle(std::move(commands), std::move(thread));
}

}  // namespace lk
