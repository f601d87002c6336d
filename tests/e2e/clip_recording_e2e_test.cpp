// Replay clips and manual recordings through the real binary: the Debian mgba
// core plays our GBA ROM, GStreamer encodes, ffprobe checks the MP4.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "fixture_core_bundle.hpp"
#include "frame_image.hpp"
#include "runner_process.hpp"

namespace lk::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

// The full path of a program found in PATH, or empty.
std::string find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream entries(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(entries, dir, ':')) {
        const fs::path candidate = fs::path(dir) / name;
        if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return {};
}

std::string run_capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return out;
}

struct ProbedClip {
    std::string video_codec;
    std::string audio_codec;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    double duration = 0.0;
};

std::optional<ProbedClip> probe(const std::string& path) {
    const std::string text = run_capture(
        "ffprobe -v error -show_entries stream=codec_type,codec_name,width,height:"
        "format=duration -of json '" +
        path + "'");
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.contains("streams")) {
        ADD_FAILURE() << "ffprobe: " << text;
        return std::nullopt;
    }
    ProbedClip clip;
    for (const auto& stream : json["streams"]) {
        if (stream["codec_type"] == "video") {
            clip.video_codec = stream["codec_name"];
            clip.width = stream["width"];
            clip.height = stream["height"];
        } else if (stream["codec_type"] == "audio") {
            clip.audio_codec = stream["codec_name"];
        }
    }
    clip.duration = std::stod(json["format"]["duration"].get<std::string>());
    return clip;
}

Json clip_settings(const std::string& cache, const std::optional<std::string>& launcher,
                   bool replay_buffer) {
    Json settings = {{"cacheDirectoryPath", cache},
                     {"quality", "high"},
                     {"replayBufferEnabled", replay_buffer},
                     {"replayLengthSeconds", 30}};
    if (launcher) {
        settings["gstreamerRuntime"] = {{"launchExecutablePath", *launcher}};
    }
    return settings;
}

Json load_payload(const std::string& rom, const std::optional<Json>& clip) {
    Json payload = {{"coreId", "mgba"},
                    {"platformId", "gba"},
                    {"gameId", "game"},
                    {"title", "Game"},
                    {"source", {{"kind", "file"}, {"filePath", rom}}}};
    if (clip) {
        payload["clipRecordingSettings"] = *clip;
    }
    return payload;
}

// A runner on mgba that skips frame events and collects everything else.
class ClipSession {
  public:
    ClipSession()
        : runner_(
              {{"LUMENKITE_USE_LIBRETRO_CORES", "1"},
               {"LUMENKITE_CORE_BUNDLE_DIR", real_cores_dir()},
               {"LUMENKITE_AUDIO_SINK", "null"},
               {"PATH", std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin"}}) {}

    // Events other than frames until the reply to `id`, which is returned last.
    std::vector<Json> command(const std::string& type, const std::string& id, const Json& payload,
                              seconds timeout = seconds(30)) {
        runner_.send(type, id, payload);
        return until_reply(id, timeout);
    }

    std::vector<Json> until_reply(const std::string& id, seconds timeout = seconds(30)) {
        std::vector<Json> events;
        const auto deadline = steady_clock::now() + timeout;
        while (steady_clock::now() < deadline) {
            auto line =
                runner_.read_line(duration_cast<milliseconds>(deadline - steady_clock::now()));
            if (!line) {
                break;
            }
            Json event = Json::parse(*line);
            if (event["name"] == "frameReady") {
                continue;
            }
            events.push_back(event);
            if (is_reply_to(event, id)) {
                return events;
            }
        }
        ADD_FAILURE() << "no reply to " << id << "; stderr: " << runner_.stderr_text();
        return events;
    }

    // Lets the game run, discarding frames.
    void play_for(milliseconds how_long) {
        const auto until = steady_clock::now() + how_long;
        while (steady_clock::now() < until) {
            auto line = runner_.read_line(duration_cast<milliseconds>(until - steady_clock::now()));
            if (line && line->find("\"frameReady\"") == std::string::npos) {
                ADD_FAILURE() << "unexpected event " << *line;
            }
        }
    }

    RunnerProcess& runner() { return runner_; }

  private:
    RunnerProcess runner_;
};

Json succeeded(const std::string& name, const std::string& id, const Json& result) {
    return {{"name", "commandSucceeded"},
            {"payload", {{"commandName", name}, {"requestId", id}, {"result", result}}}};
}

std::vector<Json> failed(const std::string& name, const std::string& id,
                         const std::string& message) {
    return {
        {{"name", "error"}, {"payload", {{"code", "RUNNER_COMMAND_FAILED"}, {"message", message}}}},
        {{"name", "commandFailed"},
         {"payload", {{"commandName", name}, {"message", message}, {"requestId", id}}}}};
}

class ClipRecordingE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(fs::path(real_cores_dir()) / "mgba_libretro.so")) {
            FAIL() << "mgba_libretro.so is missing from " << real_cores_dir();
        }
    }
    std::string rom = LK_TEST_ROM_PATH;
    TempDir dir;
};

TEST_F(ClipRecordingE2e, ReplayClipAndManualRecordingBecomeMp4Files) {
    const std::string launcher = find_program("gst-launch-1.0");
    if (launcher.empty()) {
        GTEST_SKIP() << "gst-launch-1.0 is not installed (scripts/install-deps.sh installs it)";
    }
    ASSERT_FALSE(find_program("ffprobe").empty()) << "ffprobe is missing";
    const std::string cache = dir.file("cache");
    ClipSession session;
    auto loaded = session.command("loadRom", "l",
                                  load_payload(rom, clip_settings(cache, "gst-launch-1.0", true)));
    ASSERT_EQ(loaded.back()["name"], "commandSucceeded") << loaded.back().dump();
    EXPECT_TRUE(fs::is_directory(cache));

    auto status = session.command("getClipRecordingStatus", "s", Json::object());
    EXPECT_EQ(status.back(), succeeded("getClipRecordingStatus", "s",
                                       {{"encoderAvailable", true},
                                        {"manualRecordingActive", false},
                                        {"replayBufferActive", true},
                                        {"replayLengthSeconds", 30},
                                        {"statusMessage", nullptr}}));

    session.play_for(milliseconds(3500));
    const std::string replay = dir.file("clips/replay.mp4");
    const std::string replay_thumb = dir.file("clips/replay.png");
    auto saved = session.command("saveReplayClip", "r",
                                 {{"outputFilePath", replay},
                                  {"thumbnailFilePath", replay_thumb},
                                  {"replayLengthSeconds", 30}},
                                 seconds(60));
    ASSERT_EQ(saved.size(), 1u) << saved.back().dump();
    const Json& reply = saved.back();
    ASSERT_EQ(reply["name"], "commandSucceeded") << reply.dump();
    EXPECT_EQ(reply["payload"]["commandName"], "saveReplayClip");
    ASSERT_EQ(reply["payload"]["result"].size(), 1u);
    const double replay_seconds = reply["payload"]["result"]["durationSeconds"].get<double>();
    // About the 3.5 s played; less when a slow build emulates below real time.
    EXPECT_GT(replay_seconds, 1.0);
    EXPECT_LT(replay_seconds, 6.0);

    auto clip = probe(replay);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->video_codec, "h264");
    EXPECT_EQ(clip->audio_codec, "aac");
    EXPECT_EQ(clip->width, 240u);
    EXPECT_EQ(clip->height, 160u);
    EXPECT_NEAR(clip->duration, replay_seconds, 0.25);
    auto thumbnail = decode_png(read_file(replay_thumb));
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width, 240u);
    EXPECT_EQ(thumbnail->height, 160u);

    auto started = session.command("startClipRecording", "m1", Json::object());
    EXPECT_EQ(started.back(), succeeded("startClipRecording", "m1", nullptr));
    EXPECT_EQ(session.command("getClipRecordingStatus", "s2", Json::object())
                  .back()["payload"]["result"]["manualRecordingActive"],
              true);
    session.play_for(milliseconds(2500));
    const std::string manual = dir.file("clips/manual.mp4");
    auto stopped = session.command(
        "stopClipRecording", "m2",
        {{"outputFilePath", manual}, {"thumbnailFilePath", dir.file("clips/manual.png")}},
        seconds(60));
    ASSERT_EQ(stopped.back()["name"], "commandSucceeded") << stopped.back().dump();
    const double manual_seconds =
        stopped.back()["payload"]["result"]["durationSeconds"].get<double>();
    EXPECT_GT(manual_seconds, 1.0);
    EXPECT_LT(manual_seconds, 4.0);
    auto manual_clip = probe(manual);
    ASSERT_TRUE(manual_clip);
    EXPECT_EQ(manual_clip->video_codec, "h264");
    EXPECT_EQ(manual_clip->audio_codec, "aac");
    EXPECT_NEAR(manual_clip->duration, manual_seconds, 0.25);
    EXPECT_TRUE(decode_png(read_file(dir.file("clips/manual.png"))));

    auto again = session.command(
        "stopClipRecording", "m3",
        {{"outputFilePath", manual}, {"thumbnailFilePath", dir.file("clips/manual.png")}});
    EXPECT_EQ(again, failed("stopClipRecording", "m3", "No manual clip recording is active."));

    // Nothing of the session's cache survives it.
    EXPECT_EQ(session.command("closeRom", "c", Json::object()).back()["name"], "commandSucceeded");
    EXPECT_FALSE(fs::exists(cache));
}

TEST_F(ClipRecordingE2e, SessionsWithoutAnEncoderAnswerWithTheirTexts) {
    ClipSession session;
    // Clip settings without a GStreamer runtime.
    auto loaded = session.command(
        "loadRom", "l", load_payload(rom, clip_settings(dir.file("c1"), std::nullopt, true)));
    ASSERT_EQ(loaded.back()["name"], "commandSucceeded");
    EXPECT_EQ(session.command("getClipRecordingStatus", "s", Json::object()).back(),
              succeeded("getClipRecordingStatus", "s",
                        {{"encoderAvailable", false},
                         {"manualRecordingActive", false},
                         {"replayBufferActive", false},
                         {"replayLengthSeconds", 30},
                         {"statusMessage", nullptr}}));
    const std::string unavailable = "Clip encoder is not available for recording.";
    EXPECT_EQ(session.command("startClipRecording", "m", Json::object()),
              failed("startClipRecording", "m", unavailable));
    session.play_for(milliseconds(300));
    EXPECT_EQ(session.command("saveReplayClip", "r",
                              {{"outputFilePath", dir.file("a.mp4")},
                               {"thumbnailFilePath", dir.file("a.png")},
                               {"replayLengthSeconds", 30}}),
              failed("saveReplayClip", "r", unavailable));
    EXPECT_TRUE(fs::is_empty(dir.file("c1")));

    // A launcher that does not exist: recording runs, the save reports the start failure.
    auto reloaded = session.command(
        "loadRom", "l2",
        load_payload(rom, clip_settings(dir.file("c2"), dir.file("no/gst-launch-1.0"), true)));
    ASSERT_EQ(reloaded.back()["name"], "commandSucceeded");
    session.play_for(milliseconds(1500));
    EXPECT_EQ(session.command("saveReplayClip", "r2",
                              {{"outputFilePath", dir.file("b.mp4")},
                               {"thumbnailFilePath", dir.file("b.png")},
                               {"replayLengthSeconds", 30}}),
              failed("saveReplayClip", "r2", "No such file or directory (os error 2)"));
    EXPECT_TRUE(decode_png(read_file(dir.file("b.png"))));  // written before the launcher ran
    EXPECT_FALSE(fs::exists(dir.file("b.mp4")));

    // No clip settings at all.
    auto plain = session.command("loadRom", "l3", load_payload(rom, std::nullopt));
    ASSERT_EQ(plain.back()["name"], "commandSucceeded");
    const std::string no_clips = "Clip recording is not available for this session.";
    EXPECT_EQ(session.command("getClipRecordingStatus", "s3", Json::object()).back(),
              succeeded("getClipRecordingStatus", "s3",
                        {{"encoderAvailable", false},
                         {"manualRecordingActive", false},
                         {"replayBufferActive", false},
                         {"replayLengthSeconds", 30},
                         {"statusMessage", no_clips}}));
    EXPECT_EQ(session.command("stopClipRecording", "m3",
                              {{"outputFilePath", dir.file("c.mp4")},
                               {"thumbnailFilePath", dir.file("c.png")}}),
              failed("stopClipRecording", "m3", no_clips));
}

}  // namespace
}  // namespace lk::e2e
