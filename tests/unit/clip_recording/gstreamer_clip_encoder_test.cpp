// The launcher's arguments and environment, and what becomes of its failures.

#include <gtest/gtest.h>

#include "clip_recording/clip_encode_snapshot.hpp"
#include "clip_recording/gstreamer_clip_encoder.hpp"
#include "clip_test_support.hpp"

namespace lk {
namespace {

using namespace clip_test;

ClipEncodeSnapshot snapshot_at(const fs::path& work, bool high_quality, std::uint32_t sample_rate) {
    ClipEncodeSnapshot snapshot;
    snapshot.work_directory = work;
    snapshot.frames_directory = work / "frames";
    snapshot.audio_path = work / "audio.s16le";
    snapshot.output_path = "/clips/out.mp4";
    snapshot.gstreamer_runtime = GStreamerRuntimeConfig{"/opt/gst/bin/gst-launch-1.0", {}, {}, {}};
    snapshot.frame_count = 900;
    snapshot.frame_rate = 30.0;
    snapshot.duration_seconds = 30.0;
    snapshot.audio_frames = sample_rate == 0 ? 0 : 30u * sample_rate;
    snapshot.sample_rate = sample_rate;
    snapshot.high_quality = high_quality;
    return snapshot;
}

TEST(GStreamerClipEncoder, ArgumentsForAClipWithAudio) {
    const auto command =
        gstreamer_clip_encoder_command(snapshot_at("/c/encode-1", true, 32768), {});
    EXPECT_EQ(command.program, "/opt/gst/bin/gst-launch-1.0");
    const std::vector<std::string> expected = {"-q",
                                               "-e",
                                               "mp4mux",
                                               "name=mux",
                                               "faststart=true",
                                               "!",
                                               "filesink",
                                               "location=/clips/out.mp4",
                                               "multifilesrc",
                                               "location=/c/encode-1/frames/frame-%08d.png",
                                               "start-index=0",
                                               "stop-index=899",
                                               "caps=image/png,framerate=(fraction)30000/1000",
                                               "!",
                                               "pngdec",
                                               "!",
                                               "videoconvert",
                                               "!",
                                               "video/x-raw,format=I420",
                                               "!",
                                               "openh264enc",
                                               "bitrate=8000000",
                                               "!",
                                               "h264parse",
                                               "!",
                                               "queue",
                                               "!",
                                               "mux.",
                                               "filesrc",
                                               "location=/c/encode-1/audio.s16le",
                                               "!",
                                               "rawaudioparse",
                                               "format=pcm",
                                               "pcm-format=s16le",
                                               "sample-rate=32768",
                                               "num-channels=2",
                                               "interleaved=true",
                                               "!",
                                               "audioconvert",
                                               "!",
                                               "audioresample",
                                               "!",
                                               "voaacenc",
                                               "bitrate=192000",
                                               "!",
                                               "aacparse",
                                               "!",
                                               "queue",
                                               "!",
                                               "mux."};
    EXPECT_EQ(command.arguments, expected);
}

TEST(GStreamerClipEncoder, QualityFrameRateAndAudioBranch) {
    auto snapshot = snapshot_at("/c/e", false, 0);
    snapshot.frame_count = 1;
    snapshot.frame_rate = 0.001;
    const auto args = gstreamer_clip_encoder_command(snapshot, {}).arguments;
    ASSERT_EQ(args.size(), 28u);  // no audio branch without audio frames
    EXPECT_EQ(args[11], "stop-index=0");
    EXPECT_EQ(args[12], "caps=image/png,framerate=(fraction)1/1000");
    EXPECT_EQ(args[21], "bitrate=4000000");

    snapshot.frame_count = 0;
    snapshot.frame_rate = 500.0;
    snapshot.audio_frames = 10;
    snapshot.sample_rate = 48000;
    const auto more = gstreamer_clip_encoder_command(snapshot, {}).arguments;
    EXPECT_EQ(more[11], "stop-index=0");
    EXPECT_EQ(more[12], "caps=image/png,framerate=(fraction)120000/1000");
    EXPECT_EQ(more[43], "bitrate=160000");
}

TEST(GStreamerClipEncoder, EnvironmentNamesRegistryPathsPluginsAndScanner) {
    const std::map<std::string, std::string> inherited = {
        {"PATH", "/usr/bin:/bin"}, {"GST_PLUGIN_PATH", "/old/plugins"}, {"HOME", "/home/u"}};
    auto snapshot = snapshot_at("/c/encode-7", false, 0);
    // Nothing but the registry without optional paths.
    auto plain = gstreamer_clip_encoder_command(snapshot, inherited).environment;
    auto expected = inherited;
    expected["GST_REGISTRY_1_0"] = "/c/encode-7/gstreamer-registry.bin";
    EXPECT_EQ(plain, expected);

    snapshot.gstreamer_runtime.bin_directory_path = "/opt/gst/bin";
    snapshot.gstreamer_runtime.plugin_directory_path = "/opt/gst/plugins";
    snapshot.gstreamer_runtime.plugin_scanner_path = "/opt/gst/scanner";
    auto env = gstreamer_clip_encoder_command(snapshot, inherited).environment;
    EXPECT_EQ(env["PATH"], "/opt/gst/bin:/usr/bin:/bin");
    EXPECT_EQ(env["GST_PLUGIN_SYSTEM_PATH"], "/opt/gst/plugins");
    EXPECT_EQ(env["GST_PLUGIN_SYSTEM_PATH_1_0"], "/opt/gst/plugins");
    EXPECT_EQ(env["GST_PLUGIN_PATH"], "/opt/gst/plugins:/old/plugins");
    EXPECT_EQ(env["GST_PLUGIN_PATH_1_0"], "/opt/gst/plugins");
    EXPECT_EQ(env["GST_PLUGIN_SCANNER"], "/opt/gst/scanner");
    EXPECT_EQ(env["HOME"], "/home/u");

    // A directory that cannot be one list entry changes nothing.
    snapshot.gstreamer_runtime.bin_directory_path = "/odd:dir";
    snapshot.gstreamer_runtime.plugin_directory_path = "/odd:plugins";
    env = gstreamer_clip_encoder_command(snapshot, inherited).environment;
    EXPECT_EQ(env["PATH"], "/usr/bin:/bin");
    EXPECT_EQ(env["GST_PLUGIN_PATH"], "/old/plugins");
    EXPECT_FALSE(env.contains("GST_PLUGIN_SYSTEM_PATH"));
    EXPECT_FALSE(env.contains("GST_PLUGIN_SYSTEM_PATH_1_0"));
    EXPECT_FALSE(env.contains("GST_PLUGIN_PATH_1_0"));
}

// A work directory holding one frame, as create_clip_encode_snapshot leaves it.
ClipEncodeSnapshot runnable_snapshot(const TempDir& dir, const fs::path& launcher) {
    auto snapshot = snapshot_at(dir / "cache/encode-5", false, 0);
    snapshot.frame_count = 1;
    snapshot.duration_seconds = 2.5;
    snapshot.output_path = dir / "out/clip.mp4";
    snapshot.gstreamer_runtime.launch_executable_path = launcher.string();
    snapshot.gstreamer_runtime.bin_directory_path = (dir / "bin").string();
    write_text(snapshot.frames_directory / "frame-00000000.png", "png");
    fs::create_directories(dir / "out");
    return snapshot;
}

TEST(GStreamerClipEncoder, SuccessReportsTheDurationAndRemovesTheWorkDirectory) {
    TempDir dir;
    const fs::path log = dir / "args.log";
    const auto launcher =
        fake_launcher(dir.path(), log,
                      "echo \"$PATH|$GST_REGISTRY_1_0\" > '" + (dir / "env.log").string() + "'\n");
    const auto snapshot = runnable_snapshot(dir, launcher);
    auto result = run_clip_encode_snapshot(snapshot);
    ASSERT_TRUE(result) << result.error().display();
    EXPECT_DOUBLE_EQ(result->duration_seconds, 2.5);
    EXPECT_EQ(read_text(dir / "out/clip.mp4"), "clip\n");
    EXPECT_FALSE(fs::exists(dir / "cache/encode-5"));
    EXPECT_TRUE(read_text(log).starts_with("-q\n-e\nmp4mux\n"));
    const std::string env = read_text(dir / "env.log");
    EXPECT_TRUE(env.starts_with((dir / "bin").string() + ":")) << env;
    EXPECT_TRUE(
        env.ends_with("|" + (dir / "cache/encode-5/gstreamer-registry.bin").string() + "\n"))
        << env;
}

TEST(GStreamerClipEncoder, LauncherFailuresBecomeErrorsAndStillCleanUp) {
    TempDir dir;
    const struct {
        std::string name;
        std::string script;  // empty: no launcher at all
        std::string message;
    } cases[] = {
        {"missing", "", "No such file or directory (os error 2)"},
        {"status",
         "printf '  \\n broken pipeline: no element \"x\"\\n\\t ' >&2\necho ignored\nexit 1\n",
         "Clip encoding failed: broken pipeline: no element \"x\""},
        {"silent", "exit 3\n", "Clip encoding failed: "},
        {"killed", "echo dying >&2\nkill -9 $$\n", "Clip encoding failed: dying"},
        {"bad-utf8", "printf 'bad \\377 byte' >&2\nexit 1\n",
         "Clip encoding failed: bad \xEF\xBF\xBD byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path launcher =
            c.script.empty() ? dir / "no-such-launcher" : write_script(dir / c.name, c.script);
        auto result = run_clip_encode_snapshot(runnable_snapshot(dir, launcher));
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().display(), c.message);
        EXPECT_FALSE(fs::exists(dir / "cache/encode-5"));
    }
}

TEST(GStreamerClipEncoder, ManyMegabytesOfOutputDoNotBlockTheLauncher) {
    TempDir dir;
    const auto launcher = write_script(
        dir / "chatty", "head -c 3000000 /dev/zero\nhead -c 3000000 /dev/zero >&2\nexit 0\n");
    auto output = run_child_process(ChildProcessCommand{launcher.string(), {}, {}});
    ASSERT_TRUE(output);
    EXPECT_TRUE(output->succeeded());
    EXPECT_EQ(output->standard_output.size(), 3000000u);
    EXPECT_EQ(output->standard_error.size(), 3000000u);
}

}  // namespace
}  // namespace lk
