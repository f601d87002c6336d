#include "netplay/netplay_runtime_session.hpp"

#include <algorithm>
#include <limits>

#include <fmt/format.h>

#include "common/saturating.hpp"
#include "protocol/event_output.hpp"

namespace lk {

namespace {

constexpr std::uint64_t kMaxFrame = std::numeric_limits<std::uint64_t>::max();

std::uint64_t saturating_sub(std::uint64_t a, std::uint64_t b) {
    return a < b ? 0 : a - b;
}

std::uint64_t clamp_player_count(std::uint64_t count) {
    return count == 0 ? 1 : std::min<std::uint64_t>(count, kNetplayMaxPlayers);
}

}  // namespace

NetplayRuntimeSession::NetplayRuntimeSession(std::uint64_t input_delay_frames,
                                             std::uint64_t local_player_index,
                                             std::uint64_t player_count,
                                             std::uint64_t start_frame, ClockSource clock)
    : clock_(clock ? std::move(clock) : ClockSource([] { return Clock::now(); })),
      cursors_(start_frame, clamp_player_count(player_count)),
      input_delay_frames_(std::min(input_delay_frames, kNetplayMaxInputDelay)),
      local_player_index_(std::min(local_player_index, clamp_player_count(player_count) - 1)),
      next_hash_frame_(start_frame),
      player_count_(clamp_player_count(player_count)),
      start_frame_(start_frame) {}

std::uint64_t NetplayRuntimeSession::reference_frame() const {
    return server_frame_ ? saturating_add(*server_frame_, 1) : start_frame_;
}

void NetplayRuntimeSession::update_confirmed_frame() {
    cursors_.confirmed_frame = std::min(reference_frame(), cursors_.lowest_player_next_frame());
}

void NetplayRuntimeSession::advance_player_next_frame(std::size_t player) {
    std::uint64_t& next = cursors_.player_next_frames[player];
    for (auto it = frames_.find(next); it != frames_.end() && it->first == next &&
                                       it->second.inputs[player].known && next < kMaxFrame;
         ++it) {
        ++next;
    }
}

NetplayPlayerInput NetplayRuntimeSession::latest_known_input_before(std::size_t player,
                                                                    std::uint64_t frame) const {
    for (auto it = frames_.lower_bound(frame); it != frames_.begin();) {
        --it;
        if (it->second.inputs[player].known) {
            return it->second.inputs[player].input;
        }
    }
    return {};
}

NetplayResolvedInputs NetplayRuntimeSession::resolve_input(std::uint64_t frame) {
    NetplayFrameInputs inputs{};
    NetplayDeltaFrame& record = frames_[frame];
    for (std::size_t player = 0; player < player_count_; ++player) {
        if (record.inputs[player].known) {
            inputs[player] = record.inputs[player].input;
        } else {
            inputs[player] = latest_known_input_before(player, frame);
            record.predicted_inputs[player] = NetplayInputSlot{inputs[player], true};
        }
    }
    const bool changed = !record.resolved || record.resolved_inputs != inputs;
    record.resolved_inputs = inputs;
    record.resolved = true;
    return {inputs, changed};
}

void NetplayRuntimeSession::apply_due_input_delay_changes() {
    while (!input_delay_schedule_.empty() &&
           input_delay_schedule_.begin()->first <= cursors_.current_frame) {
        input_delay_frames_ = input_delay_schedule_.begin()->second;
        input_delay_schedule_.erase(input_delay_schedule_.begin());
    }
}

Status NetplayRuntimeSession::send_local_input(RunnerEventEmitter& event_emitter,
                                               std::string_view session_id) {
    const std::uint64_t horizon = saturating_add(cursors_.current_frame, input_delay_frames_);
    const bool unchanged = local_input_ == last_sent_local_input_;
    while (cursors_.local_send_frame <= horizon) {
        const std::uint64_t frame = cursors_.local_send_frame;
        if (!sent_local_frames_.contains(frame)) {
            sent_local_frames_.insert(frame);
            frames_[frame].inputs[local_player_index_] = NetplayInputSlot{local_input_, true};
            last_sent_local_input_ = local_input_;
            advance_player_next_frame(local_player_index_);
            const auto bytes = encode_netplay_input(local_input_);
            NetplayLocalInputFrameEventPayload payload{
                NetplayInputFramePayload{frame, local_player_index_,
                                         std::vector<std::uint8_t>(bytes.begin(), bytes.end())},
                std::string(session_id)};
            if (auto emitted =
                    emit_typed_event(event_emitter, event_name::kNetplayLocalInputFrame, payload);
                !emitted) {
                return emitted;
            }
        }
        if (cursors_.local_send_frame == kMaxFrame) {
            break;
        }
        ++cursors_.local_send_frame;
        if (!unchanged) {
            break;
        }
    }
    return {};
}

bool NetplayRuntimeSession::catch_up_decision() {
    const std::uint64_t reference = reference_frame();
    const std::uint64_t current = cursors_.current_frame;
    if (catching_up_) {
        if (saturating_add(current, 1) < reference) {
            return true;
        }
        catching_up_ = false;
        return false;
    }
    if (saturating_add(current, kNetplayCatchUpLag) >= reference) {
        catch_up_observed_at_.reset();
        return false;
    }
    const std::uint64_t lag = reference - current;
    const Clock::time_point now = clock_();
    if (!catch_up_observed_at_) {
        catch_up_lag_ = lag;
        catch_up_observed_at_ = now;
        return false;
    }
    if (now - *catch_up_observed_at_ <= kNetplayCatchUpPatience) {
        return false;
    }
    if (catch_up_lag_ > lag) {
        catch_up_lag_ = lag;
        catch_up_observed_at_ = now;
        return false;
    }
    catching_up_ = true;
    catch_up_observed_at_.reset();
    return true;
}

Result<NetplayFramePreparation> NetplayRuntimeSession::prepare_frame(
    RunnerEventEmitter& event_emitter, std::string_view session_id,
    std::vector<std::uint8_t> state) {
    apply_due_input_delay_changes();
    if (auto sent = send_local_input(event_emitter, session_id); !sent) {
        return fail(std::move(sent.error()));
    }
    update_confirmed_frame();

    const std::uint64_t lead = saturating_sub(cursors_.current_frame, reference_frame());
    if (stalled_ && lead < kNetplayResumeLead) {
        stalled_ = false;
    }
    if (lead >= kNetplayStallLead) {
        stalled_ = true;
    }
    if (stalled_) {
        catching_up_ = false;
        catch_up_observed_at_.reset();
        recycle_state_buffer(std::move(state));
        return NetplayFrameStalled{cursors_.current_frame};
    }

    const bool catch_up = catch_up_decision();
    store_state(cursors_.current_frame, std::move(state));
    return NetplayFrameReady{catch_up, resolve_input(cursors_.current_frame).inputs};
}

Status NetplayRuntimeSession::receive_input_frame(std::uint64_t player_index, std::uint64_t frame,
                                                  std::span<const std::uint8_t> payload) {
    if (player_index >= player_count_ || player_index == local_player_index_) {
        return {};
    }
    auto input = decode_netplay_input(payload);
    if (!input) {
        return fail(std::move(input.error()));
    }
    const auto player = static_cast<std::size_t>(player_index);
    const std::uint64_t next = cursors_.player_next_frames[player];
    if (frame > next && frame - next > kNetplayMaxInputGap) {
        return fail(fmt::format(
            "Netplay input frame {} for player {} is too far ahead of the next expected "
            "frame {}.",
            frame, player_index, next));
    }
    if (frame > next) {
        NetplayPlayerInput last = latest_known_input_before(player, next);
        for (std::uint64_t gap = next; gap < frame; ++gap) {
            NetplayInputSlot& slot = frames_[gap].inputs[player];
            if (slot.known) {
                last = slot.input;
            } else {
                slot = NetplayInputSlot{last, true};
            }
        }
    }
    frames_[frame].inputs[player] = NetplayInputSlot{*input, true};
    advance_player_next_frame(player);
    update_confirmed_frame();
    return {};
}

std::optional<NetplayReplayStart> NetplayRuntimeSession::replay_request() {
    std::optional<std::uint64_t> start;
    while (cursors_.verified_frame < cursors_.confirmed_frame &&
           cursors_.verified_frame < cursors_.current_frame) {
        if (resolve_input(cursors_.verified_frame).changed) {
            start = cursors_.verified_frame;
            break;
        }
        ++cursors_.verified_frame;
    }
    if (!start) {
        for (std::uint64_t frame = cursors_.verified_frame; frame < cursors_.current_frame;
             ++frame) {
            if (resolve_input(frame).changed) {
                start = frame;
                break;
            }
        }
    }
    if (!start) {
        return std::nullopt;
    }
    const auto it = frames_.find(*start);
    if (it == frames_.end() || !it->second.state) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> copy = take_state_buffer();
    copy.assign(it->second.state->begin(), it->second.state->end());
    return NetplayReplayStart{std::move(copy), *start};
}

NetplayFrameInputs NetplayRuntimeSession::prepare_replay_frame(std::uint64_t frame,
                                                               std::vector<std::uint8_t> state) {
    store_state(frame, std::move(state));
    return resolve_input(frame).inputs;
}

std::vector<NetplayVerifiedStateHash> NetplayRuntimeSession::take_verified_state_hashes(
    std::uint64_t interval) {
    if (interval == 0) {
        interval = 1;
    }
    if (const std::uint64_t remainder = next_hash_frame_ % interval; remainder != 0) {
        next_hash_frame_ = saturating_add(next_hash_frame_, interval - remainder);
    }
    std::vector<NetplayVerifiedStateHash> hashes;
    while (next_hash_frame_ <= cursors_.verified_frame) {
        const auto it = frames_.find(next_hash_frame_);
        if (it == frames_.end() || !it->second.state) {
            break;
        }
        hashed_frames_.insert(next_hash_frame_);
        hashes.push_back(NetplayVerifiedStateHash{*it->second.state, next_hash_frame_});
        const std::uint64_t next = saturating_add(next_hash_frame_, interval);
        if (next == next_hash_frame_) {
            break;
        }
        next_hash_frame_ = next;
    }
    return hashes;
}

void NetplayRuntimeSession::prune_synced_frames() {
    const std::uint64_t verified = cursors_.verified_frame;
    hashed_frames_.erase(hashed_frames_.begin(), hashed_frames_.lower_bound(saturating_sub(
                                                     verified, kNetplayRetainedHashedFrames)));
    const std::uint64_t window = saturating_sub(verified, kNetplayRetainedFrames);
    const auto kept = frames_.lower_bound(std::min(next_hash_frame_, window));
    for (auto it = frames_.begin(); it != kept; ++it) {
        if (it->second.state) {
            recycle_state_buffer(std::move(*it->second.state));
        }
    }
    frames_.erase(frames_.begin(), kept);
    sent_local_frames_.erase(sent_local_frames_.begin(), sent_local_frames_.lower_bound(window));
}

std::vector<std::uint8_t> NetplayRuntimeSession::take_state_buffer() {
    if (spare_states_.empty()) {
        return {};
    }
    std::vector<std::uint8_t> buffer = std::move(spare_states_.back());
    spare_states_.pop_back();
    return buffer;
}

void NetplayRuntimeSession::recycle_state_buffer(std::vector<std::uint8_t>&& buffer) {
    if (buffer.capacity() > 0 && spare_states_.size() < kNetplaySpareStateBuffers) {
        spare_states_.push_back(std::move(buffer));
    }
}

void NetplayRuntimeSession::store_state(std::uint64_t frame, std::vector<std::uint8_t>&& state) {
    std::optional<std::vector<std::uint8_t>>& slot = frames_[frame].state;
    if (slot) {
        recycle_state_buffer(std::move(*slot));
    }
    slot = std::move(state);
}

void NetplayRuntimeSession::advance_current_frame() {
    cursors_.current_frame = saturating_add(cursors_.current_frame, 1);
}

void NetplayRuntimeSession::finish_replay() {
    cursors_.verified_frame = std::min(cursors_.current_frame, cursors_.confirmed_frame);
}

void NetplayRuntimeSession::update_server_frame(std::uint64_t frame) {
    server_frame_ = server_frame_ ? std::max(*server_frame_, frame) : frame;
    update_confirmed_frame();
}

void NetplayRuntimeSession::schedule_input_delay(std::uint64_t effective_frame,
                                                 std::uint64_t input_delay_frames) {
    input_delay_schedule_[effective_frame] =
        std::clamp<std::uint64_t>(input_delay_frames, 1, kNetplayMaxInputDelay);
}

const std::vector<std::uint8_t>* NetplayRuntimeSession::retained_state(std::uint64_t frame) const {
    const auto it = frames_.find(frame);
    return it == frames_.end() || !it->second.state ? nullptr : &*it->second.state;
}

}  // namespace lk
