#include "controller_metadata/controller_metadata_record.hpp"

#include <string>

#include <gtest/gtest.h>

#include "controller_metadata/gamepad_uuid.hpp"
#include "protocol/event_payloads.hpp"

namespace lk {
namespace {

GamepadUuid uuid_with_bus(std::uint8_t low, std::uint8_t high) {
    GamepadUuid uuid = make_gamepad_uuid(0, 0x045e, 0x02e0, 0x0903);
    uuid[0] = low;
    uuid[1] = high;
    return uuid;
}

TEST(FormatUuid, IsNullForAllZeroBytes) {
    EXPECT_EQ(format_uuid(GamepadUuid{}), std::nullopt);
}

TEST(FormatUuid, WritesEveryByteAsTwoLowercaseHexDigits) {
    GamepadUuid uuid{};
    for (std::size_t i = 0; i < uuid.size(); ++i) {
        uuid[i] = static_cast<std::uint8_t>(i * 0x11);
    }
    EXPECT_EQ(format_uuid(uuid), "00112233445566778899aabbccddeeff");
    GamepadUuid last_byte_only{};
    last_byte_only[15] = 0x0a;
    EXPECT_EQ(format_uuid(last_byte_only), "0000000000000000000000000000000a");
}

TEST(FormatBatteryLabel, DependsOnThePowerState) {
    using enum GamepadPowerState;
    EXPECT_EQ(format_battery_label({discharging, 42}), "42%");
    EXPECT_EQ(format_battery_label({discharging, 0}), "0%");
    EXPECT_EQ(format_battery_label({charging, 42}), "42% charging");
    EXPECT_EQ(format_battery_label({charged, 0}), "100%");
    EXPECT_EQ(format_battery_label({unknown, 42}), std::nullopt);
    EXPECT_EQ(format_battery_label({wired, 42}), std::nullopt);
}

TEST(GamepadUuid, LaysOutBusVendorProductAndVersionAsLittleEndianFields) {
    const GamepadUuid expected{0x05, 0x00, 0x00, 0x00, 0x5e, 0x04, 0x00, 0x00,
                               0xe0, 0x02, 0x00, 0x00, 0x03, 0x09, 0x00, 0x00};
    EXPECT_EQ(make_gamepad_uuid(0x0005, 0x045e, 0x02e0, 0x0903), expected);
}

TEST(ControllerTransport, ReadsBothBusTypeBytes) {
    EXPECT_EQ(controller_transport(uuid_with_bus(0x03, 0x00)), "usb");
    EXPECT_EQ(controller_transport(uuid_with_bus(0x05, 0x00)), "bluetooth");
    EXPECT_EQ(controller_transport(uuid_with_bus(0x03, 0x01)), "unknown");
    EXPECT_EQ(controller_transport(uuid_with_bus(0x06, 0x00)), "unknown");
    EXPECT_EQ(controller_transport(GamepadUuid{}), "unknown");
}

struct RecordCase {
    const char* description;
    GamepadInfo gamepad;
    const char* expected_json;
};

GamepadInfo pad(GamepadUuid uuid, std::optional<std::uint16_t> vendor,
                std::optional<std::uint16_t> product, GamepadPower power) {
    return GamepadInfo{.id = 7,
                       .name = "Pad: One",
                       .uuid = uuid,
                       .vendor_id = vendor,
                       .product_id = product,
                       .connected = true,
                       .power = power};
}

const GamepadUuid kUsb = make_gamepad_uuid(3, 0x045e, 0x02e0, 0x0903);
const GamepadUuid kBluetooth = make_gamepad_uuid(5, 0x045e, 0x02e0, 0x0903);

TEST(MakeControllerMetadataRecord, FillsEveryFieldFromTheGamepad) {
    using enum GamepadPowerState;
    const RecordCase cases[] = {
        {"usb pad discharging", pad(kUsb, 0x45e, 0x2e0, {discharging, 42}),
         R"({"batteryLabel":"42%",
             "hardwareId":"evdev:030000005e040000e002000003090000:045e:02e0:Pad: One",
             "isConnected":true,"name":"Pad: One","nativeId":"evdev:7","powerPercent":42,
             "powerState":"discharging","productId":"02e0","provider":"evdev","transport":"usb",
             "uuid":"030000005e040000e002000003090000","vendorId":"045e"})"},
        {"all-zero uuid, no vendor or product ids, unknown power",
         pad(GamepadUuid{}, std::nullopt, std::nullopt, {unknown, 0}),
         R"({"batteryLabel":null,
             "hardwareId":"evdev:unknown-uuid:unknown-vendor:unknown-product:Pad: One",
             "isConnected":true,"name":"Pad: One","nativeId":"evdev:7","powerPercent":null,
             "powerState":"unknown","productId":null,"provider":"evdev","transport":"unknown",
             "uuid":null,"vendorId":null})"},
        {"bluetooth pad charging", pad(kBluetooth, 0x45e, 0x2e0, {charging, 7}),
         R"({"batteryLabel":"7% charging",
             "hardwareId":"evdev:050000005e040000e002000003090000:045e:02e0:Pad: One",
             "isConnected":true,"name":"Pad: One","nativeId":"evdev:7","powerPercent":7,
             "powerState":"charging","productId":"02e0","provider":"evdev",
             "transport":"bluetooth","uuid":"050000005e040000e002000003090000",
             "vendorId":"045e"})"},
    };
    for (const RecordCase& c : cases) {
        const OrderedJson actual = make_controller_metadata_record(c.gamepad);
        EXPECT_EQ(actual, OrderedJson::parse(c.expected_json)) << c.description;
    }
}

struct PowerCase {
    const char* description;
    GamepadUuid uuid;
    GamepadPower power;
    const char* state;
    std::optional<std::uint8_t> percent;
    std::optional<std::string> label;
};

TEST(MakeControllerMetadataRecord, ReportsPower) {
    using enum GamepadPowerState;
    const PowerCase cases[] = {
        {"charged", kUsb, {charged, 0}, "charged", 100, "100%"},
        {"wired usb pad", kUsb, {wired, 0}, "wired", std::nullopt, std::nullopt},
        {"wired reading of a bluetooth pad",
         kBluetooth,
         {wired, 0},
         "unknown",
         std::nullopt,
         std::nullopt},
        {"discharging bluetooth pad", kBluetooth, {discharging, 42}, "discharging", 42, "42%"},
        {"unknown power", kUsb, {unknown, 55}, "unknown", std::nullopt, std::nullopt},
        {"percentage beyond 100", kUsb, {charging, 250}, "charging", 100, "100% charging"},
    };
    for (const PowerCase& c : cases) {
        const NativeControllerMetadataPayload record =
            make_controller_metadata_record(pad(c.uuid, 1, 2, c.power));
        EXPECT_EQ(record.power_state, c.state) << c.description;
        EXPECT_EQ(record.power_percent, c.percent) << c.description;
        EXPECT_EQ(record.battery_label, c.label) << c.description;
    }
}

TEST(MakeControllerMetadataRecord, CopiesTheConnectedFlagAndWritesTheIdInDecimal) {
    GamepadInfo gamepad = pad(kUsb, 1, 2, {});
    gamepad.id = 4294967295u;
    gamepad.connected = false;
    const NativeControllerMetadataPayload record = make_controller_metadata_record(gamepad);
    EXPECT_FALSE(record.is_connected);
    EXPECT_EQ(record.native_id, "evdev:4294967295");
    EXPECT_EQ(record.vendor_id, "0001");
    EXPECT_EQ(record.product_id, "0002");
}

}  // namespace
}  // namespace lk
