#include "runtime/libretro_runtime_handle.hpp"

#include <atomic>
#include <future>
#include <stdexcept>

#include <gtest/gtest.h>

namespace lk {
namespace {

namespace rc = runtime_command;

// A stand-in runtime thread: answers commands with `answer` until Shutdown.
template <class Answer>
LibretroRuntimeHandle start_fake_runtime(Answer answer) {
    auto [commands, receiver] = make_channel<LibretroRuntimeCommand>();
    RuntimeThread thread([rx = std::move(receiver), answer]() mutable {
        while (auto command = rx.recv()) {
            if (auto* shutdown = std::get_if<rc::Shutdown>(&*command)) {
                rx.close();
                shutdown->reply.send(std::monostate{});
                return;
            }
            if (!answer(*command)) {
                rx.close();  // the runtime ends: its channel goes before the dropped reply
                return;
            }
        }
    });
    return LibretroRuntimeHandle(std::move(commands), std::move(thread));
}

TEST(LibretroRuntimeHandle, RepliesTravelBackTyped) {
    std::vector<std::string> seen;
    auto handle = start_fake_runtime([&](LibretroRuntimeCommand& command) {
        std::visit(
            [&](auto& c) {
                using C = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<C, rc::SaveState>) {
                    seen.push_back(c.state_path + "|" + c.preview_path);
                    c.reply.send(std::monostate{});
                } else if constexpr (std::is_same_v<C, rc::LoadState>) {
                    c.reply.send(std::unexpected(Error("The core rejected the state.")));
                } else if constexpr (std::is_same_v<C, rc::SetDiscImage>) {
                    DiscControlSnapshot snapshot;
                    snapshot.supported = true;
                    snapshot.current_image_index = c.image_index;
                    c.reply.send(snapshot);
                } else if constexpr (std::is_same_v<C, rc::SetInputState>) {
                    seen.push_back("input " + std::to_string(c.input.joypad_masks[0]));
                }
            },
            command);
        return true;
    });
    MappedInputState input;
    input.joypad_masks[0] = 0x100;
    ASSERT_TRUE(handle.send(rc::SetInputState{input, {}}));
    ASSERT_TRUE(handle.save_state("/s", "/p"));
    auto rejected = handle.load_state("/s");
    ASSERT_FALSE(rejected);
    EXPECT_EQ(rejected.error().display(), "The core rejected the state.");
    auto disc = handle.set_disc_image(2);
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->current_image_index, 2u);
    EXPECT_TRUE(handle.shutdown());
    // Input sent before a request took effect before it.
    EXPECT_EQ(seen, (std::vector<std::string>{"input 256", "/s|/p"}));
}

TEST(LibretroRuntimeHandle, AGoneRuntimeIsReportedWithTheChannelTexts) {
    // The runtime drops an unanswered request and then ends on its own.
    auto handle = start_fake_runtime([](LibretroRuntimeCommand&) { return false; });
    auto lost = handle.pause();
    ASSERT_FALSE(lost);
    EXPECT_EQ(lost.error().display(), "Libretro runtime reply channel closed.");
    auto closed = handle.resume();
    ASSERT_FALSE(closed);
    EXPECT_EQ(closed.error().display(), "Libretro runtime command channel closed.");
    auto clip = handle.save_replay_clip_async("/o.mp4", 10, "/t.png");
    ASSERT_FALSE(clip);
    EXPECT_EQ(clip.error().display(), "Libretro runtime command channel closed.");
    // Dropping the handle now neither blocks nor reports anything.
}

TEST(LibretroRuntimeHandle, RequestsQueuedBehindShutdownAreNeverRun) {
    auto [commands, receiver] = make_channel<LibretroRuntimeCommand>();
    std::atomic<int> saved{0};
    std::promise<void> both_queued;
    RuntimeThread thread(
        [rx = std::move(receiver), &saved, queued = both_queued.get_future()]() mutable {
            queued.wait();  // Shutdown and the save state are both in the channel
            while (auto command = rx.recv()) {
                if (auto* shutdown = std::get_if<rc::Shutdown>(&*command)) {
                    rx.close();  // the queued save state is dropped unanswered
                    shutdown->reply.send(std::monostate{});
                    return;
                }
                ++saved;
            }
        });
    LibretroRuntimeHandle handle(commands, std::move(thread));
    auto [reply, save_receiver] = make_oneshot<Result<std::monostate>>();
    auto [shutdown_reply, shutdown_receiver] = make_oneshot<Result<std::monostate>>();
    ASSERT_TRUE(handle.send(rc::Shutdown{std::move(shutdown_reply)}));
    ASSERT_TRUE(handle.send(rc::SaveState{std::move(reply), "/s", "/p"}));
    both_queued.set_value();
    EXPECT_TRUE(receive_reply(shutdown_receiver));
    auto never = receive_reply(save_receiver);
    ASSERT_FALSE(never);
    EXPECT_EQ(never.error().display(), "Libretro runtime reply channel closed.");
    EXPECT_EQ(saved.load(), 0);
}

TEST(LibretroRuntimeHandle, AThreadThatEndedAbnormallyIsReportedAtShutdown) {
    auto [commands, receiver] = make_channel<LibretroRuntimeCommand>();
    RuntimeThread thread([rx = std::move(receiver)]() mutable {
        auto command = rx.recv();
        std::get<rc::Shutdown>(*command).reply.send(std::monostate{});
        throw std::runtime_error("frame loop failed");
    });
    LibretroRuntimeHandle handle(std::move(commands), std::move(thread));
    testing::internal::CaptureStderr();
    auto result = handle.shutdown();
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().display(), "Libretro runtime thread panicked.");
    EXPECT_NE(log.find("[lumenkite-runner] panic: runtime thread: frame loop failed"),
              std::string::npos);
    // A second shutdown is harmless.
    auto again = handle.shutdown();
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().display(), "Libretro runtime command channel closed.");
}

}  // namespace
}  // namespace lk
