#include "libretro/disc_control.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fixtures.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/core_api.hpp"
#include "libretro/environment_callback.hpp"
#include "libretro/game_load_request.hpp"

namespace lk {
namespace {

using callback_bridge::disc_control_snapshot;
using callback_bridge::set_disc_image_index;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;

using Text = std::optional<std::string>;
using ImageRow = std::tuple<std::uint32_t, Text, Text>;  // index, label, path

std::vector<ImageRow> rows(const DiscControlSnapshot& snapshot) {
    std::vector<ImageRow> result;
    for (const auto& image : snapshot.images) {
        result.emplace_back(image.image_index, image.label, image.path);
    }
    return result;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

void expect_unsupported(const DiscControlSnapshot& snapshot) {
    EXPECT_FALSE(snapshot.supported);
    EXPECT_FALSE(snapshot.ejected);
    EXPECT_FALSE(snapshot.current_image_index.has_value());
    EXPECT_THAT(snapshot.images, IsEmpty());
}

// Every test starts and ends with an empty callback state.
class DiscControlTest : public ::testing::Test {
  protected:
    void SetUp() override { callback_bridge::reset(); }
    void TearDown() override { callback_bridge::reset(); }
};

// Our fixture core with a game loaded through the real environment callback,
// so its disc table arrives exactly as a core hands it over. Unloads and
// deinitialises on scope exit.
class FixtureCore {
  public:
    explicit FixtureCore(std::string_view rom_text) : api_(load()) {
        api_.retro_set_environment(&callback_bridge::environment_callback);
        api_.retro_init();
        auto request = GameLoadRequest::from_path(dir_.write("game.lktest", rom_text), false);
        if (!request) {
            throw std::runtime_error(request.error().display_chain());
        }
        request_.emplace(std::move(*request));
        if (auto loaded = api_.load_game(*request_); !loaded) {
            throw std::runtime_error(loaded.error().display_chain());
        }
        test::clear_core_journal(path());
    }
    ~FixtureCore() {
        api_.retro_unload_game();
        api_.retro_deinit();
    }
    FixtureCore(const FixtureCore&) = delete;
    FixtureCore& operator=(const FixtureCore&) = delete;

    // The calls the core received since the last call (or since loading).
    std::vector<std::string> take_calls() const {
        auto calls = lines(test::core_journal(path()));
        test::clear_core_journal(path());
        return calls;
    }

  private:
    static std::filesystem::path path() { return test::fixture_core("test_core"); }
    static CoreApi load() {
        auto api = CoreApi::load(path());
        if (!api) {
            throw std::runtime_error(api.error().display_chain());
        }
        return std::move(*api);
    }

    test::TempDir dir_;
    CoreApi api_;
    std::optional<GameLoadRequest> request_;
};

TEST_F(DiscControlTest, SnapshotOfEachTableTheFixtureCoreInstalls) {
    struct Case {
        const char* rom;
        bool supported;
        std::optional<std::uint32_t> current;
        std::vector<ImageRow> images;
        std::vector<std::string> calls;
    };
    const std::vector<std::string> v1_two_discs_calls = {
        "disk.get_num_images",     "disk.get_image_index",   "disk.get_eject_state",
        "disk.get_image_label(0)", "disk.get_image_path(0)", "disk.get_image_label(1)",
        "disk.get_image_path(1)"};
    const std::vector<ImageRow> v1_two_discs = {{0, "Disc 1", "/lk-test/disc1.cue"},
                                                {1, "Disc 2", "/lk-test/disc2.cue"}};
    const Case cases[] = {
        {"disk=none\n", false, std::nullopt, {}, {}},
        {"disk=v1_incomplete\n", false, std::nullopt, {}, {}},
        // Version 0 has no path or label functions: nothing beyond the three queries.
        {"disk=v0\ndisk_images=3\ndisk_current=1\n",
         true,
         1,
         {{0, std::nullopt, std::nullopt},
          {1, std::nullopt, std::nullopt},
          {2, std::nullopt, std::nullopt}},
         {"disk.get_num_images", "disk.get_image_index", "disk.get_eject_state"}},
        {"disk=v1\ndisk_images=2\ndisk_current=1\n", true, 1, v1_two_discs, v1_two_discs_calls},
        // An index equal to the count means no disc is inserted; the list stays.
        {"disk=v1\ndisk_images=2\ndisk_current=2\n", true, std::nullopt, v1_two_discs,
         v1_two_discs_calls},
        {"disk=v1\ndisk_images=1\ndisk_label=empty\n",
         true,
         0,
         {{0, std::nullopt, "/lk-test/disc1.cue"}},
         {"disk.get_num_images", "disk.get_image_index", "disk.get_eject_state",
          "disk.get_image_label(0)", "disk.get_image_path(0)"}},
        {"disk=v1\ndisk_images=1\ndisk_label=invalid_utf8\n",
         true,
         0,
         {{0, std::nullopt, "/lk-test/disc1.cue"}},
         {"disk.get_num_images", "disk.get_image_index", "disk.get_eject_state",
          "disk.get_image_label(0)", "disk.get_image_path(0)"}},
        {"disk=v1\ndisk_images=0\n",
         true,
         std::nullopt,
         {},
         {"disk.get_num_images", "disk.get_image_index", "disk.get_eject_state"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rom);
        FixtureCore core(c.rom);
        const auto snapshot = disc_control_snapshot();
        ASSERT_TRUE(snapshot.has_value());
        EXPECT_EQ(snapshot->supported, c.supported);
        EXPECT_FALSE(snapshot->ejected);
        EXPECT_EQ(snapshot->current_image_index, c.current);
        EXPECT_THAT(rows(*snapshot), ElementsAreArray(c.images));
        EXPECT_THAT(core.take_calls(), ElementsAreArray(c.calls));
    }
}

TEST_F(DiscControlTest, SwapCyclesTheTrayThenReturnsTheNewSnapshot) {
    FixtureCore core("disk=v1\ndisk_images=2\n");
    const auto swapped = set_disc_image_index(1);
    ASSERT_TRUE(swapped.has_value()) << swapped.error().display();
    EXPECT_TRUE(swapped->supported);
    EXPECT_FALSE(swapped->ejected);
    EXPECT_EQ(swapped->current_image_index, 1u);
    EXPECT_THAT(rows(*swapped), ElementsAre(ImageRow{0, "Disc 1", "/lk-test/disc1.cue"},
                                            ImageRow{1, "Disc 2", "/lk-test/disc2.cue"}));
    EXPECT_THAT(
        core.take_calls(),
        ElementsAre("disk.get_num_images", "disk.set_eject_state(1)", "disk.set_image_index(1)",
                    "disk.set_eject_state(0)", "disk.get_num_images", "disk.get_image_index",
                    "disk.get_eject_state", "disk.get_image_label(0)", "disk.get_image_path(0)",
                    "disk.get_image_label(1)", "disk.get_image_path(1)"));

    // The core keeps the new disc; a later snapshot asks it afresh.
    const auto later = disc_control_snapshot();
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(later->current_image_index, 1u);
}

TEST_F(DiscControlTest, SwapFailuresNameTheCauseAndNeverLeaveTheTrayOpen) {
    struct Case {
        const char* rom;
        std::uint32_t index;
        const char* message;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"disk=none\n", 0, "The active core does not support disc switching.", {}},
        {"disk=v1_incomplete\n",
         0,
         "The active core exposed incomplete disc switching callbacks.",
         {}},
        // Out of range: the tray is not touched; the disc number is one-based.
        {"disk=v1\ndisk_images=2\n",
         2,
         "Disc 3 is not available for this game.",
         {"disk.get_num_images"}},
        {"disk=v1\ndisk_images=2\n",
         5,
         "Disc 6 is not available for this game.",
         {"disk.get_num_images"}},
        {"disk=v1\ndisk_images=2\n",
         4294967295u,
         "Disc 4294967296 is not available for this game.",
         {"disk.get_num_images"}},
        {"disk=v0\ndisk_images=2\ndisk_refuse=eject\n",
         1,
         "The active core rejected disc ejection.",
         {"disk.get_num_images", "disk.set_eject_state(1)"}},
        {"disk=v1\ndisk_images=2\ndisk_refuse=index\n",
         1,
         "The active core rejected the selected disc.",
         {"disk.get_num_images", "disk.set_eject_state(1)", "disk.set_image_index(1)",
          "disk.set_eject_state(0)"}},
        {"disk=v1\ndisk_images=2\ndisk_refuse=insert\n",
         1,
         "The active core rejected disc insertion.",
         {"disk.get_num_images", "disk.set_eject_state(1)", "disk.set_image_index(1)",
          "disk.set_eject_state(0)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rom) + " index " + std::to_string(c.index));
        FixtureCore core(c.rom);
        const auto swapped = set_disc_image_index(c.index);
        ASSERT_FALSE(swapped.has_value());
        EXPECT_EQ(swapped.error().message(), c.message);
        EXPECT_EQ(swapped.error().kind(), ErrorKind::other);
        EXPECT_THAT(core.take_calls(), ElementsAreArray(c.calls));
    }
}

TEST_F(DiscControlTest, ResetForgetsTheTable) {
    FixtureCore core("disk=v1\n");
    ASSERT_TRUE(disc_control_snapshot()->supported);
    core.take_calls();

    callback_bridge::reset();
    expect_unsupported(*disc_control_snapshot());
    const auto swapped = set_disc_image_index(0);
    ASSERT_FALSE(swapped.has_value());
    EXPECT_EQ(swapped.error().message(), "The active core does not support disc switching.");
    EXPECT_THAT(core.take_calls(), IsEmpty());
}

// ---- hostile tables, installed through the environment callback ----------

// What the in-test core answers and what it saw. C callbacks carry no user
// pointer, so one process-wide instance, set up afresh by each test.
struct HostileCore {
    unsigned count = 2;
    unsigned current = 0;
    bool ejected = false;
    std::function<bool(unsigned, char*, std::size_t)> label;
    std::function<bool(unsigned, char*, std::size_t)> path;

    std::vector<std::string> calls;
    bool lock_held_during_call = false;
    bool text_buffer_not_fresh = false;  // not 1024 zero bytes on entry
};
HostileCore hostile;

void record(std::string call) {
    if (!CallbackStateLock::try_acquire().has_value()) {
        hostile.lock_held_during_call = true;
    }
    hostile.calls.push_back(std::move(call));
}

bool text_call(const char* name, const std::function<bool(unsigned, char*, std::size_t)>& fn,
               unsigned index, char* buffer, std::size_t length) {
    record(std::string(name) + "(" + std::to_string(index) + ")");
    if (length != kDiscTextBufferSize ||
        std::any_of(buffer, buffer + length, [](char byte) { return byte != '\0'; })) {
        hostile.text_buffer_not_fresh = true;
    }
    return fn ? fn(index, buffer, length) : false;
}

bool set_eject(bool ejected) {
    record(ejected ? "set_eject_state(1)" : "set_eject_state(0)");
    hostile.ejected = ejected;
    return true;
}
bool get_eject() {
    record("get_eject_state");
    return hostile.ejected;
}
unsigned get_index() {
    record("get_image_index");
    return hostile.current;
}
bool set_index(unsigned index) {
    record("set_image_index(" + std::to_string(index) + ")");
    hostile.current = index;
    return true;
}
unsigned get_count() {
    record("get_num_images");
    return hostile.count;
}
bool unused_replace(unsigned, const retro::GameInfo*) {
    record("replace_image_index");
    return false;
}
bool unused_add() {
    record("add_image_index");
    return false;
}
bool unused_initial(unsigned, const char*) {
    record("set_initial_image");
    return false;
}
bool get_path(unsigned index, char* buffer, std::size_t length) {
    return text_call("get_image_path", hostile.path, index, buffer, length);
}
bool get_label(unsigned index, char* buffer, std::size_t length) {
    return text_call("get_image_label", hostile.label, index, buffer, length);
}

retro::DiskControlExtCallback full_table() {
    return {set_eject,      get_eject,  get_index,      set_index, get_count,
            unused_replace, unused_add, unused_initial, get_path,  get_label};
}

bool copy_text(std::string_view text, char* buffer, std::size_t length) {
    std::memcpy(buffer, text.data(), std::min(text.size(), length));
    return true;
}

class HostileDiscControlTest : public DiscControlTest {
  protected:
    void SetUp() override {
        DiscControlTest::SetUp();
        hostile = HostileCore{};
    }
    static void install(retro::DiskControlExtCallback table) {
        ASSERT_TRUE(
            callback_bridge::environment_callback(retro::env::kSetDiskControlExtInterface, &table));
    }
    static void install_v0(retro::DiskControlCallback table) {
        ASSERT_TRUE(
            callback_bridge::environment_callback(retro::env::kSetDiskControlInterface, &table));
    }
};

TEST_F(HostileDiscControlTest, AnyMissingRequiredFunctionMakesTheTableUnsupported) {
    using Table = retro::DiskControlExtCallback;
    const std::pair<const char*, void (*)(Table&)> slots[] = {
        {"set_eject_state", [](Table& t) { t.set_eject_state = nullptr; }},
        {"get_eject_state", [](Table& t) { t.get_eject_state = nullptr; }},
        {"get_image_index", [](Table& t) { t.get_image_index = nullptr; }},
        {"set_image_index", [](Table& t) { t.set_image_index = nullptr; }},
        {"get_num_images", [](Table& t) { t.get_num_images = nullptr; }},
    };
    for (const auto& [name, clear] : slots) {
        for (const bool version1 : {false, true}) {
            SCOPED_TRACE(std::string(name) + (version1 ? " v1" : " v0"));
            Table table = full_table();
            clear(table);
            if (version1) {
                install(table);
            } else {
                install_v0({table.set_eject_state, table.get_eject_state, table.get_image_index,
                            table.set_image_index, table.get_num_images, table.replace_image_index,
                            table.add_image_index});
            }
            expect_unsupported(*disc_control_snapshot());
            const auto swapped = set_disc_image_index(0);
            ASSERT_FALSE(swapped.has_value());
            EXPECT_EQ(swapped.error().message(),
                      "The active core exposed incomplete disc switching callbacks.");
            EXPECT_THAT(hostile.calls, IsEmpty());
        }
    }
}

TEST_F(HostileDiscControlTest, CoreFunctionsRunWithTheCallbackStateUnlocked) {
    hostile.ejected = true;
    hostile.label = [](unsigned, char* buffer, std::size_t length) {
        return copy_text("Side A", buffer, length);
    };
    install(full_table());

    const auto snapshot = disc_control_snapshot();
    ASSERT_TRUE(snapshot.has_value());
    EXPECT_TRUE(snapshot->ejected);
    ASSERT_TRUE(set_disc_image_index(1).has_value());

    EXPECT_THAT(hostile.calls, Contains("set_image_index(1)"));
    EXPECT_FALSE(hostile.lock_held_during_call);
    // The stored extras are never called.
    EXPECT_THAT(hostile.calls, Not(Contains("replace_image_index")));
    EXPECT_THAT(hostile.calls, Not(Contains("add_image_index")));
    EXPECT_THAT(hostile.calls, Not(Contains("set_initial_image")));
}

TEST_F(HostileDiscControlTest, LabelAndPathTextRules) {
    hostile.count = 4;
    // Index 0 fills the buffer first, so a reused buffer would show at index 1.
    hostile.label = [](unsigned index, char* buffer, std::size_t length) {
        switch (index) {
            case 0:  // the whole buffer, no NUL byte
                std::memset(buffer, 'L', length);
                return true;
            case 1:  // success without writing anything
                return true;
            case 2:
                return copy_text("Disc \xC3\xA9", buffer, length);
            default:  // a full buffer ending in a cut-off character
                std::memset(buffer, 'a', length);
                buffer[length - 2] = '\xE2';
                buffer[length - 1] = '\x82';
                return true;
        }
    };
    hostile.path = [](unsigned index, char* buffer, std::size_t length) {
        switch (index) {
            case 0:
                return copy_text("/discs/a.chd", buffer, length);
            case 1:  // text written, but the call failed
                copy_text("/discs/b.chd", buffer, length);
                return false;
            case 2:
                return copy_text("/discs/\xFF.chd", buffer, length);
            default:
                return copy_text(std::string_view("/discs/d.chd\0tail", 17), buffer, length);
        }
    };
    install(full_table());

    const auto snapshot = disc_control_snapshot();
    ASSERT_TRUE(snapshot.has_value());
    EXPECT_THAT(rows(*snapshot),
                ElementsAre(ImageRow{0, std::string(kDiscTextBufferSize, 'L'), "/discs/a.chd"},
                            ImageRow{1, std::nullopt, std::nullopt},
                            ImageRow{2, "Disc \xC3\xA9", std::nullopt},
                            ImageRow{3, std::nullopt, "/discs/d.chd"}));
    EXPECT_FALSE(hostile.text_buffer_not_fresh);
    EXPECT_FALSE(hostile.lock_held_during_call);
}

TEST_F(HostileDiscControlTest, MissingTextFunctionsAndVersion0GiveAbsentText) {
    auto table = full_table();
    table.get_image_path = nullptr;
    table.get_image_label = nullptr;
    install(table);
    const auto snapshot = disc_control_snapshot();
    ASSERT_TRUE(snapshot.has_value());
    EXPECT_TRUE(snapshot->supported);
    EXPECT_THAT(rows(*snapshot), ElementsAre(ImageRow{0, std::nullopt, std::nullopt},
                                             ImageRow{1, std::nullopt, std::nullopt}));

    // Under version 0 the text slots are not consulted even when filled.
    hostile.label = [](unsigned, char* buffer, std::size_t length) {
        return copy_text("label", buffer, length);
    };
    auto v0 = DiscControlInterface::from_v1(full_table());
    v0.version = DiscControlInterface::Version::v0;
    hostile.calls.clear();
    EXPECT_EQ(disc_image_label(v0, 0), std::nullopt);
    EXPECT_EQ(disc_image_path(v0, 0), std::nullopt);
    EXPECT_THAT(hostile.calls, IsEmpty());
    EXPECT_EQ(disc_image_label(DiscControlInterface::from_v1(full_table()), 0), "label");
}

TEST_F(HostileDiscControlTest, HugeImageCountIsListedOnlyUpToTheBound) {
    hostile.count = 4294967295u;
    hostile.current = 4000000000u;
    install(full_table());

    const auto snapshot = disc_control_snapshot();
    ASSERT_TRUE(snapshot.has_value());
    ASSERT_EQ(snapshot->images.size(), kMaxListedDiscImages);
    EXPECT_EQ(snapshot->images.front().image_index, 0u);
    EXPECT_EQ(snapshot->images.back().image_index, kMaxListedDiscImages - 1);
    EXPECT_EQ(snapshot->current_image_index, 4000000000u);  // the core's count decides
    EXPECT_EQ(std::count(hostile.calls.begin(), hostile.calls.end(), "get_image_label(1023)"), 1);
    EXPECT_EQ(std::count(hostile.calls.begin(), hostile.calls.end(), "get_image_label(1024)"), 0);

    // Indices beyond the listed ones are still the core's to accept.
    ASSERT_TRUE(set_disc_image_index(4294967294u).has_value());
    EXPECT_EQ(hostile.current, 4294967294u);
    const auto beyond = set_disc_image_index(4294967295u);
    ASSERT_FALSE(beyond.has_value());
    EXPECT_EQ(beyond.error().message(), "Disc 4294967296 is not available for this game.");
}

}  // namespace
}  // namespace lk
