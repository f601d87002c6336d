#pragma once

// The runtime thread's state. Created on the runtime thread and never shared:
// every field is owned by that thread.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "audio/audio_sink.hpp"
#include "clip_recording/clip_recorder.hpp"
#include "libretro/core_api.hpp"
#include "libretro/game_load_request.hpp"
#include "netplay/netplay_runtime_session.hpp"
#include "protocol/runner_event_emitter.hpp"
#include "runtime/artifact_store.hpp"
#include "runtime/frame_pacer.hpp"
#include "runtime/input_latency_stats.hpp"
#include "runtime/libretro_runtime_command.hpp"
#include "runtime/libretro_runtime_config.hpp"
#include "video/video_frame.hpp"
#include "video/video_sink.hpp"

namespace lk {

inline constexpr const char* kNoCoreSession = "No libretro core session is loaded.";

// The description of the core's audio for a sink: both rates the core's, the
// speed clamped to [0.5, 2.0] (not finite counts as 1.0).
AudioStreamDescriptor audio_stream_descriptor_for_core(double sample_rate, double speed);

// Cores whose hardware frames are capped by the video performance policy.
bool uses_hardware_render_frame_rate_limit_policy(std::string_view core_id,
                                                  std::string_view platform_id);

// A pause the shell scheduled for when netplay reaches `frame`.
struct ScheduledNetplayPause {
    std::uint64_t frame = 0;
    std::uint64_t sequence = 0;
};

class LibretroRuntime {
  public:
    using Clock = std::chrono::steady_clock;

    LibretroRuntime(LibretroRuntimeConfig config, ArtifactStoreHandle artifact_store,
                    std::unique_ptr<AudioSink> audio_sink, RunnerEventEmitterHandle event_emitter,
                    std::unique_ptr<VideoSink> video_sink);
    LibretroRuntime(const LibretroRuntime&) = delete;
    LibretroRuntime& operator=(const LibretroRuntime&) = delete;
    ~LibretroRuntime();

    // Loads the core and the game; on failure nothing stays loaded.
    Status initialize();
    // The frame loop; returns after shutdown().
    void run(CommandReceiver& commands);
    Status shutdown();
    Result<const CoreApi*> core_api_ref() const;
    // Runs one frame before the first state save or load.
    Status run_state_warmup_frame(FramePacer& pacer);

    // Between frames: every queued command, without waiting.
    void process_pending_commands(CommandReceiver& commands, FramePacer& pacer);

    // After a frame: outputs, timing changes and the readback policy.
    Status drain_audio_to_sink();
    Status drain_video_to_sink();
    Result<bool> capture_hardware_frame();
    void record_video_readback_duration(Clock::duration duration);
    Status process_system_av_info_update(FramePacer& pacer);
    Status reset_audio_after_timing_change();
    [[nodiscard]] bool uses_heavy_video_readback_policy() const;
    Status apply_configured_video_performance_policy();

  private:
    void handle_command(LibretroRuntimeCommand& command, FramePacer& pacer);
    Status run_one_frame();
    void refresh_delayed_controller_ports();
    void clear_stale_input();
    Status refresh_latest_frame();
    Status write_latest_frame_image(const std::string& path);
    Status capture_screenshot(const std::string& path);
    Status load_state(const std::string& path, FramePacer& pacer);
    Status save_state(const std::string& state_path, const std::string& preview_path,
                      FramePacer& pacer);
    void write_save_state_preview(const std::string& preview_path);
    Status sync_cheats(const std::vector<RunnerCheatSetPayload>& cheat_sets);
    Status set_paused(bool paused, FramePacer& pacer);
    Status set_playback_speed(double speed, FramePacer& pacer);
    void set_input_state(runtime_command::SetInputState& command);
    Result<DiscControlSnapshot> set_disc_image(std::uint32_t image_index, FramePacer& pacer);
    std::uint64_t drop_pending_audio();
    // Whether a clip frame is due: the recorder records and its interval has passed.
    [[nodiscard]] bool clip_frame_due(Clock::time_point now) const;
    // Tells the recorder to pause or resume, forgetting its last clip frame time.
    void set_clip_recorder_paused(bool paused);

    // Netplay commands and the frame loop's netplay steps.
    Status start_netplay_mode(const runtime_command::StartNetplayMode& command,
                              FramePacer& pacer);
    void stop_netplay_mode();
    Status schedule_netplay_pause(std::uint64_t pause_at_frame, std::uint64_t sequence);
    Status save_netplay_state_frame(const std::string& state_path, std::uint64_t frame);
    void handle_netplay_traffic(const LibretroRuntimeCommand& command);
    // True when the scheduled pause was taken (the iteration ends).
    bool take_scheduled_netplay_pause(FramePacer& pacer);
    enum class NetplayStep { run, skip, stop };
    NetplayStep prepare_netplay_step();

    std::optional<ScheduledNetplayPause> scheduled_netplay_pause_;
    std::optional<NetplayRuntimeSession> netplay_;

    LibretroRuntimeConfig config_;
    std::optional<AudioStreamDescriptor> audio_stream_;
    std::optional<GameLoadRequest> game_load_request_;
    std::optional<VideoFrame> latest_frame_;
    Clock::time_point cadence_window_started_at_;
    std::optional<Clock::time_point> last_input_at_;
    std::optional<Clock::time_point> readback_skip_until_;
    InputLatencyStats input_latency_stats_;
    ArtifactStoreHandle artifact_store_;
    std::unique_ptr<AudioSink> audio_sink_;
    RunnerEventEmitterHandle event_emitter_;
    std::unique_ptr<VideoSink> video_sink_;
    // Declared after the sinks so that it is stopped before them at destruction.
    std::optional<ClipRecorder> clip_recorder_;
    std::optional<CoreApi> core_;
    std::uint64_t cadence_audio_frames_ = 0;
    std::uint64_t cadence_frames_ = 0;
    double playback_speed_ = 1.0;
    std::uint64_t readback_over_budget_count_ = 0;
    std::uint32_t delayed_controller_refresh_remaining_ = 0;
    bool has_run_frame_ = false;
    bool paused_ = false;
    bool stale_input_cleared_ = true;
    bool input_active_ = false;
    bool skip_next_frame_wait_ = false;
    bool netplay_stalled_ = false;
    bool stop_requested_ = false;
};

}  // namespace lk
