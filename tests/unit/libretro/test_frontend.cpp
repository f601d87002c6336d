#include "test_frontend.hpp"

#include <cstring>

namespace lk::test {

namespace {

TestFrontend* g_active = nullptr;

std::string text_or_empty(const char* text) {
    return text != nullptr ? text : "";
}

std::vector<std::string> value_list(const retro::CoreOptionValue* values) {
    std::vector<std::string> list;
    for (std::size_t i = 0; i < retro::kNumCoreOptionValuesMax && values[i].value != nullptr; ++i) {
        list.emplace_back(values[i].value);
    }
    return list;
}

std::optional<std::string> optional_text(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(text);
}

}  // namespace

struct FrontendCallbacks {
    static bool environment(unsigned command, void* data) {
        return g_active != nullptr && g_active->environment(command, data);
    }
    static void video(const void* data, unsigned width, unsigned height, std::size_t pitch) {
        TestFrontend& f = *g_active;
        ++f.video_calls;
        if (data == nullptr) {
            ++f.dupe_calls;
            return;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        f.frame = RecordedFrame{{bytes, bytes + pitch * height}, width, height, pitch};
    }
    static void sample(std::int16_t left, std::int16_t right) {
        ++g_active->sample_calls;
        g_active->audio.push_back(left);
        g_active->audio.push_back(right);
    }
    static std::size_t batch(const std::int16_t* data, std::size_t frames) {
        ++g_active->batch_calls;
        g_active->audio.insert(g_active->audio.end(), data, data + frames * 2);
        return frames;
    }
    static void poll() { ++g_active->poll_calls; }
    static std::int16_t input(unsigned port, unsigned device, unsigned index, unsigned id) {
        if (port > 3 || (device & retro::kDeviceMask) != retro::device::kJoypad || index != 0) {
            return 0;
        }
        const std::uint16_t mask = g_active->joypad[port];
        if (id == retro::joypad::kMask) {
            return static_cast<std::int16_t>(mask);
        }
        return id < 16 ? static_cast<std::int16_t>((mask >> id) & 1u) : std::int16_t{0};
    }
    static void log(retro::LogLevel, const char*, ...) {
        if (g_active != nullptr) {
            ++g_active->log_calls;
        }
    }
};

TestFrontend::TestFrontend() {
    g_active = this;
}
TestFrontend::~TestFrontend() {
    if (g_active == this) {
        g_active = nullptr;
    }
}

TestFrontend* TestFrontend::active() {
    return g_active;
}

void TestFrontend::attach(const CoreApi& core) const {
    core.retro_set_environment(&FrontendCallbacks::environment);
    core.retro_set_video_refresh(&FrontendCallbacks::video);
    core.retro_set_audio_sample(&FrontendCallbacks::sample);
    core.retro_set_audio_sample_batch(&FrontendCallbacks::batch);
    core.retro_set_input_poll(&FrontendCallbacks::poll);
    core.retro_set_input_state(&FrontendCallbacks::input);
}

bool TestFrontend::environment(unsigned command, void* data) {
    namespace env = retro::env;
    switch (command) {
        case env::kSetPixelFormat: {
            const unsigned format = *static_cast<const unsigned*>(data);
            if (format > 2) {
                return false;
            }
            pixel_format = format;
            return true;
        }
        case env::kGetSystemDirectory:
        case env::kGetSaveDirectory: {
            const std::string& dir =
                command == env::kGetSystemDirectory ? system_directory : save_directory;
            if (dir.empty()) {
                return false;
            }
            *static_cast<const char**>(data) = dir.c_str();
            return true;
        }
        case env::kGetLogInterface:
            static_cast<retro::LogCallback*>(data)->log = &FrontendCallbacks::log;
            return true;
        case env::kGetInputBitmasks:
            return input_bitmasks;
        case env::kGetCoreOptionsVersion:
            if (core_options_version == 0) {
                return false;
            }
            *static_cast<unsigned*>(data) = core_options_version;
            return true;
        case env::kGetVariable: {
            auto* variable = static_cast<retro::Variable*>(data);
            const auto found = variables.find(text_or_empty(variable->key));
            if (found == variables.end()) {
                return false;
            }
            variable->value = found->second.c_str();
            return true;
        }
        case env::kSetVariables: {
            options_style = "variables";
            options.clear();
            for (const auto* v = static_cast<const retro::Variable*>(data); v->key != nullptr;
                 ++v) {
                // "Description; a|b|c"
                std::string text = text_or_empty(v->value);
                const auto semicolon = text.find(';');
                std::string list = semicolon == std::string::npos ? "" : text.substr(semicolon + 1);
                DeclaredOption option{v->key, {}, std::nullopt, std::nullopt};
                std::size_t start = 0;
                while (start <= list.size()) {
                    const auto bar = std::min(list.find('|', start), list.size());
                    std::string piece = list.substr(start, bar - start);
                    const auto first = piece.find_first_not_of(' ');
                    const auto last = piece.find_last_not_of(' ');
                    if (first != std::string::npos) {
                        option.values.push_back(piece.substr(first, last - first + 1));
                    }
                    start = bar + 1;
                }
                options.push_back(std::move(option));
            }
            return true;
        }
        case env::kSetCoreOptions:
        case env::kSetCoreOptionsIntl: {
            const retro::CoreOptionDefinition* definitions =
                command == env::kSetCoreOptions
                    ? static_cast<const retro::CoreOptionDefinition*>(data)
                    : static_cast<const retro::CoreOptionsIntl*>(data)->us;
            options_style = "v1";
            options.clear();
            for (const auto* d = definitions; d != nullptr && d->key != nullptr; ++d) {
                options.push_back(
                    {d->key, value_list(d->values), optional_text(d->default_value), std::nullopt});
            }
            return true;
        }
        case env::kSetCoreOptionsV2:
        case env::kSetCoreOptionsV2Intl: {
            const retro::CoreOptionsV2* v2 =
                command == env::kSetCoreOptionsV2
                    ? static_cast<const retro::CoreOptionsV2*>(data)
                    : static_cast<const retro::CoreOptionsV2Intl*>(data)->us;
            options_style = "v2";
            options.clear();
            option_categories.clear();
            for (const auto* c = v2->categories; c != nullptr && c->key != nullptr; ++c) {
                option_categories.emplace_back(c->key);
            }
            for (const auto* d = v2->definitions; d != nullptr && d->key != nullptr; ++d) {
                options.push_back({d->key, value_list(d->values), optional_text(d->default_value),
                                   optional_text(d->category_key)});
            }
            return true;
        }
        case env::kSetInputDescriptors:
            input_descriptors.clear();
            input_descriptions.clear();
            for (const auto* d = static_cast<const retro::InputDescriptor*>(data);
                 d->description != nullptr; ++d) {
                input_descriptors.push_back(*d);
                input_descriptions.emplace_back(d->description);
            }
            return true;
        case env::kSetSerializationQuirks:
            serialization_quirks = *static_cast<const std::uint64_t*>(data);
            return true;
        case env::kSetSystemAvInfo:
            av_update = *static_cast<const retro::SystemAvInfo*>(data);
            return true;
        case env::kSetDiskControlInterface:
            disk_control = {};
            std::memcpy(&disk_control, data, sizeof(retro::DiskControlCallback));
            disk_control_version = 1;
            return true;
        case env::kSetDiskControlExtInterface:
            disk_control = *static_cast<const retro::DiskControlExtCallback*>(data);
            disk_control_version = 2;
            return true;
        default:
            return false;
    }
}

std::uint64_t hash_visible_pixels(const RecordedFrame& frame, std::size_t bytes_per_pixel) {
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned y = 0; y < frame.height; ++y) {
        const std::uint8_t* row = frame.bytes.data() + y * frame.pitch;
        for (std::size_t i = 0; i < frame.width * bytes_per_pixel; ++i) {
            hash = (hash ^ row[i]) * 1099511628211ull;
        }
    }
    return hash;
}

}  // namespace lk::test
