#pragma once

// The rollback netplay session of one runtime: local input scheduled with an
// input delay, remote inputs relayed by the shell, prediction of missing
// inputs, the decision to roll back, verified state hashes, stalls, catch-up
// and the retention window. It does not touch the core: the frame loop hands
// it serialised states and applies the inputs it returns. Owned and used by
// one thread (the runtime thread); not thread-safe.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "common/error.hpp"
#include "netplay/netplay_player_input.hpp"
#include "netplay/netplay_rollback_frame_cursors.hpp"
#include "protocol/runner_event_emitter.hpp"

namespace lk {

// Lead over the server's frame at which the session stalls, and below which it resumes.
inline constexpr std::uint64_t kNetplayStallLead = 60;
inline constexpr std::uint64_t kNetplayResumeLead = 58;
// Lag behind the server that may persist before frames run unpaced to catch up.
inline constexpr std::uint64_t kNetplayCatchUpLag = 3;
inline constexpr std::chrono::milliseconds kNetplayCatchUpPatience{500};
// Verified frames kept for rollback and saving, and hashed frames remembered.
inline constexpr std::uint64_t kNetplayRetainedFrames = 62;
inline constexpr std::uint64_t kNetplayRetainedHashedFrames = 724;
// Interval the frame loop hashes verified states at.
inline constexpr std::uint64_t kNetplayStateHashInterval = 600;
// Largest input delay the shell may set.
inline constexpr std::uint64_t kNetplayMaxInputDelay = 8;
// A remote input may skip at most this many frames past the next one expected
// from that player; the skipped frames are filled one record each.
inline constexpr std::uint64_t kNetplayMaxInputGap = 3600;
// Spare state buffers kept for reuse.
inline constexpr std::size_t kNetplaySpareStateBuffers = 8;

// The record kept per frame number.
struct NetplayDeltaFrame {
    std::array<NetplayInputSlot, kNetplayMaxPlayers> inputs{};
    std::array<NetplayInputSlot, kNetplayMaxPlayers> predicted_inputs{};
    std::optional<std::vector<std::uint8_t>> state;  // serialised just before the frame ran
    NetplayFrameInputs resolved_inputs{};             // what the core was given last time
    bool resolved = false;
};

struct NetplayVerifiedStateHash {
    std::vector<std::uint8_t> state;
    std::uint64_t frame = 0;
};

struct NetplayResolvedInputs {
    NetplayFrameInputs inputs{};
    bool changed = false;
};

// Where a replay restarts: the state saved before `frame`.
struct NetplayReplayStart {
    std::vector<std::uint8_t> state;
    std::uint64_t frame = 0;
};

// The outcome of preparing a frame.
struct NetplayFrameStalled {
    std::uint64_t frame = 0;
};
struct NetplayFrameReady {
    bool catch_up = false;  // run the frame without pacing
    NetplayFrameInputs inputs{};
};
using NetplayFramePreparation = std::variant<NetplayFrameStalled, NetplayFrameReady>;

class NetplayRuntimeSession {
  public:
    using Clock = std::chrono::steady_clock;
    using ClockSource = std::function<Clock::time_point()>;

    // A player count of 0 plays one player and more than 4 play four; the
    // local index is kept below the count; the input delay is at most 8.
    // `clock` defaults to the steady clock (tests pass their own).
    NetplayRuntimeSession(std::uint64_t input_delay_frames, std::uint64_t local_player_index,
                          std::uint64_t player_count, std::uint64_t start_frame,
                          ClockSource clock = {});

    // Before each frame, with the state serialised just before it.
    Result<NetplayFramePreparation> prepare_frame(RunnerEventEmitter& event_emitter,
                                                  std::string_view session_id,
                                                  std::vector<std::uint8_t> state);
    NetplayResolvedInputs resolve_input(std::uint64_t frame);
    // Inputs of unknown players and of the local player are ignored (success).
    Status receive_input_frame(std::uint64_t player_index, std::uint64_t frame,
                               std::span<const std::uint8_t> payload);
    // After each frame: where to roll back to, if a resolved input changed.
    std::optional<NetplayReplayStart> replay_request();
    // During a replay: stores the state of a re-run frame and gives its inputs.
    NetplayFrameInputs prepare_replay_frame(std::uint64_t frame, std::vector<std::uint8_t> state);
    std::vector<NetplayVerifiedStateHash> take_verified_state_hashes(std::uint64_t interval);
    void prune_synced_frames();

    // State buffers are recycled: a state dropped from the window keeps its
    // memory for the next serialisation, so a large state (hundreds of KB)
    // costs no allocation and no page faults per frame.
    std::vector<std::uint8_t> take_state_buffer();
    void recycle_state_buffer(std::vector<std::uint8_t>&& buffer);

    // The frame loop's bookkeeping around a frame and a replay.
    void advance_current_frame();
    void finish_replay();

    // Commands from the shell.
    void set_local_input(const NetplayPlayerInput& input) { local_input_ = input; }
    void update_server_frame(std::uint64_t frame);
    // Clamps the delay to [1, 8]; replaces a change scheduled for the same frame.
    void schedule_input_delay(std::uint64_t effective_frame, std::uint64_t input_delay_frames);
    // The state saved before `frame`, while it is retained.
    [[nodiscard]] const std::vector<std::uint8_t>* retained_state(std::uint64_t frame) const;

    [[nodiscard]] const NetplayRollbackFrameCursors& cursors() const { return cursors_; }
    [[nodiscard]] std::uint64_t current_frame() const { return cursors_.current_frame; }
    [[nodiscard]] std::uint64_t input_delay_frames() const { return input_delay_frames_; }
    [[nodiscard]] std::uint64_t local_player_index() const { return local_player_index_; }
    [[nodiscard]] std::uint64_t player_count() const { return player_count_; }
    [[nodiscard]] std::optional<std::uint64_t> server_frame() const { return server_frame_; }
    [[nodiscard]] bool stalled() const { return stalled_; }
    [[nodiscard]] bool catching_up() const { return catching_up_; }
    [[nodiscard]] const std::map<std::uint64_t, NetplayDeltaFrame>& frames() const {
        return frames_;
    }
    [[nodiscard]] const std::set<std::uint64_t>& hashed_frames() const { return hashed_frames_; }
    [[nodiscard]] const std::set<std::uint64_t>& sent_local_frames() const {
        return sent_local_frames_;
    }

  private:
    // `server_frame` + 1 once announced, else `start_frame`.
    [[nodiscard]] std::uint64_t reference_frame() const;
    void update_confirmed_frame();
    void advance_player_next_frame(std::size_t player);
    // The latest known input of `player` in a frame before `frame`, or zero.
    [[nodiscard]] NetplayPlayerInput latest_known_input_before(std::size_t player,
                                                               std::uint64_t frame) const;
    void apply_due_input_delay_changes();
    void store_state(std::uint64_t frame, std::vector<std::uint8_t>&& state);
    Status send_local_input(RunnerEventEmitter& event_emitter, std::string_view session_id);
    bool catch_up_decision();

    ClockSource clock_;
    std::optional<std::uint64_t> server_frame_;
    NetplayRollbackFrameCursors cursors_;
    std::uint64_t catch_up_lag_ = 0;
    std::optional<Clock::time_point> catch_up_observed_at_;
    std::map<std::uint64_t, NetplayDeltaFrame> frames_;
    std::uint64_t input_delay_frames_;
    std::uint64_t local_player_index_;
    std::uint64_t next_hash_frame_;
    std::set<std::uint64_t> hashed_frames_;
    std::uint64_t player_count_;
    std::map<std::uint64_t, std::uint64_t> input_delay_schedule_;
    std::set<std::uint64_t> sent_local_frames_;
    std::uint64_t start_frame_;
    NetplayPlayerInput last_sent_local_input_;
    NetplayPlayerInput local_input_;
    bool catching_up_ = false;
    bool stalled_ = false;
    std::vector<std::vector<std::uint8_t>> spare_states_;
};

}  // namespace lk
