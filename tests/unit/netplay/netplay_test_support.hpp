#pragma once

// A recording event emitter and a deterministic fake core for netplay tests.

#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "netplay/netplay_frame_core.hpp"
#include "protocol/json.hpp"
#include "protocol/runner_event_emitter.hpp"

namespace lk::netplay_test {

class RecordingEmitter final : public RunnerEventEmitter {
  public:
    Status emit_event(std::string_view name, const OrderedJson& payload) override {
        if (fail_next) {
            return fail("stdout closed");
        }
        events.push_back(OrderedJson{{"name", name}, {"payload", payload}});
        return {};
    }
    Status emit_serialized_event(std::string_view envelope) override {
        events.push_back(OrderedJson::parse(envelope));
        return {};
    }
    std::vector<OrderedJson> named(std::string_view name) const {
        std::vector<OrderedJson> out;
        for (const auto& event : events) {
            if (event["name"] == name) {
                out.push_back(event);
            }
        }
        return out;
    }
    std::vector<OrderedJson> events;
    bool fail_next = false;
};

// A game whose state is the frame counter and a digest of every input it
// was given, frame by frame: two runs agree exactly when their inputs did.
class FakeCore final : public NetplayFrameCore {
  public:
    Status serialize_state(std::vector<std::uint8_t>& state) override {
        state.assign(16, 0);
        std::memcpy(state.data(), &frame, 8);
        std::memcpy(state.data() + 8, &digest, 8);
        return {};
    }
    Status unserialize_state(std::span<const std::uint8_t> state) override {
        ++unserialize_calls;
        if (refuse_unserialize || state.size() != 16) {
            return fail("core rejected save state payload");
        }
        std::memcpy(&frame, state.data(), 8);
        std::memcpy(&digest, state.data() + 8, 8);
        return {};
    }
    void apply_inputs(const NetplayFrameInputs& inputs) override { pending = inputs; }
    Status run_frame() override {
        if (fail_run_at_frame && *fail_run_at_frame == frame) {
            return fail("frame failed");
        }
        for (const auto& input : pending) {
            digest = (digest ^ input.buttons) * 1099511628211ULL;
            for (auto axis : input.axes) {
                digest = (digest ^ static_cast<std::uint16_t>(axis)) * 1099511628211ULL;
            }
        }
        if (desync_from_frame && frame >= *desync_from_frame) {
            digest ^= 1;  // a core that is not deterministic on this machine
        }
        ++frame;
        ++frames_run;
        if (suppressed) {
            ++suppressed_frames;
        }
        return {};
    }
    void set_output_suppressed(bool value) override { suppressed = value; }

    std::uint64_t frame = 0;
    std::uint64_t digest = 14695981039346656037ULL;
    NetplayFrameInputs pending{};
    bool suppressed = false;
    bool refuse_unserialize = false;
    std::optional<std::uint64_t> fail_run_at_frame;
    std::optional<std::uint64_t> desync_from_frame;
    int unserialize_calls = 0;
    int frames_run = 0;
    int suppressed_frames = 0;
};

}  // namespace lk::netplay_test
