#include "audio/desktop_audio_sink.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <limits>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "audio/audio_playback_policy.hpp"
#include "fake_audio_output_host.hpp"

namespace lk {
namespace {

using testing::FakeAudioOutputHost;
using testing::FakeDeviceSetup;

constexpr std::size_t kPrefill = 7680;  // Standard policy at 48000 Hz

AudioStreamDescriptor stream_at(double rate, double speed = 1.0) {
    AudioStreamDescriptor descriptor;
    descriptor.sample_rate = rate;
    descriptor.source_sample_rate = rate;
    descriptor.playback_speed = speed;
    return descriptor;
}

AudioSampleBatch constant_batch(std::size_t frames, std::int16_t value) {
    return AudioSampleBatch{std::vector<std::int16_t>(frames * 2, value), frames};
}

FakeDeviceSetup device_named(std::string name) {
    FakeDeviceSetup setup;
    setup.name = std::move(name);
    return setup;
}

struct SinkFixture {
    std::shared_ptr<FakeAudioOutputHost> host = std::make_shared<FakeAudioOutputHost>();
    std::unique_ptr<DesktopAudioSink> sink;

    SinkFixture() { host->default_device = device_named("System Default"); }
    DesktopAudioSink& make() {
        sink = std::make_unique<DesktopAudioSink>(host, false);
        return *sink;
    }
    // One I16 stereo callback of `frames` frames.
    std::vector<std::int16_t> pull(std::size_t frames) {
        std::vector<std::int16_t> area(frames * 2, -7);
        EXPECT_TRUE(host->record->run_callback({area.data(), area.size()}));
        return area;
    }
};

TEST(DesktopAudioSink, ChoosesTheRequestedDeviceByDisplayName) {
    struct Case {
        std::optional<std::string> requested;
        const char* opened;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "System Default"},
        {"USB Audio Device", "USB Audio Device"},
        {"usb audio DEVICE", "USB Audio Device"},
        {"Headphones", "HDA Intel PCH Headphones"},
        {"USB Audio Device (card 2)", "USB Audio Device"},
        {"Nothing Like It", "System Default"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested.value_or("<none>"));
        SinkFixture f;
        f.host->devices = {
            device_named("HDMI Output"), FakeDeviceSetup{}, device_named("USB Audio Device"),
            device_named("HDA Intel PCH Headphones"), device_named("USB Audio Device Second")};
        auto& sink = f.make();
        ASSERT_TRUE(sink.set_settings({c.requested, 0.8f, false}));
        ASSERT_TRUE(sink.configure(stream_at(48000), AudioPlaybackMode::standard));
        std::lock_guard lock(f.host->record->mutex);
        EXPECT_EQ(f.host->record->opened_device, c.opened);
        EXPECT_EQ(sink.device_label(), c.opened);
    }
}

TEST(DesktopAudioSink, ReportsEnumerationFailureAndUnnamedDevices) {
    SinkFixture f;
    f.host->enumeration_error = "enumeration broke";
    auto& sink = f.make();
    ASSERT_TRUE(sink.set_settings({"USB", 0.8f, false}));
    const auto configured = sink.configure(stream_at(48000), AudioPlaybackMode::standard);
    ASSERT_FALSE(configured);
    EXPECT_EQ(configured.error().message(), "enumeration broke");

    SinkFixture unnamed;
    unnamed.host->default_device = FakeDeviceSetup{};
    auto& plain = unnamed.make();
    ASSERT_TRUE(plain.configure(stream_at(48000), AudioPlaybackMode::standard));
    EXPECT_EQ(plain.device_label(), "Unknown output");
}

TEST(DesktopAudioSink, OpensTheRankedFormatAndComputesRates) {
    SinkFixture f;
    f.host->default_device->ranges = {{2, 8000, 96000, AudioSampleFormat::i16},
                                      {2, 8000, 96000, AudioSampleFormat::f32}};
    auto& sink = f.make();
    ASSERT_TRUE(sink.configure(stream_at(32000, 2.0), AudioPlaybackMode::standard));
    ASSERT_TRUE(sink.stream_config().has_value());
    EXPECT_EQ(*sink.stream_config(), (AudioOutputConfig{2, 48000, AudioSampleFormat::f32}));
    ASSERT_NE(sink.pipeline(), nullptr);
    EXPECT_EQ(sink.pipeline()->source_rate(), 32000u);
    EXPECT_EQ(sink.pipeline()->input_rate(), 64000u);
    EXPECT_TRUE(sink.pipeline()->low_rate_smoothing());

    f.host->default_device->ranges = {{2, 44100, 44100, AudioSampleFormat::f32}};
    f.host->default_device->default_config = {2, 44100, AudioSampleFormat::i16};
    ASSERT_TRUE(sink.configure(stream_at(48000), AudioPlaybackMode::standard));
    EXPECT_EQ(*sink.stream_config(), (AudioOutputConfig{2, 44100, AudioSampleFormat::i16}));
}

TEST(DesktopAudioSink, ConfigureErrorsLeaveNoStream) {
    struct Case {
        const char* name;
        AudioStreamDescriptor descriptor;
        FakeDeviceSetup device;
        const char* message;
    };
    FakeDeviceSetup good = device_named("Dev");
    FakeDeviceSetup no_ranges = good;
    no_ranges.default_config.channels = 1;
    no_ranges.ranges.clear();
    FakeDeviceSetup dsd_only = good;
    dsd_only.ranges = {{2, 8000, 96000, AudioSampleFormat::dsd_u8}};
    FakeDeviceSetup build_fails = good;
    build_fails.build_error = "build refused";
    FakeDeviceSetup start_fails = good;
    start_fails.start_error = "start refused";
    AudioStreamDescriptor float_stream = stream_at(48000);
    float_stream.sample_format = "pcm_f32le";
    const std::vector<Case> cases = {
        {"format", float_stream, good, "Unsupported audio stream format: pcm_f32le"},
        {"zero rate", stream_at(0), good, "Audio sample rate must be positive."},
        {"huge rate", stream_at(5e9), good, "Audio sample rate exceeds u32."},
        {"no formats", stream_at(48000), no_ranges,
         "No supported desktop audio output formats are available."},
        {"dsd", stream_at(48000), dsd_only, "Unsupported desktop audio sample format: DsdU8"},
        {"build", stream_at(48000), build_fails, "build refused"},
        {"start", stream_at(48000), start_fails, "start refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SinkFixture f;
        f.host->default_device = c.device;
        auto& sink = f.make();
        const auto configured = sink.configure(c.descriptor, AudioPlaybackMode::standard);
        ASSERT_FALSE(configured);
        EXPECT_EQ(configured.error().message(), c.message);
        EXPECT_FALSE(sink.has_stream());
        EXPECT_EQ(f.host->record->live_streams.load(), 0);
        EXPECT_TRUE(sink.push_samples(constant_batch(1024, 100)));
        EXPECT_EQ(sink.source_frames(), 0u);
    }
}

TEST(DesktopAudioSink, NoDeviceIsSilentSuccess) {
    SinkFixture f;
    f.host->default_device.reset();
    auto& sink = f.make();
    ASSERT_TRUE(sink.configure(stream_at(48000), AudioPlaybackMode::standard));
    EXPECT_FALSE(sink.has_stream());
    EXPECT_EQ(sink.pipeline(), nullptr);
    EXPECT_TRUE(sink.push_samples(constant_batch(4096, 1000)));
    EXPECT_TRUE(sink.set_muted(true));
    EXPECT_TRUE(sink.clear());
    EXPECT_TRUE(sink.stop());
}

TEST(DesktopAudioSink, PrimesPlaysAndAppliesVolumeAndMute) {
    SinkFixture f;
    auto& sink = f.make();
    ASSERT_TRUE(sink.configure(stream_at(48000), AudioPlaybackMode::standard));
    // 16384 / 32768 * 32767 rounds back to 16384 through the pipeline.
    ASSERT_TRUE(sink.push_samples(constant_batch(kPrefill - 1, 16384)));
    EXPECT_EQ(f.pull(256), std::vector<std::int16_t>(512, 0));  // still priming
    ASSERT_TRUE(sink.push_samples(constant_batch(20000, 16384)));
    EXPECT_EQ(f.pull(512), std::vector<std::int16_t>(1024, 13107));  // 80 % volume
    EXPECT_EQ(f.pull(256), std::vector<std::int16_t>(512, 13107));

    ASSERT_TRUE(sink.set_settings({std::nullopt, 0.5f, false}));
    EXPECT_EQ(f.pull(256), std::vector<std::int16_t>(512, 8192));
    ASSERT_TRUE(sink.set_settings({std::nullopt, 7.0f, false}));
    EXPECT_EQ(f.pull(256), std::vector<std::int16_t>(512, 16384));
    ASSERT_TRUE(sink.set_settings({std::nullopt, std::numeric_limits<float>::quiet_NaN(), false}));
    EXPECT_EQ(sink.device_state().volume_thousandths.load(), 800u);
    EXPECT_EQ(f.host->record->builds, 1);  // volume changes never reopen the device

    const auto& state = sink.device_state();
    EXPECT_EQ(state.callbacks.load(), 5u);
    EXPECT_EQ(state.prefill_frames.load(), 256u);
    EXPECT_EQ(state.requested_frames.load(), 1536u);
    EXPECT_EQ(state.read_frames.load(), 1280u);
    EXPECT_EQ(state.underrun_frames.load(), 0u);

    // Muting clears the buffer: silence, and after unmuting playback waits for the prefill.
    ASSERT_TRUE(sink.set_muted(true));
    ASSERT_TRUE(sink.push_samples(constant_batch(kPrefill + 100, 16384)));
    EXPECT_EQ(f.pull(256), std::vector<std::int16_t>(512, 0));
    ASSERT_TRUE(sink.set_muted(false));
    ASSERT_TRUE(sink.push_samples(constant_batch(kPrefill - 10, 16384)));
    EXPECT_EQ(f.pull(256), std::vector<std::int16_t>(512, 0));
    ASSERT_TRUE(sink.push_samples(constant_batch(10, 16384)));
    EXPECT_EQ(f.pull(512), std::vector<std::int16_t>(1024, 13107));
}

TEST(DesktopAudioSink, DeviceCallbackNeverWaitsForTheProducer) {
    SinkFixture f;
    auto& sink = f.make();
    ASSERT_TRUE(sink.configure(stream_at(48000), AudioPlaybackMode::standard));
    ASSERT_TRUE(sink.push_samples(constant_batch(kPrefill, 1000)));

    // Another reader holds the buffer lock until released, as a producer mid-append would.
    std::promise<void> holding;
    std::promise<void> release;
    auto released = release.get_future().share();
    std::thread holder([&] {
        sink.device_state().buffer.try_read(1, [&](std::size_t, StereoFrame) {
            holding.set_value();
            released.wait();
        });
    });
    holding.get_future().wait();

    EXPECT_EQ(f.pull(300), std::vector<std::int16_t>(600, 0));
    EXPECT_EQ(sink.device_state().underrun_frames.load(), 300u);
    EXPECT_EQ(sink.device_state().read_frames.load(), 0u);

    // The producer gives up after its bounded wait and drops the converted audio.
    ASSERT_TRUE(sink.push_samples(constant_batch(480, 1000)));
    EXPECT_EQ(sink.contention_dropped_frames(), 480u);
    EXPECT_EQ(sink.source_frames(), kPrefill + 480);
    EXPECT_EQ(sink.output_frames(), kPrefill);

    release.set_value();
    holder.join();
    const auto played = f.pull(4);
    EXPECT_NE(played[7], 0);
}

TEST(DesktopAudioSink, StreamErrorsAreOnlyLogged) {
    SinkFixture f;
    auto& sink = f.make();
    ASSERT_TRUE(sink.configure(stream_at(48000), AudioPlaybackMode::standard));
    {
        std::lock_guard lock(f.host->record->mutex);
        ASSERT_TRUE(f.host->record->error);
        f.host->record->error(Error("device unplugged"));
    }
    EXPECT_TRUE(sink.has_stream());
    EXPECT_EQ(f.host->record->live_streams.load(), 1);
    EXPECT_TRUE(sink.push_samples(constant_batch(128, 5)));
}

TEST(DesktopAudioSink, ReconfiguringReplacesTheStreamAndSettingsOnlyReopenOnDeviceChange) {
    SinkFixture f;
    f.host->devices = {device_named("Speakers"), device_named("Headset")};
    auto& sink = f.make();
    // Without a descriptor a new device name is only stored.
    ASSERT_TRUE(sink.set_settings({"Headset", 0.8f, false}));
    EXPECT_EQ(f.host->record->builds, 0);
    EXPECT_EQ(sink.requested_device(), "Headset");

    ASSERT_TRUE(sink.configure(stream_at(48000), AudioPlaybackMode::standard));
    ASSERT_TRUE(sink.push_samples(constant_batch(kPrefill, 1000)));
    EXPECT_EQ(f.pull(64)[0], 800);
    ASSERT_TRUE(sink.configure(stream_at(32768), AudioPlaybackMode::netplay));
    EXPECT_EQ(f.host->record->builds, 2);
    EXPECT_EQ(f.host->record->live_streams.load(), 1);
    EXPECT_EQ(sink.device_state().callbacks.load(), 0u);       // counters restart with the stream
    EXPECT_EQ(f.pull(64), std::vector<std::int16_t>(128, 0));  // the old audio is gone

    ASSERT_TRUE(sink.set_settings({"  ", 0.3f, true}));  // blank: back to the default
    EXPECT_EQ(f.host->record->builds, 3);
    EXPECT_FALSE(sink.requested_device().has_value());
    ASSERT_TRUE(sink.set_settings({std::nullopt, 0.6f, false}));
    EXPECT_EQ(f.host->record->builds, 3);
    {
        std::lock_guard lock(f.host->record->mutex);
        EXPECT_EQ(f.host->record->opened_device, "System Default");
    }

    ASSERT_TRUE(sink.stop());
    EXPECT_FALSE(sink.has_stream());
    EXPECT_EQ(f.host->record->live_streams.load(), 0);
    ASSERT_TRUE(sink.set_settings({"Speakers", 0.6f, false}));
    EXPECT_EQ(f.host->record->builds, 3);  // stopped: no descriptor to reopen with
}

TEST(DesktopAudioSink, OversizeBatchKeepsTheNewestRing) {
    SinkFixture f;
    auto& sink = f.make();
    ASSERT_TRUE(sink.configure(stream_at(48000), AudioPlaybackMode::standard));
    AudioSampleBatch batch = constant_batch(200000, 0);
    for (std::size_t i = 0; i < 200000; ++i) {
        batch.samples[2 * i] = static_cast<std::int16_t>(i % 30000);
    }
    ASSERT_TRUE(sink.push_samples(std::move(batch)));
    EXPECT_EQ(sink.source_frames(), 200000u);
    EXPECT_EQ(sink.output_frames(), 65536u);
    const auto snapshot = sink.device_state().buffer.snapshot();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->buffered_frames, 65536u);
    EXPECT_EQ(snapshot->dropped_total, 200000u - 65536u);
    ASSERT_TRUE(sink.set_settings({std::nullopt, 1.0f, false}));
    const auto played = f.pull(2);
    // The first kept frame is frame 134464, whose left value was 134464 % 30000.
    EXPECT_EQ(played[0], 14464);
    EXPECT_EQ(played[2], 14465);
}

TEST(DesktopAudioSink, MuteStormsWhileTheDeviceRuns) {
    SinkFixture f;
    auto& sink = f.make();
    ASSERT_TRUE(sink.configure(stream_at(44100), AudioPlaybackMode::netplay));
    std::atomic<bool> running{true};
    std::thread device([&] {
        std::vector<std::int16_t> area(2 * 441);
        while (running.load()) {
            f.host->record->run_callback({area.data(), area.size()});
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 400; ++i) {
        ASSERT_TRUE(sink.set_muted(i % 2 == 0));
        ASSERT_TRUE(sink.push_samples(constant_batch(735, 2000)));
        if (i % 50 == 0) {
            ASSERT_TRUE(sink.clear());
        }
    }
    running.store(false);
    device.join();
    ASSERT_TRUE(sink.set_muted(false));
    EXPECT_GT(sink.device_state().callbacks.load(), 0u);
    // Still sound after the storm: unmuted audio plays once primed.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(sink.push_samples(constant_batch(735, 2000)));
    }
    const auto played = f.pull(441);
    EXPECT_NE(played[880], 0);
}

TEST(DesktopAudioSink, DebugLinesDescribeTheStreamAndTheDeviceState) {
    SinkFixture f;
    f.sink = std::make_unique<DesktopAudioSink>(f.host, true);
    auto& sink = *f.sink;
    const auto policy = AudioPlaybackPolicy::for_output(AudioPlaybackMode::standard, 48000);
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(sink.set_settings({std::nullopt, 0.8f, false}));
    ASSERT_TRUE(sink.configure(stream_at(48000), AudioPlaybackMode::standard));
    ASSERT_TRUE(sink.push_samples(constant_batch(kPrefill, 100)));
    f.pull(256);
    // Thirty underruns, each after the buffer primed again; only the 30th is reported.
    std::size_t buffered = kPrefill - 256;
    for (int i = 0; i < 30; ++i) {
        f.pull(buffered + 10);
        ASSERT_TRUE(sink.push_samples(constant_batch(policy.recovery_prefill_frames, 100)));
        buffered = policy.recovery_prefill_frames;
    }
    ASSERT_TRUE(sink.set_muted(true));
    const std::string text = ::testing::internal::GetCapturedStderr();

    const std::string ready = fmt::format(
        "[lumenkite-runner] Desktop audio ready: mode=Standard source=48000Hz speed=1.00 "
        "effectiveSource=48000Hz output=48000Hz channels=2 format=I16 device=\"System Default\" "
        "volume=800 muted=false burstFrames=1024 ringFrames={} prefillFrames={} "
        "recoveryPrefillFrames={} ceilingFrames={}\n",
        policy.ring_frames, policy.prefill_frames, policy.recovery_prefill_frames,
        policy.ceiling_frames);
    EXPECT_NE(text.find(ready), std::string::npos) << text;
    const std::string started = fmt::format(
        "[lumenkite-runner] Desktop audio playback started: requestedFrames=256 readFrames=0 "
        "underrunFrames=0 bufferedFrames={} capacityFrames={} underrunCallbacks=0\n",
        kPrefill - 256, policy.ring_frames);
    EXPECT_NE(text.find(started), std::string::npos) << text;
    const std::string underrun = fmt::format(
        "[lumenkite-runner] Desktop audio underrun: requestedFrames={0} readFrames={1} "
        "underrunFrames=10 bufferedFrames=0 capacityFrames={2} underrunCallbacks=30\n",
        policy.recovery_prefill_frames + 10, policy.recovery_prefill_frames, policy.ring_frames);
    EXPECT_NE(text.find(underrun), std::string::npos) << text;
    std::size_t underrun_lines = 0;
    for (auto at = text.find("Desktop audio underrun:"); at != std::string::npos;
         at = text.find("Desktop audio underrun:", at + 1)) {
        ++underrun_lines;
    }
    EXPECT_EQ(underrun_lines, 1u);
    EXPECT_NE(text.find("[lumenkite-runner] Desktop audio muted state changed: muted=true\n"),
              std::string::npos);
}

TEST(DesktopAudioSinkFactory, CreatesUnopenedSinks) {
    auto host = std::make_shared<FakeAudioOutputHost>();
    host->default_device = device_named("Dev");
    DesktopAudioSinkFactory factory(host, false);
    auto sink = factory.create_audio_sink();
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(host->record->builds, 0);
    EXPECT_TRUE(sink->push_samples(constant_batch(10, 1)));
    EXPECT_TRUE(sink->configure(stream_at(48000), AudioPlaybackMode::standard));
    EXPECT_EQ(host->record->builds, 1);
}

}  // namespace
}  // namespace lk
