#pragma once

// Segments on disk, small frames and fake launchers for the clip recording tests.

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "clip_recording/clip_recording_segment.hpp"
#include "video/video_frame.hpp"

namespace lk::clip_test {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "lk-clip-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const fs::path& path() const { return path_; }
    [[nodiscard]] fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

inline std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_text(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// An executable shell script.
inline fs::path write_script(const fs::path& path, const std::string& body) {
    write_text(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

// A launcher that writes its arguments (one a line) and chosen variables to
// `log`, then writes the first location= file as the clip.
inline fs::path fake_launcher(const fs::path& dir, const fs::path& log,
                              const std::string& extra = {}) {
    return write_script(dir / "fake-gst-launch",
                        extra + "for a in \"$@\"; do echo \"$a\" >> '" + log.string() +
                            "'; done\n"
                            "out=''\nfor a in \"$@\"; do case \"$a\" in location=*) "
                            "out=\"${a#location=}\"; break;; esac; done\n"
                            "echo clip > \"$out\"\n");
}

// A segment of `frames` frame files (each holding its name) and `audio_frames`
// stereo frames whose left sample counts up from `first_sample`.
inline ClipRecordingSegment make_segment(const fs::path& dir, std::uint64_t frames,
                                         std::uint64_t audio_frames, double duration,
                                         std::int16_t first_sample = 0) {
    fs::create_directories(dir);
    ClipRecordingSegment segment;
    segment.directory = dir;
    segment.audio_path = dir / "audio.s16le";
    std::string audio;
    for (std::uint64_t i = 0; i < audio_frames; ++i) {
        const auto value = static_cast<std::uint16_t>(first_sample + static_cast<std::int16_t>(i));
        audio.push_back(static_cast<char>(value & 0xFF));
        audio.push_back(static_cast<char>(value >> 8));
        audio.append(2, '\0');
    }
    write_text(segment.audio_path, audio);
    for (std::uint64_t i = 0; i < frames; ++i) {
        const fs::path frame = dir / clip_frame_file_name(i);
        write_text(frame, frame.string());
        segment.frame_paths.push_back(frame);
    }
    segment.audio_frames = audio_frames;
    segment.duration_seconds = duration;
    segment.finished_at = std::chrono::steady_clock::now();
    return segment;
}

// A 4x2 opaque RGBA frame.
inline VideoFrame small_frame(std::uint8_t shade = 0x80) {
    std::vector<std::uint8_t> bytes(4 * 2 * 4, shade);
    for (std::size_t i = 3; i < bytes.size(); i += 4) {
        bytes[i] = 0xFF;
    }
    return VideoFrame{"rgba8888", PixelBuffer::from_vector(std::move(bytes)), 16, 4, 2};
}

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

}  // namespace lk::clip_test
