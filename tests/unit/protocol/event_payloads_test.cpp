#include "protocol/event_payloads.hpp"

#include <gtest/gtest.h>

#include "protocol/stdout_runner_event_emitter.hpp"

namespace lk {
namespace {

EmulatorSessionSnapshot snapshot() {
    EmulatorSessionSnapshot s;
    s.core_id = "mgba";
    s.core_graphics_profile = "native";
    s.game_id = "g";
    s.platform_id = "gba";
    s.run_state = "running";
    s.session_id = "req-1";
    s.source = FileRomSource{"/r.gba"};
    s.title = "T";
    return s;
}

TEST(EventPayloads, SnapshotOmitsItsThreeOptionalKeysOnlyWhenAbsent) {
    auto s = snapshot();
    EXPECT_EQ(
        OrderedJson(s).dump(),
        R"({"coreId":"mgba","coreGraphicsProfile":"native","gameId":"g","platformId":"gba","runState":"running","sessionId":"req-1","source":{"kind":"file","filePath":"/r.gba"},"title":"T"})");
    s.save_data_mode = "local";
    s.netplay_player_index = 18446744073709551615ULL;
    s.netplay_session_key = "k";
    s.source = ZipEntryRomSource{"/a.zip", "g.gba"};
    EXPECT_EQ(
        OrderedJson(s).dump(),
        R"({"coreId":"mgba","coreGraphicsProfile":"native","gameId":"g","platformId":"gba","runState":"running","saveDataMode":"local","sessionId":"req-1","netplayPlayerIndex":18446744073709551615,"netplaySessionKey":"k","source":{"kind":"zipEntry","archivePath":"/a.zip","entryPath":"g.gba"},"title":"T"})");
}

TEST(EventPayloads, OtherOptionalValuesAreWrittenAsNull) {
    EXPECT_EQ(OrderedJson(RomClosedEventPayload{}).dump(), R"({"sessionId":null})");
    DiscControlSnapshot disc;
    disc.supported = true;
    disc.current_image_index = 1;
    disc.images = {{0, "Disc 1", std::nullopt}, {1, std::nullopt, "/d2.cue"}};
    EXPECT_EQ(
        OrderedJson(disc).dump(),
        R"({"currentImageIndex":1,"ejected":false,"images":[{"imageIndex":0,"label":"Disc 1","path":null},{"imageIndex":1,"label":null,"path":"/d2.cue"}],"supported":true})");
    NativeControllerMetadataSnapshotPayload pads;
    pads.provider = "evdev";
    pads.controllers.push_back({});
    pads.controllers[0].power_percent = 42;
    EXPECT_EQ(
        OrderedJson(pads).dump(),
        R"({"controllers":[{"batteryLabel":null,"hardwareId":"","isConnected":false,"name":"","nativeId":"","powerPercent":42,"powerState":"","productId":null,"provider":"","transport":"","uuid":null,"vendorId":null}],"error":null,"provider":"evdev","providerAvailable":false})");
}

TEST(EventPayloads, EnvelopeIsCompactWithNameFirst) {
    EXPECT_EQ(serialize_event_envelope("pong", OrderedJson(PongEventPayload{"t", "r"})),
              R"({"name":"pong","payload":{"issuedAt":"t","requestId":"r"}})");
    // Text that is not UTF-8 never makes an event unwritable.
    EXPECT_EQ(
        serialize_event_envelope("error", OrderedJson(RunnerErrorEventPayload{"C", "bad \xFF"})),
        "{\"name\":\"error\",\"payload\":{\"code\":\"C\",\"message\":\"bad \xEF\xBF\xBD\"}}");
}

}  // namespace
}  // namespace lk
