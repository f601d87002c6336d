// Runs under umockdev-run, which fakes sysfs, the udev database, /dev nodes and
// their ioctls from the files in tests/fixtures/umockdev:
//   - a Bluetooth pad (event10, with a js0 node) whose battery discharges at 42%;
//   - a USB pad (event11) whose battery charges at 80%;
//   - a USB pad without a battery (event12) and without an ioctl record, so only
//     its sysfs attributes describe it;
//   - a keyboard and a laptop battery, which belong to no pad.
// The first two pads carry no id attributes in sysfs: only libevdev's ioctls
// can name them.

#include <glib.h>
#include <umockdev.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "controller_metadata/controller_metadata_provider.hpp"
#include "protocol/event_payloads.hpp"

namespace lk {
namespace {

const std::string kFixtures = LK_UMOCKDEV_FIXTURE_DIR;

const char* const kPads = R"([
  {"batteryLabel":"80% charging",
   "hardwareId":"evdev:0300000009120000020a000011010000:1209:0a02:Lumenkite USB Pad",
   "isConnected":true,"name":"Lumenkite USB Pad","nativeId":"evdev:0","powerPercent":80,
   "powerState":"charging","productId":"0a02","provider":"evdev","transport":"usb",
   "uuid":"0300000009120000020a000011010000","vendorId":"1209"},
  {"batteryLabel":null,
   "hardwareId":"evdev:0300000009120000030a000010010000:1209:0a03:Lumenkite Wired Pad",
   "isConnected":true,"name":"Lumenkite Wired Pad","nativeId":"evdev:1","powerPercent":null,
   "powerState":"wired","productId":"0a03","provider":"evdev","transport":"usb",
   "uuid":"0300000009120000030a000010010000","vendorId":"1209"},
  {"batteryLabel":"42%",
   "hardwareId":"evdev:0500000009120000010a000003090000:1209:0a01:Lumenkite Bluetooth Pad",
   "isConnected":true,"name":"Lumenkite Bluetooth Pad","nativeId":"evdev:2","powerPercent":42,
   "powerState":"discharging","productId":"0a01","provider":"evdev","transport":"bluetooth",
   "uuid":"0500000009120000010a000003090000","vendorId":"1209"}
])";

TEST(EvdevGamepadLibrary, ReportsTheJoysticksWithTheirIdsAndBatteries) {
    ASSERT_TRUE(umockdev_in_mock_environment()) << "run this test under umockdev-run";
    ControllerMetadataProvider provider;
    OrderedJson expected = OrderedJson::parse(
        R"({"controllers":[],"error":null,"provider":"evdev","providerAvailable":true})");
    expected["controllers"] = OrderedJson::parse(kPads);

    EXPECT_EQ(OrderedJson(provider.snapshot_controller_metadata()), expected);
    // Without events the view, ids included, stays as it is.
    EXPECT_EQ(OrderedJson(provider.snapshot_controller_metadata()), expected);
}

// (nativeId, name, batteryLabel or "-") of every pad in a snapshot.
using Pads = std::vector<std::tuple<std::string, std::string, std::string>>;

Pads pads_of(ControllerMetadataProvider& provider) {
    Pads pads;
    for (const auto& c : provider.snapshot_controller_metadata().controllers) {
        pads.emplace_back(c.native_id, c.name, c.battery_label.value_or("-"));
    }
    return pads;
}

// Hot-plugging needs uevents, which only a testbed of our own can send. It is
// built from the same fixture files and replaces the one of umockdev-run for
// the duration of one test.
class EvdevGamepadHotplug : public ::testing::Test {
  protected:
    // The HID device of the USB pad with a battery.
    static constexpr const char* kUsbPadHid =
        "/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.3/0003:1209:0A02.0002";
    static constexpr const char* kBluetoothBattery =
        "/sys/devices/virtual/misc/uhid/0005:1209:0A01.0001/power_supply/lumenkite_pad_battery_0";

    void SetUp() override {
        ASSERT_TRUE(umockdev_in_mock_environment()) << "run this test under umockdev-run";
        const char* ambient = std::getenv("UMOCKDEV_DIR");
        ambient_dir_ = ambient != nullptr ? ambient : "";
        testbed_ = umockdev_testbed_new();
        ASSERT_TRUE(succeeded(umockdev_testbed_add_from_file(
            testbed_, (kFixtures + "/pads.umockdev").c_str(), &error_)));
        load_ioctl("/dev/input/event10", "bluetooth_pad.ioctl");
        load_ioctl("/dev/input/event11", "usb_battery_pad.ioctl");
    }

    void TearDown() override {
        if (testbed_ != nullptr) {
            g_object_unref(testbed_);
        }
        // Dropping a testbed clears UMOCKDEV_DIR; give the ambient one back.
        setenv("UMOCKDEV_DIR", ambient_dir_.c_str(), 1);
    }

    bool succeeded(gboolean ok) {
        if (!ok && error_ != nullptr) {
            ADD_FAILURE() << error_->message;
            g_clear_error(&error_);
        }
        return ok != FALSE;
    }

    void load_ioctl(const char* devnode, const char* file) {
        ASSERT_TRUE(succeeded(umockdev_testbed_load_ioctl(
            testbed_, devnode, (kFixtures + "/" + file).c_str(), &error_)));
    }

    // Adds input device N of the USB pad with its event node eventN.
    void plug_usb_pad(int n) {
        const std::string input = fmt::format("{}/input/input{}", kUsbPadHid, n);
        const std::string description = fmt::format(
            "P: {0}/event{1}\nN: input/event{1}\nE: DEVNAME=/dev/input/event{1}\n"
            "E: ID_INPUT=1\nE: ID_INPUT_JOYSTICK=1\nE: SUBSYSTEM=input\nA: dev=13:{2}\n\n"
            "P: {0}\nE: ID_INPUT=1\nE: ID_INPUT_JOYSTICK=1\nE: SUBSYSTEM=input\n"
            "A: name=Lumenkite USB Pad\n",
            input, n, 64 + n);
        ASSERT_TRUE(
            succeeded(umockdev_testbed_add_from_string(testbed_, description.c_str(), &error_)));
        load_ioctl(fmt::format("/dev/input/event{}", n).c_str(), "usb_battery_pad.ioctl");
        umockdev_testbed_uevent(testbed_, fmt::format("/sys{}/event{}", input, n).c_str(), "add");
    }

    void unplug_usb_pad(int n) {
        const std::string input = fmt::format("/sys{}/input/input{}", kUsbPadHid, n);
        const std::string event = fmt::format("{}/event{}", input, n);
        umockdev_testbed_uevent(testbed_, event.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_, event.c_str());
        umockdev_testbed_remove_device(testbed_, input.c_str());
    }

    UMockdevTestbed* testbed_ = nullptr;
    GError* error_ = nullptr;
    std::string ambient_dir_;
};

TEST_F(EvdevGamepadHotplug, FollowsBatteryChangesRemovalsAndArrivals) {
    ControllerMetadataProvider provider;
    EXPECT_EQ(pads_of(provider), (Pads{{"evdev:0", "Lumenkite USB Pad", "80% charging"},
                                       {"evdev:1", "Lumenkite Wired Pad", "-"},
                                       {"evdev:2", "Lumenkite Bluetooth Pad", "42%"}}));

    umockdev_testbed_set_attribute(testbed_, kBluetoothBattery, "capacity", "17");
    umockdev_testbed_set_property(testbed_, kBluetoothBattery, "POWER_SUPPLY_CAPACITY", "17");
    umockdev_testbed_uevent(testbed_, kBluetoothBattery, "change");
    EXPECT_EQ(pads_of(provider), (Pads{{"evdev:0", "Lumenkite USB Pad", "80% charging"},
                                       {"evdev:1", "Lumenkite Wired Pad", "-"},
                                       {"evdev:2", "Lumenkite Bluetooth Pad", "17%"}}));

    unplug_usb_pad(11);
    EXPECT_EQ(pads_of(provider), (Pads{{"evdev:1", "Lumenkite Wired Pad", "-"},
                                       {"evdev:2", "Lumenkite Bluetooth Pad", "17%"}}));

    // Plugged in again, the pad comes back as new input devices and gets a new id.
    plug_usb_pad(13);
    EXPECT_EQ(pads_of(provider), (Pads{{"evdev:1", "Lumenkite Wired Pad", "-"},
                                       {"evdev:2", "Lumenkite Bluetooth Pad", "17%"},
                                       {"evdev:3", "Lumenkite USB Pad", "80% charging"}}));
}

}  // namespace
}  // namespace lk
