#pragma once

// A minimal libretro frontend for tests: plain callbacks that record what a
// core hands over and answer a few environment commands. Libretro callbacks
// carry no user pointer, so one TestFrontend at a time is the active target.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "libretro/abi.hpp"
#include "libretro/core_api.hpp"

namespace lk::test {

struct RecordedFrame {
    std::vector<std::uint8_t> bytes;  // pitch * height bytes, as the core gave them
    unsigned width = 0;
    unsigned height = 0;
    std::size_t pitch = 0;
};

// One declared option, whatever the declaration style.
struct DeclaredOption {
    std::string key;
    std::vector<std::string> values;
    std::optional<std::string> default_value;
    std::optional<std::string> category;
};

class TestFrontend {
  public:
    TestFrontend();
    ~TestFrontend();
    TestFrontend(const TestFrontend&) = delete;
    TestFrontend& operator=(const TestFrontend&) = delete;

    // Hands the six callbacks to the core, in the runner's order.
    void attach(const CoreApi& core) const;

    // What the frontend answers.
    unsigned core_options_version = 2;             // GET_CORE_OPTIONS_VERSION
    bool input_bitmasks = true;                    // GET_INPUT_BITMASKS
    std::string system_directory;                  // empty: GET_SYSTEM_DIRECTORY refused
    std::string save_directory;                    // empty: GET_SAVE_DIRECTORY refused
    std::map<std::string, std::string> variables;  // GET_VARIABLE answers
    std::uint16_t joypad[4] = {};                  // buttons held per port

    // What the core did.
    std::optional<unsigned> pixel_format;  // last accepted SET_PIXEL_FORMAT
    std::optional<RecordedFrame> frame;    // last software frame
    std::uint64_t video_calls = 0;
    std::uint64_t dupe_calls = 0;     // NULL frames
    std::vector<std::int16_t> audio;  // interleaved stereo
    std::uint64_t batch_calls = 0;
    std::uint64_t sample_calls = 0;
    std::uint64_t poll_calls = 0;
    std::string options_style;  // "variables", "v1", "v2" or empty
    std::vector<DeclaredOption> options;
    std::vector<std::string> option_categories;
    std::vector<retro::InputDescriptor> input_descriptors;  // descriptions not kept
    std::vector<std::string> input_descriptions;
    std::optional<std::uint64_t> serialization_quirks;
    std::optional<retro::SystemAvInfo> av_update;
    unsigned disk_control_version = 0;  // 0 none, 1 = v0 table, 2 = v1 table
    retro::DiskControlExtCallback disk_control{};
    std::uint64_t log_calls = 0;

    static TestFrontend* active();

  private:
    friend struct FrontendCallbacks;
    bool environment(unsigned command, void* data);
};

// FNV-1a over the visible pixels of a frame (row padding excluded).
std::uint64_t hash_visible_pixels(const RecordedFrame& frame, std::size_t bytes_per_pixel);

}  // namespace lk::test
