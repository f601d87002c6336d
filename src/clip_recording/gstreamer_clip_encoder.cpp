#include "clip_recording/gstreamer_clip_encoder.hpp"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "clip_recording/clip_media_selection.hpp"

namespace lk {

namespace {

// Paths go to the launcher byte for byte, so a name that is not UTF-8 still
// names the same file.
std::string path_text(const std::filesystem::path& path) {
    return path.string();
}

}  // namespace

void prepend_path_environment(ChildProcessCommand& command, const std::string& variable,
                              const std::string& directory,
                              const std::map<std::string, std::string>& inherited) {
    if (directory.find(':') != std::string::npos) {
        return;  // cannot be one entry of a search-path list
    }
    std::string joined = directory;
    if (const auto found = inherited.find(variable); found != inherited.end()) {
        joined += ':';
        joined += found->second;
    }
    command.environment[variable] = std::move(joined);
}

ChildProcessCommand gstreamer_clip_encoder_command(
    const ClipEncodeSnapshot& snapshot, const std::map<std::string, std::string>& inherited) {
    const GStreamerRuntimeConfig& runtime = snapshot.gstreamer_runtime;
    ChildProcessCommand command;
    command.program = runtime.launch_executable_path;
    command.environment = inherited;
    command.environment["GST_REGISTRY_1_0"] =
        path_text(snapshot.work_directory / "gstreamer-registry.bin");
    if (runtime.bin_directory_path) {
        prepend_path_environment(command, "PATH", *runtime.bin_directory_path, inherited);
    }
    if (runtime.plugin_directory_path) {
        const std::string& plugins = *runtime.plugin_directory_path;
        if (plugins.find(':') == std::string::npos) {
            command.environment["GST_PLUGIN_SYSTEM_PATH"] = plugins;
            command.environment["GST_PLUGIN_SYSTEM_PATH_1_0"] = plugins;
        }
        prepend_path_environment(command, "GST_PLUGIN_PATH", plugins, inherited);
        prepend_path_environment(command, "GST_PLUGIN_PATH_1_0", plugins, inherited);
    }
    if (runtime.plugin_scanner_path) {
        command.environment["GST_PLUGIN_SCANNER"] = *runtime.plugin_scanner_path;
    }

    const std::uint64_t stop_index = snapshot.frame_count == 0 ? 0 : snapshot.frame_count - 1;
    const std::uint64_t rate_numerator =
        std::clamp<std::uint64_t>(round_to_u64(snapshot.frame_rate * 1000.0), 1, 120000);
    command.arguments = {
        "-q",
        "-e",
        "mp4mux",
        "name=mux",
        "faststart=true",
        "!",
        "filesink",
        fmt::format("location={}", path_text(snapshot.output_path)),
        "multifilesrc",
        fmt::format("location={}", path_text(snapshot.frames_directory / "frame-%08d.png")),
        "start-index=0",
        fmt::format("stop-index={}", stop_index),
        fmt::format("caps=image/png,framerate=(fraction){}/1000", rate_numerator),
        "!",
        "pngdec",
        "!",
        "videoconvert",
        "!",
        "video/x-raw,format=I420",
        "!",
        "openh264enc",
        fmt::format("bitrate={}", snapshot.high_quality ? "8000000" : "4000000"),
        "!",
        "h264parse",
        "!",
        "queue",
        "!",
        "mux.",
    };
    if (snapshot.audio_frames != 0) {
        const std::string audio[] = {
            "filesrc",
            fmt::format("location={}", path_text(snapshot.audio_path)),
            "!",
            "rawaudioparse",
            "format=pcm",
            "pcm-format=s16le",
            fmt::format("sample-rate={}", snapshot.sample_rate),
            "num-channels=2",
            "interleaved=true",
            "!",
            "audioconvert",
            "!",
            "audioresample",
            "!",
            "voaacenc",
            fmt::format("bitrate={}", snapshot.high_quality ? "192000" : "160000"),
            "!",
            "aacparse",
            "!",
            "queue",
            "!",
            "mux.",
        };
        command.arguments.insert(command.arguments.end(), std::begin(audio), std::end(audio));
    }
    return command;
}

Result<ChildProcessOutput> run_gstreamer_clip_encoder(const ClipEncodeSnapshot& snapshot) {
    return run_child_process(
        gstreamer_clip_encoder_command(snapshot, current_process_environment()));
}

}  // namespace lk
