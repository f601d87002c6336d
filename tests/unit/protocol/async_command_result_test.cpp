#include "protocol/async_command_result.hpp"

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace lk {
namespace {

class RecordingEmitter final : public RunnerEventEmitter {
  public:
    Status emit_event(std::string_view name, const OrderedJson& payload) override {
        const std::lock_guard lock(mutex);
        events.push_back(OrderedJson{{"name", name}, {"payload", payload}}.dump());
        return {};
    }
    Status emit_serialized_event(std::string_view envelope) override {
        const std::lock_guard lock(mutex);
        events.emplace_back(envelope);
        return {};
    }
    std::mutex mutex;
    std::vector<std::string> events;
};

TEST(AsyncCommandResult, RepliesForEachWayTheResultCanEnd) {
    struct Case {
        const char* name;
        std::function<PendingClipResult()> make;
        std::vector<std::string> events;
    };
    const std::vector<Case> cases = {
        {"success",
         [] {
             auto [tx, rx] = make_oneshot<ClipResult>();
             tx.send(ClipRecordingResultPayload{12.5});
             return std::move(rx);
         },
         {R"({"name":"commandSucceeded","payload":{"commandName":"saveReplayClip","requestId":"r1","result":{"durationSeconds":12.5}}})"}},
        {"error",
         [] { return ready_clip_error(Error("Encoder failed.")); },
         {R"({"name":"error","payload":{"code":"RUNNER_COMMAND_FAILED","message":"Encoder failed."}})",
          R"({"name":"commandFailed","payload":{"commandName":"saveReplayClip","message":"Encoder failed.","requestId":"r1"}})"}},
        {"dropped",
         [] {
             auto [tx, rx] = make_oneshot<ClipResult>();
             return std::move(rx);  // sender dropped here without a value
         },
         {R"({"name":"error","payload":{"code":"RUNNER_COMMAND_FAILED","message":"Runner command reply channel closed."}})",
          R"({"name":"commandFailed","payload":{"commandName":"saveReplayClip","message":"Runner command reply channel closed.","requestId":"r1"}})"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingEmitter emitter;
        auto pending = c.make();
        async_command_result::reply_when_ready("saveReplayClip", "r1", pending, emitter);
        EXPECT_EQ(emitter.events, c.events);
    }
}

TEST(AsyncCommandResult, SpawnAnswersLaterFromItsOwnThread) {
    auto emitter = std::make_shared<RecordingEmitter>();
    auto [tx, rx] = make_oneshot<ClipResult>();
    async_command_result::spawn("stopClipRecording", "r2", std::move(rx), emitter);
    {
        const std::lock_guard lock(emitter->mutex);
        EXPECT_TRUE(emitter->events.empty());
    }
    tx.send(ClipRecordingResultPayload{3.0});
    for (int i = 0; i < 500; ++i) {
        {
            const std::lock_guard lock(emitter->mutex);
            if (!emitter->events.empty()) {
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::lock_guard lock(emitter->mutex);
    ASSERT_EQ(emitter->events.size(), 1u);
    EXPECT_NE(emitter->events[0].find(R"("requestId":"r2","result":{"durationSeconds":3.0})"),
              std::string::npos);
}

}  // namespace
}  // namespace lk
