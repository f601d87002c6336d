#include "controller_metadata/controller_metadata_provider.hpp"

#include <deque>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "controller_metadata/gamepad_library.hpp"
#include "controller_metadata/gamepad_uuid.hpp"
#include "protocol/event_payloads.hpp"

namespace lk {
namespace {

// A library whose view changes only as its events are taken: each pending
// event carries the list of pads that it brings about.
struct FakeLibraryState {
    std::vector<GamepadInfo> view;
    std::deque<std::vector<GamepadInfo>> pending;
    int events_taken = 0;
};

class FakeGamepadLibrary final : public GamepadLibrary {
  public:
    explicit FakeGamepadLibrary(std::shared_ptr<FakeLibraryState> state)
        : state_(std::move(state)) {}

    std::optional<GamepadEvent> take_next_event() override {
        if (state_->pending.empty()) {
            return std::nullopt;
        }
        state_->view = std::move(state_->pending.front());
        state_->pending.pop_front();
        ++state_->events_taken;
        return GamepadEvent{GamepadEventKind::changed};
    }

    [[nodiscard]] std::vector<GamepadInfo> connected_gamepads() const override {
        return state_->view;
    }

  private:
    std::shared_ptr<FakeLibraryState> state_;
};

GamepadInfo pad(std::uint32_t id, std::string name) {
    return GamepadInfo{.id = id,
                       .name = std::move(name),
                       .uuid = make_gamepad_uuid(3, 0x1209, 0x0a00, 0x0100),
                       .vendor_id = 0x1209,
                       .product_id = 0x0a00,
                       .connected = true,
                       .power = {GamepadPowerState::wired, 0}};
}

std::vector<std::string> native_ids(const NativeControllerMetadataSnapshotPayload& snapshot) {
    std::vector<std::string> ids;
    for (const auto& controller : snapshot.controllers) {
        ids.push_back(controller.native_id);
    }
    return ids;
}

TEST(ControllerMetadataProvider, TakesEveryPendingEventBeforeListingPads) {
    auto state = std::make_shared<FakeLibraryState>();
    state->view = {pad(0, "First")};
    state->pending = {{pad(0, "First"), pad(1, "Second")}, {pad(1, "Second"), pad(2, "Third")}};
    ControllerMetadataProvider provider(std::make_unique<FakeGamepadLibrary>(state));

    const NativeControllerMetadataSnapshotPayload snapshot =
        provider.snapshot_controller_metadata();

    EXPECT_EQ(state->events_taken, 2);
    EXPECT_TRUE(state->pending.empty());
    EXPECT_EQ(native_ids(snapshot), (std::vector<std::string>{"evdev:1", "evdev:2"}));
    EXPECT_TRUE(snapshot.provider_available);
    EXPECT_EQ(snapshot.error, std::nullopt);
    EXPECT_EQ(snapshot.provider, "evdev");
}

TEST(ControllerMetadataProvider, KeepsTheLibrarysOrderAcrossSnapshots) {
    auto state = std::make_shared<FakeLibraryState>();
    state->view = {pad(5, "Late"), pad(2, "Early")};
    ControllerMetadataProvider provider(std::make_unique<FakeGamepadLibrary>(state));

    EXPECT_EQ(native_ids(provider.snapshot_controller_metadata()),
              (std::vector<std::string>{"evdev:5", "evdev:2"}));
    state->pending = {{pad(2, "Early")}};
    EXPECT_EQ(native_ids(provider.snapshot_controller_metadata()),
              (std::vector<std::string>{"evdev:2"}));
}

TEST(ControllerMetadataProvider, ReportsAnEmptyListWhenNoPadIsAttached) {
    ControllerMetadataProvider provider(
        std::make_unique<FakeGamepadLibrary>(std::make_shared<FakeLibraryState>()));
    const OrderedJson snapshot = provider.snapshot_controller_metadata();
    EXPECT_EQ(snapshot, OrderedJson::parse(R"({"controllers":[],"error":null,"provider":"evdev",
                                               "providerAvailable":true})"));
}

TEST(ControllerMetadataProvider, ReportsTheOpeningFailureInEverySnapshot) {
    ControllerMetadataProvider provider(
        Error("Could not create the udev context (out of memory)."));
    const OrderedJson expected = OrderedJson::parse(
        R"({"controllers":[],"error":"Could not create the udev context (out of memory).",
            "provider":"evdev","providerAvailable":false})");
    EXPECT_EQ(OrderedJson(provider.snapshot_controller_metadata()), expected);
    EXPECT_EQ(OrderedJson(provider.snapshot_controller_metadata()), expected);
}

TEST(ControllerMetadataProvider, IsUnavailableWithoutADescriptionWhenGivenNoLibrary) {
    ControllerMetadataProvider provider(std::unique_ptr<GamepadLibrary>{});
    const NativeControllerMetadataSnapshotPayload snapshot =
        provider.snapshot_controller_metadata();
    EXPECT_FALSE(snapshot.provider_available);
    EXPECT_EQ(snapshot.error, std::nullopt);
    EXPECT_TRUE(snapshot.controllers.empty());
}

}  // namespace
}  // namespace lk
