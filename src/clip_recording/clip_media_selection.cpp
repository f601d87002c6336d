#include "clip_recording/clip_media_selection.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "clip_recording/clip_file_io.hpp"

namespace lk {

namespace {
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
}

std::uint64_t round_to_u64(double value) {
    if (!(value > 0.0)) {
        return 0;
    }
    const double rounded = std::round(value);
    // 2^64 is exactly representable; anything at or above it saturates.
    if (rounded >= 18446744073709551616.0) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(rounded);
}

Result<ClipMediaSelection> select_clip_media(const std::vector<ClipRecordingSegment>& segments,
                                             std::optional<double> replay_length_seconds,
                                             std::uint32_t sample_rate, double capture_rate) {
    ClipMediaSelection selection;
    for (const auto& segment : segments) {
        selection.frame_paths.insert(selection.frame_paths.end(), segment.frame_paths.begin(),
                                     segment.frame_paths.end());
    }
    if (replay_length_seconds) {
        const std::uint64_t keep =
            std::max<std::uint64_t>(round_to_u64(*replay_length_seconds * capture_rate), 1);
        if (selection.frame_paths.size() > keep) {
            const auto drop = static_cast<std::ptrdiff_t>(selection.frame_paths.size() - keep);
            selection.frame_paths.erase(selection.frame_paths.begin(),
                                        selection.frame_paths.begin() + drop);
        }
    }

    double total = 0.0;
    for (const auto& segment : segments) {
        total += segment.duration_seconds;
    }
    if (total != 0.0) {
        selection.duration_seconds =
            replay_length_seconds ? std::min(total, *replay_length_seconds) : total;
    } else if (!selection.frame_paths.empty() && capture_rate > kEpsilon) {
        selection.duration_seconds =
            static_cast<double>(selection.frame_paths.size()) / capture_rate;
    }

    const double target_product = static_cast<double>(sample_rate) * selection.duration_seconds;
    const std::uint64_t target =
        std::isfinite(target_product) && target_product > 0.0 ? round_to_u64(target_product) : 0;

    std::vector<std::uint8_t> gathered;
    for (const auto& segment : segments) {
        if (segment.audio_frames == 0) {
            continue;
        }
        auto bytes = read_clip_file(segment.audio_path);
        if (!bytes) {
            return fail(std::move(bytes.error()));
        }
        const std::uint64_t whole = bytes->size() / 4 * 4;
        const std::uint64_t wanted =
            segment.audio_frames > std::numeric_limits<std::uint64_t>::max() / 4
                ? std::numeric_limits<std::uint64_t>::max()
                : segment.audio_frames * 4;
        const auto take = static_cast<std::ptrdiff_t>(std::min(whole, wanted));
        gathered.insert(gathered.end(), bytes->begin(), bytes->begin() + take);
    }

    if (target != 0) {
        const std::uint64_t available = gathered.size() / 4;
        const std::uint64_t kept = std::min(available, target);
        const auto skip = static_cast<std::ptrdiff_t>((available - kept) * 4);
        selection.audio_bytes.assign(
            gathered.begin() + skip,
            gathered.begin() + skip + static_cast<std::ptrdiff_t>(kept * 4));
        selection.audio_bytes.resize(static_cast<std::size_t>(target) * 4, 0);
        selection.audio_frames = target;
    }
    return selection;
}

double resolve_output_frame_rate(double duration_seconds, std::uint64_t frame_count,
                                 double fallback_rate) {
    const auto count = static_cast<double>(frame_count);
    if (std::isfinite(duration_seconds) && duration_seconds > kEpsilon) {
        return std::clamp(count / duration_seconds, 0.001, 120.0);
    }
    if (std::isfinite(fallback_rate) && fallback_rate > kEpsilon) {
        const double fallback_duration = count / fallback_rate;
        if (fallback_duration > kEpsilon) {
            return std::clamp(count / fallback_duration, 0.001, 120.0);
        }
    }
    return std::isnan(fallback_rate) ? 1.0 : std::max(fallback_rate, 1.0);
}

}  // namespace lk
