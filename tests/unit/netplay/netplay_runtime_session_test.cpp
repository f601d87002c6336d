#include "netplay/netplay_runtime_session.hpp"

#include <gtest/gtest.h>

#include "netplay_test_support.hpp"

namespace lk {
namespace {

using netplay_test::RecordingEmitter;
using namespace std::chrono_literals;

NetplayPlayerInput pressed(std::uint16_t buttons) {
    NetplayPlayerInput input;
    input.buttons = buttons;
    return input;
}

std::vector<std::uint8_t> payload_of(std::uint16_t buttons) {
    const auto bytes = encode_netplay_input(pressed(buttons));
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint64_t> sent_frames(const RecordingEmitter& emitter) {
    std::vector<std::uint64_t> frames;
    for (const auto& event : emitter.named("netplayLocalInputFrame")) {
        frames.push_back(event["payload"]["input"]["frame"].get<std::uint64_t>());
    }
    return frames;
}

// Prepares and "runs" the current frame without a core.
NetplayFramePreparation step(NetplayRuntimeSession& session, RecordingEmitter& emitter) {
    auto prepared = session.prepare_frame(emitter, "s", {1, 2, 3});
    EXPECT_TRUE(prepared.has_value());
    if (std::holds_alternative<NetplayFrameReady>(*prepared)) {
        session.advance_current_frame();
    }
    return *prepared;
}

TEST(NetplayRuntimeSession, StartClampsPlayersAndLocalIndex) {
    struct Case {
        std::uint64_t count, local, expected_count, expected_local;
    };
    for (const Case& c : {Case{0, 0, 1, 0}, Case{6, 5, 4, 3}, Case{2, 1, 2, 1}, Case{2, 9, 2, 1}}) {
        NetplayRuntimeSession session(2, c.local, c.count, 100);
        EXPECT_EQ(session.player_count(), c.expected_count);
        EXPECT_EQ(session.local_player_index(), c.expected_local);
        EXPECT_EQ(session.cursors().player_next_frames.size(), c.expected_count);
        EXPECT_EQ(session.cursors().current_frame, 100u);
        EXPECT_EQ(session.cursors().verified_frame, 100u);
    }
}

TEST(NetplayRuntimeSession, LocalInputIsSentAheadByTheInputDelay) {
    RecordingEmitter emitter;
    NetplayRuntimeSession session(2, 1, 2, 0);
    session.update_server_frame(1000);
    step(session, emitter);  // frame 0 sends 0, 1, 2
    EXPECT_EQ(sent_frames(emitter), (std::vector<std::uint64_t>{0, 1, 2}));
    step(session, emitter);  // frame 1 sends 3: frame n's input leaves while n - 2 runs
    EXPECT_EQ(sent_frames(emitter).back(), 3u);

    const auto first = emitter.named("netplayLocalInputFrame").front();
    EXPECT_EQ(first.dump(),
              R"({"name":"netplayLocalInputFrame","payload":{"input":{"frame":0,)"
              R"("playerIndex":1,"payload":[0,0,0,0,0,0,0,0,0,0]},"sessionId":"s"}})");

    // Raising the delay to 4: after a change of input only one frame is sent,
    // the next call fills the rest up to current + delay.
    session.schedule_input_delay(2, 4);
    session.set_local_input(pressed(0x10));
    emitter.events.clear();
    step(session, emitter);  // frame 2, delay 4 now: horizon 6, input changed
    EXPECT_EQ(sent_frames(emitter), (std::vector<std::uint64_t>{4}));
    step(session, emitter);  // frame 3: horizon 7, unchanged
    EXPECT_EQ(sent_frames(emitter), (std::vector<std::uint64_t>{4, 5, 6, 7}));
    EXPECT_EQ(session.input_delay_frames(), 4u);
    EXPECT_EQ(emitter.events.back()["payload"]["input"]["payload"][0], 0x10);

    // The local player's own inputs are known for the frames sent.
    EXPECT_EQ(session.cursors().player_next_frames[1], 8u);
}

TEST(NetplayRuntimeSession, InputDelayChangesAreClampedAndTakeEffectAtTheirFrame) {
    RecordingEmitter emitter;
    NetplayRuntimeSession session(2, 0, 2, 0);
    session.update_server_frame(1000);
    session.schedule_input_delay(3, 0);
    session.schedule_input_delay(5, 20);
    step(session, emitter);
    step(session, emitter);
    step(session, emitter);
    EXPECT_EQ(session.input_delay_frames(), 2u);
    step(session, emitter);  // frame 3
    EXPECT_EQ(session.input_delay_frames(), 1u);
    step(session, emitter);
    step(session, emitter);  // frame 5
    EXPECT_EQ(session.input_delay_frames(), 8u);
    // A start delay above the largest the shell may set is held at 8.
    EXPECT_EQ(NetplayRuntimeSession(1000, 0, 2, 0).input_delay_frames(), 8u);
    EXPECT_EQ(NetplayRuntimeSession(0, 0, 2, 0).input_delay_frames(), 0u);
}

TEST(NetplayRuntimeSession, BadRemoteInputsAreRejectedOrIgnored) {
    NetplayRuntimeSession session(2, 0, 2, 0);
    auto short_payload = session.receive_input_frame(1, 0, std::vector<std::uint8_t>(9, 0));
    ASSERT_FALSE(short_payload.has_value());
    EXPECT_EQ(short_payload.error().message(), "Netplay input payload must be 10 bytes.");

    // Unknown players and the local player are ignored, even with a bad payload.
    EXPECT_TRUE(session.receive_input_frame(7, 0, payload_of(1)).has_value());
    EXPECT_TRUE(session.receive_input_frame(0, 0, payload_of(1)).has_value());
    EXPECT_TRUE(session.receive_input_frame(2, 0, std::vector<std::uint8_t>(3, 0)).has_value());
    EXPECT_TRUE(session.frames().empty());

    // A frame far in the future would need a record for every skipped frame.
    auto far = session.receive_input_frame(1, 3601, payload_of(1));
    ASSERT_FALSE(far.has_value());
    EXPECT_EQ(far.error().message(),
              "Netplay input frame 3601 for player 1 is too far ahead of the next expected "
              "frame 0.");
    EXPECT_TRUE(session.frames().empty());
    EXPECT_TRUE(session.receive_input_frame(1, 3600, payload_of(1)).has_value());
    EXPECT_EQ(session.cursors().player_next_frames[1], 3601u);
}

TEST(NetplayRuntimeSession, SkippedRemoteFramesRepeatTheLastKnownInput) {
    NetplayRuntimeSession session(2, 0, 2, 0);
    for (std::uint64_t frame = 0; frame < 7; ++frame) {
        ASSERT_TRUE(session.receive_input_frame(1, frame, payload_of(frame == 6 ? 5 : 0)));
    }
    EXPECT_EQ(session.cursors().player_next_frames[1], 7u);
    ASSERT_TRUE(session.receive_input_frame(1, 10, payload_of(9)));
    for (std::uint64_t frame : {7u, 8u, 9u}) {
        EXPECT_TRUE(session.frames().at(frame).inputs[1].known);
        EXPECT_EQ(session.frames().at(frame).inputs[1].input, pressed(5)) << frame;
    }
    EXPECT_EQ(session.frames().at(10).inputs[1].input, pressed(9));
    EXPECT_EQ(session.cursors().player_next_frames[1], 11u);
    // An input for an earlier frame overwrites that frame.
    ASSERT_TRUE(session.receive_input_frame(1, 8, payload_of(2)));
    EXPECT_EQ(session.frames().at(8).inputs[1].input, pressed(2));
    EXPECT_EQ(session.cursors().player_next_frames[1], 11u);
}

TEST(NetplayRuntimeSession, PredictsTheLastKnownInputAndRollsBackWhenItWasWrong) {
    RecordingEmitter emitter;
    NetplayRuntimeSession session(0, 0, 2, 0);
    session.update_server_frame(1000);
    for (std::uint64_t frame = 0; frame < 40; ++frame) {
        ASSERT_TRUE(session.receive_input_frame(1, frame, payload_of(3)));
    }
    for (int i = 0; i < 45; ++i) {
        auto prepared = step(session, emitter);
        const auto& ready = std::get<NetplayFrameReady>(prepared);
        EXPECT_EQ(ready.inputs[1], pressed(3));  // known, then predicted from frame 39
        EXPECT_FALSE(session.replay_request().has_value());
    }
    EXPECT_EQ(session.cursors().verified_frame, 40u);
    EXPECT_TRUE(session.frames().at(42).predicted_inputs[1].known);

    // The real input for frame 40 differs from the prediction: roll back to
    // the state saved before frame 40.
    ASSERT_TRUE(session.receive_input_frame(1, 40, payload_of(8)));
    auto replay = session.replay_request();
    ASSERT_TRUE(replay.has_value());
    EXPECT_EQ(replay->frame, 40u);
    EXPECT_EQ(replay->state, (std::vector<std::uint8_t>{1, 2, 3}));
    // The re-run frames get the new input, and predict it onwards.
    for (std::uint64_t frame = 40; frame < 45; ++frame) {
        EXPECT_EQ(session.prepare_replay_frame(frame, {9})[1], pressed(8)) << frame;
    }
    session.finish_replay();
    EXPECT_EQ(session.cursors().verified_frame, 41u);  // confirmed up to frame 40
    EXPECT_FALSE(session.replay_request().has_value());

    // A correct prediction causes no rollback.
    ASSERT_TRUE(session.receive_input_frame(1, 41, payload_of(8)));
    EXPECT_FALSE(session.replay_request().has_value());
    EXPECT_EQ(session.cursors().verified_frame, 42u);
}

TEST(NetplayRuntimeSession, ARollbackWhoseStateIsNotRetainedIsNotPerformed) {
    NetplayRuntimeSession session(0, 0, 2, 5);
    session.update_server_frame(1000);
    ASSERT_TRUE(session.receive_input_frame(1, 5, payload_of(4)));
    // Frame 5 ran (as far as the session knows) without a state being kept.
    session.advance_current_frame();
    session.resolve_input(5);
    ASSERT_TRUE(session.receive_input_frame(1, 5, payload_of(6)));
    EXPECT_FALSE(session.replay_request().has_value());
}

TEST(NetplayRuntimeSession, StallsAtALeadOfSixtyAndResumesBelowFiftyEight) {
    RecordingEmitter emitter;
    NetplayRuntimeSession session(1, 0, 1, 0);
    // No server frame: the lead is measured against the start frame.
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(std::holds_alternative<NetplayFrameReady>(step(session, emitter))) << i;
    }
    auto stalled = step(session, emitter);
    ASSERT_TRUE(std::holds_alternative<NetplayFrameStalled>(stalled));
    EXPECT_EQ(std::get<NetplayFrameStalled>(stalled).frame, 60u);
    EXPECT_TRUE(session.stalled());
    // Lead 59 and 58: still stalled (v = server frame + 1).
    session.update_server_frame(0);
    EXPECT_TRUE(std::holds_alternative<NetplayFrameStalled>(step(session, emitter)));
    session.update_server_frame(1);
    EXPECT_TRUE(std::holds_alternative<NetplayFrameStalled>(step(session, emitter)));
    // A lower server frame than announced before keeps the higher one.
    session.update_server_frame(0);
    EXPECT_EQ(session.server_frame(), 1u);
    EXPECT_TRUE(std::holds_alternative<NetplayFrameStalled>(step(session, emitter)));
    session.update_server_frame(2);  // lead 57
    EXPECT_TRUE(std::holds_alternative<NetplayFrameReady>(step(session, emitter)));
    EXPECT_FALSE(session.stalled());
    EXPECT_EQ(session.current_frame(), 61u);
}

TEST(NetplayRuntimeSession, CatchesUpUnpacedAfterALagThatDoesNotShrink) {
    RecordingEmitter emitter;
    auto now = NetplayRuntimeSession::Clock::time_point{};
    NetplayRuntimeSession session(1, 0, 1, 0, [&] { return now; });
    session.update_server_frame(4);  // v = 5, five frames behind
    auto catch_up = [&] { return std::get<NetplayFrameReady>(
                                     *session.prepare_frame(emitter, "s", {}))
                              .catch_up; };
    EXPECT_FALSE(catch_up());  // lag observed
    now += 300ms;
    EXPECT_FALSE(catch_up());  // within 500 ms
    now += 300ms;
    EXPECT_TRUE(catch_up());   // 600 ms without improving
    EXPECT_TRUE(session.catching_up());
    session.advance_current_frame();
    EXPECT_TRUE(catch_up());   // frame 1: 1 + 1 < 5
    session.advance_current_frame();
    session.advance_current_frame();
    EXPECT_TRUE(catch_up());   // frame 3: 3 + 1 < 5
    session.advance_current_frame();
    EXPECT_FALSE(catch_up());  // frame 4 reached the server frame
    EXPECT_FALSE(session.catching_up());

    // A lag that keeps shrinking never switches to catch-up.
    NetplayRuntimeSession shrinking(1, 0, 1, 0, [&] { return now; });
    shrinking.update_server_frame(10);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(
            std::get<NetplayFrameReady>(*shrinking.prepare_frame(emitter, "s", {})).catch_up);
        shrinking.advance_current_frame();
        now += 600ms;
    }
}

TEST(NetplayRuntimeSession, HashesVerifiedStatesAtTheIntervalAndPrunesTheWindow) {
    RecordingEmitter emitter;
    NetplayRuntimeSession session(0, 0, 1, 5);
    session.update_server_frame(100000);
    for (int i = 0; i < 1300; ++i) {
        auto prepared = session.prepare_frame(
            emitter, "s", {static_cast<std::uint8_t>(session.current_frame() & 0xFF)});
        ASSERT_TRUE(std::holds_alternative<NetplayFrameReady>(*prepared));
        session.advance_current_frame();
        EXPECT_FALSE(session.replay_request().has_value());
        for (const auto& hash : session.take_verified_state_hashes(600)) {
            EXPECT_EQ(hash.state, std::vector<std::uint8_t>{
                                      static_cast<std::uint8_t>(hash.frame & 0xFF)});
            EXPECT_EQ(hash.frame % 600, 0u);
            EXPECT_LE(hash.frame, session.cursors().verified_frame);
        }
        session.prune_synced_frames();
        // The window: about 62 verified frames, no more.
        EXPECT_LE(session.frames().size(), 64u);
    }
    EXPECT_EQ(session.hashed_frames(), (std::set<std::uint64_t>{600, 1200}));
    EXPECT_EQ(session.retained_state(1304 - 62), nullptr);
    EXPECT_NE(session.retained_state(1304), nullptr);
    EXPECT_NE(session.retained_state(1304 - 61), nullptr);
    EXPECT_EQ(session.take_verified_state_hashes(0).size(), 0u);  // nothing due
}

TEST(NetplayRuntimeSession, AnEmitFailureEndsThePreparation) {
    RecordingEmitter emitter;
    emitter.fail_next = true;
    NetplayRuntimeSession session(1, 0, 2, 0);
    auto prepared = session.prepare_frame(emitter, "s", {});
    ASSERT_FALSE(prepared.has_value());
    EXPECT_EQ(prepared.error().message(), "stdout closed");
}

}  // namespace
}  // namespace lk
