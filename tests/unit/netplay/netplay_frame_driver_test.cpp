// Two peers, each a session over a deterministic fake core, with the shell's
// relay simulated in between: rollbacks must leave both exactly where a run
// with the true inputs from the start would be.

#include "netplay/netplay_frame_driver.hpp"

#include <deque>

#include <gtest/gtest.h>

#include "common/sha256.hpp"
#include "netplay_test_support.hpp"

namespace lk {
namespace {

using netplay_test::FakeCore;
using netplay_test::RecordingEmitter;

struct Peer {
    Peer(std::uint64_t index, std::uint64_t delay) : session(delay, index, 2, 0) {}
    NetplayRuntimeSession session;
    FakeCore core;
    RecordingEmitter emitter;
    std::size_t relayed = 0;  // events already looked at by the relay
    int stalls = 0;
};

struct InFlight {
    int deliver_at;
    std::uint64_t to;
    std::uint64_t player;
    std::uint64_t frame;
    std::vector<std::uint8_t> payload;
};

// What player p presses while its runner prepares frame f: changes every few
// frames, so a peer's prediction is often wrong.
NetplayPlayerInput scripted_input(std::uint64_t player, std::uint64_t frame) {
    NetplayPlayerInput input;
    input.buttons = static_cast<std::uint16_t>(((frame / (5 + player)) % 3) << (player * 4));
    input.axes[0] = static_cast<std::int16_t>((frame / 11) % 2 == 0 ? 0 : -300);
    return input;
}

struct Simulation {
    // `latency` ticks between a peer emitting an input and the other receiving it.
    Simulation(int latency, std::uint64_t delay) : latency_ticks(latency) {
        peers.emplace_back(std::make_unique<Peer>(0, delay));
        peers.emplace_back(std::make_unique<Peer>(1, delay));
    }

    void tick() {
        for (auto& peer : peers) {
            peer->session.update_server_frame(server_frame);
            peer->session.set_local_input(
                scripted_input(peer->session.local_player_index(), peer->session.current_frame()));
            auto prepared =
                prepare_netplay_frame(peer->session, peer->core, peer->emitter, "s");
            ASSERT_TRUE(prepared.has_value());
            if (std::holds_alternative<NetplayFrameStalled>(*prepared)) {
                ++peer->stalls;
                continue;
            }
            peer->core.apply_inputs(std::get<NetplayFrameReady>(*prepared).inputs);
            ASSERT_TRUE(peer->core.run_frame());
            ASSERT_TRUE(finish_netplay_frame(peer->session, peer->core, peer->emitter, "s"));
        }
        for (std::uint64_t from = 0; from < peers.size(); ++from) {
            const auto& events = peers[from]->emitter.events;
            for (; peers[from]->relayed < events.size(); ++peers[from]->relayed) {
                if (events[peers[from]->relayed]["name"] != "netplayLocalInputFrame") {
                    continue;
                }
                const auto& input = events[peers[from]->relayed]["payload"]["input"];
                const auto frame = input["frame"].get<std::uint64_t>();
                true_inputs[frame][from] =
                    *decode_netplay_input(input["payload"].get<std::vector<std::uint8_t>>());
                in_flight.push_back({now + latency_ticks, 1 - from, from, frame,
                                     input["payload"].get<std::vector<std::uint8_t>>()});
            }
        }
        while (!in_flight.empty() && in_flight.front().deliver_at <= now) {
            const InFlight& message = in_flight.front();
            ASSERT_TRUE(peers[message.to]->session.receive_input_frame(
                message.player, message.frame, message.payload));
            in_flight.pop_front();
        }
        // The server has seen both players' inputs up to the lower of the two.
        std::uint64_t lowest = UINT64_MAX;
        for (const auto& peer : peers) {
            lowest = std::min(lowest, peer->session.current_frame());
        }
        server_frame = lowest;
        ++now;
    }

    // The states a run with the true inputs from the start has before each frame.
    std::map<std::uint64_t, std::vector<std::uint8_t>> reference_states(std::uint64_t frames) {
        FakeCore reference;
        std::map<std::uint64_t, std::vector<std::uint8_t>> states;
        for (std::uint64_t frame = 0; frame < frames; ++frame) {
            EXPECT_TRUE(reference.serialize_state(states[frame]));
            reference.apply_inputs(true_inputs.at(frame));
            EXPECT_TRUE(reference.run_frame());
        }
        return states;
    }

    std::vector<std::unique_ptr<Peer>> peers;
    std::deque<InFlight> in_flight;
    std::map<std::uint64_t, NetplayFrameInputs> true_inputs;
    std::uint64_t server_frame = 0;
    int latency_ticks;
    int now = 0;
};

std::map<std::uint64_t, std::string> hashes_of(const Peer& peer) {
    std::map<std::uint64_t, std::string> hashes;
    for (const auto& event : peer.emitter.named("netplayStateHash")) {
        hashes[event["payload"]["frame"].get<std::uint64_t>()] =
            event["payload"]["sha256"].get<std::string>();
    }
    return hashes;
}

TEST(NetplayFrameDriver, RollbacksReproduceTheRunWithTheTrueInputs) {
    for (int latency : {0, 3, 12}) {
        SCOPED_TRACE(latency);
        Simulation sim(latency, 2);
        for (int i = 0; i < 1300; ++i) {
            sim.tick();
        }
        const auto reference = sim.reference_states(1201);
        std::map<std::uint64_t, std::string> expected_hashes;
        for (std::uint64_t frame : {0u, 600u, 1200u}) {
            expected_hashes[frame] = sha256_hex(reference.at(frame));
        }
        for (const auto& peer : sim.peers) {
            EXPECT_GT(peer->session.current_frame(), 1250u);
            EXPECT_EQ(hashes_of(*peer), expected_hashes);
            // Every state still retained below the verified frame is the true one.
            const auto& cursors = peer->session.cursors();
            for (const auto& [frame, record] : peer->session.frames()) {
                if (frame < cursors.verified_frame && record.state && frame < 1201) {
                    EXPECT_EQ(*record.state, reference.at(frame)) << frame;
                }
            }
            if (latency > 2) {
                // Inputs arrived after their frames ran: rolled back and re-run silently.
                EXPECT_GT(peer->core.unserialize_calls, 0);
                EXPECT_GT(peer->core.suppressed_frames, 0);
            } else {
                EXPECT_EQ(peer->core.unserialize_calls, 0);
            }
            EXPECT_FALSE(peer->core.suppressed);
        }
    }
}

TEST(NetplayFrameDriver, DivergingCoresShowDifferentStateHashes) {
    Simulation sim(3, 2);
    sim.peers[1]->core.desync_from_frame = 300;
    for (int i = 0; i < 650; ++i) {
        sim.tick();
    }
    const auto a = hashes_of(*sim.peers[0]);
    const auto b = hashes_of(*sim.peers[1]);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(a.at(0), b.at(0));
    EXPECT_NE(a.at(600), b.at(600));
}

TEST(NetplayFrameDriver, APeerThatFallsBehindStallsTheOther) {
    Simulation sim(0, 1);
    // Peer 1 stops relaying: peer 0 runs 60 frames past the server and stalls.
    for (int i = 0; i < 100; ++i) {
        sim.peers[0]->session.update_server_frame(0);
        sim.peers[0]->session.set_local_input(scripted_input(0, 0));
        auto prepared = prepare_netplay_frame(sim.peers[0]->session, sim.peers[0]->core,
                                              sim.peers[0]->emitter, "s");
        ASSERT_TRUE(prepared.has_value());
        if (std::holds_alternative<NetplayFrameStalled>(*prepared)) {
            ++sim.peers[0]->stalls;
            continue;
        }
        sim.peers[0]->core.apply_inputs(std::get<NetplayFrameReady>(*prepared).inputs);
        ASSERT_TRUE(sim.peers[0]->core.run_frame());
        ASSERT_TRUE(finish_netplay_frame(sim.peers[0]->session, sim.peers[0]->core,
                                         sim.peers[0]->emitter, "s"));
    }
    EXPECT_EQ(sim.peers[0]->session.current_frame(), 61u);  // lead 60 from v = 1
    EXPECT_EQ(sim.peers[0]->stalls, 100 - 61);
    EXPECT_EQ(sim.peers[0]->core.frame, 61u);
}

TEST(NetplayFrameDriver, ReplayFailuresAreReportedAndOutputIsRestored) {
    struct Case {
        const char* name;
        NetplayReplayStart start;
        bool refuse;
        std::optional<std::uint64_t> fail_at;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"empty state", {{}, 0}, false, std::nullopt, "save state payload is empty"},
        {"rejected", {std::vector<std::uint8_t>(16, 0), 0}, true, std::nullopt,
         "core rejected save state payload"},
        {"frame fails", {std::vector<std::uint8_t>(16, 0), 0}, false, 1, "frame failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NetplayRuntimeSession session(0, 0, 1, 0);
        for (int i = 0; i < 3; ++i) {
            session.advance_current_frame();
        }
        FakeCore core;
        core.refuse_unserialize = c.refuse;
        core.fail_run_at_frame = c.fail_at;
        auto replayed = replay_netplay_frames(session, core, c.start);
        ASSERT_FALSE(replayed.has_value());
        EXPECT_EQ(replayed.error().message(), c.message);
        EXPECT_FALSE(core.suppressed);
        EXPECT_EQ(session.cursors().verified_frame, 0u);
    }
}

TEST(NetplayFrameDriver, AHashEmitFailureIsReturnedAndTheWindowStillPruned) {
    NetplayRuntimeSession session(0, 0, 1, 0);
    FakeCore core;
    RecordingEmitter emitter;
    session.update_server_frame(10);
    auto prepared = prepare_netplay_frame(session, core, emitter, "s");
    ASSERT_TRUE(prepared.has_value());
    ASSERT_TRUE(core.run_frame());
    emitter.fail_next = true;
    auto finished = finish_netplay_frame(session, core, emitter, "s");
    ASSERT_FALSE(finished.has_value());
    EXPECT_EQ(finished.error().message(), "stdout closed");
    EXPECT_EQ(session.current_frame(), 1u);
}

}  // namespace
}  // namespace lk
