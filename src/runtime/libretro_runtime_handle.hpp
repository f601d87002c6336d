#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/libretro_runtime_command.hpp"
#include "runtime/runtime_thread.hpp"

namespace lk {

// The main thread's control of one runtime thread: every operation is one
// command on the channel; operations with a result wait for their reply
// without a time limit. Used by the main thread only.
class LibretroRuntimeHandle {
  public:
    LibretroRuntimeHandle(CommandSender commands, RuntimeThread thread);
    LibretroRuntimeHandle(LibretroRuntimeHandle&&) noexcept = default;
    LibretroRuntimeHandle& operator=(LibretroRuntimeHandle&&) = delete;
    LibretroRuntimeHandle(const LibretroRuntimeHandle&) = delete;
    LibretroRuntimeHandle& operator=(const LibretroRuntimeHandle&) = delete;
    // Shuts the runtime down and ignores the result.
    ~LibretroRuntimeHandle();

    Status capture_screenshot(std::string screenshot_path);
    Result<DiscControlSnapshot> disc_control_snapshot();
    Result<ClipRecordingStatusPayload> clip_recording_status();
    Status load_state(std::string state_path);
    Status pause();
    Status resume();
    Status save_state(std::string state_path, std::string preview_path);
    Status save_netplay_state_frame(std::string state_path, std::uint64_t frame);
    Result<PendingClipResult> save_replay_clip_async(std::string output_path,
                                                     std::uint32_t replay_length_seconds,
                                                     std::string thumbnail_path);
    Status set_audio_muted(bool muted);
    Status set_audio_settings(AudioSinkSettings settings);
    Status set_hardware_render_frame_rate_limit(double limit);
    Status set_video_performance_mode(std::string mode);
    Result<DiscControlSnapshot> set_disc_image(std::uint32_t image_index);
    Status set_playback_speed(double speed);
    Status start_netplay_mode(std::uint64_t input_delay_frames, std::uint64_t local_player_index,
                              std::uint64_t player_count, std::uint64_t start_frame);
    Status stop_netplay_mode();
    Status schedule_netplay_pause(std::uint64_t pause_at_frame, std::uint64_t sequence);
    Status sync_cheats(std::vector<RunnerCheatSetPayload> cheat_sets);
    Status start_clip_recording();
    Result<PendingClipResult> stop_clip_recording_async(std::string output_path,
                                                        std::string thumbnail_path);
    // Sends Shutdown, waits for the reply and joins the thread.
    Status shutdown();

    // Fire-and-forget commands (input, netplay frames) go through here.
    Status send(LibretroRuntimeCommand command);

  private:
    template <class T, class Command>
    Result<T> request(Command command);
    Status request_status(auto command);

    CommandSender commands_;
    std::optional<RuntimeThread> thread_;  // taken by the first shutdown
};

}  // namespace lk
