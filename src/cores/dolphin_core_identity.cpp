#include "cores/dolphin_core_identity.hpp"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

#include <fmt/format.h>

#include "common/diagnostics.hpp"
#include "common/environment.hpp"
#include "common/sha256.hpp"
#include "protocol/json.hpp"

namespace lk {

namespace {

struct KnownBuild {
    std::string_view extension;
    std::string_view label;
    std::string_view digest;
};

// Our own release builds of the Dolphin core, by file extension. A row's
// digest is filled in when that build is published; until then the row
// matches nothing and such builds are accepted through the environment list.
constexpr std::array<KnownBuild, 2> kKnownBuilds{{
    {"so", "linux-x64-lumenkite-dolphin-libretro", ""},
    {"dll", "windows-x64-lumenkite-dolphin-libretro", ""},
}};

std::string ascii_lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    return text;
}

std::string file_extension(const std::string& path) {
    const std::string extension = std::filesystem::path(path).extension().string();
    return ascii_lower(extension.empty() ? extension : extension.substr(1));
}

bool environment_allows(const std::string& digest) {
    const auto list = read_env_text("LUMENKITE_DOLPHIN_CORE_SHA256_ALLOWLIST");
    if (!list) {
        return false;
    }
    std::string_view rest = *list;
    const auto is_separator = [](char c) {
        return c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\n' || c == '\r' ||
               c == '\v' || c == '\f';
    };
    while (!rest.empty()) {
        std::size_t end = 0;
        while (end < rest.size() && !is_separator(rest[end])) {
            ++end;
        }
        if (end > 0 && ascii_lower(std::string(rest.substr(0, end))) == digest) {
            return true;
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return false;
}

}  // namespace

std::optional<std::string> resolve_known_lumenkite_dolphin_gamecube_core_label(
    const std::string& path, const std::string& digest) {
    const std::string lowered = ascii_lower(digest);
    const std::string extension = file_extension(path);
    for (const auto& build : kKnownBuilds) {
        if (!build.digest.empty() && build.extension == extension && build.digest == lowered) {
            return std::string(build.label);
        }
    }
    if (environment_allows(lowered)) {
        return "environment-allowlist";
    }
    return std::nullopt;
}

Status check_dolphin_gamecube_core_identity(const std::string& core_library_path) {
    auto digest = sha256_file_hex(core_library_path);
    if (!digest) {
        return fail(std::move(digest.error()));
    }
    const std::string extension = file_extension(core_library_path);
    const auto label =
        resolve_known_lumenkite_dolphin_gamecube_core_label(core_library_path, *digest);
    const std::string_view known = label ? "true" : "false";
    const std::string shown_label = label.value_or("unknown");
    runner_log(
        "Dolphin GameCube core identity: path={} fileExtension={} sha256={} knownLumenKiteCore={} "
        "label={}",
        core_library_path, extension, *digest, known, shown_label);
    if (core_input_trace_enabled()) {
        log_line(kInputTraceTag,
                 "stage=load-rom core=dolphin platform=gamecube coreBinary={} coreFileExtension={} "
                 "coreSha256={} knownLumenKiteCore={} knownLumenKiteCoreLabel={}",
                 core_library_path, extension, *digest, known, shown_label);
        OrderedJson trace{{"core", "dolphin"},
                          {"coreBinary", core_library_path},
                          {"coreFileExtension", extension},
                          {"coreSha256", *digest},
                          {"knownLumenKiteCore", label.has_value()},
                          {"knownLumenKiteCoreLabel", shown_label},
                          {"platform", "gamecube"},
                          {"stage", "load-rom"}};
        write_diagnostic_line(kInputTraceJsonTag,
                              trace.dump(-1, ' ', false, OrderedJson::error_handler_t::replace));
    }
    if (dolphin_core_hash_strict_enabled() && !label) {
        return fail(fmt::format(
            "Dolphin GameCube core hash {} is not in the LumenKite known-good allowlist.",
            *digest));
    }
    return {};
}

}  // namespace lk
