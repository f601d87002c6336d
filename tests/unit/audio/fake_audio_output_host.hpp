#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio_output_host.hpp"

namespace lk::testing {

// What the fake host saw, shared between the host, its devices and streams.
struct FakeAudioRecord {
    std::mutex mutex;
    AudioDataCallback data;           // guarded by mutex: the live stream's callback
    AudioErrorCallback error;         // guarded by mutex
    std::string opened_device;        // guarded by mutex: name of the last built stream's device
    AudioOutputConfig opened_config;  // guarded by mutex
    int builds = 0;                   // guarded by mutex
    std::atomic<int> live_streams{0};

    // Plays the live stream's callback once, as the device thread would.
    // Returns false when no stream is live.
    bool run_callback(AudioOutputArea area) {
        std::lock_guard lock(mutex);
        if (!data) {
            return false;
        }
        data(area);
        return true;
    }
};

struct FakeDeviceSetup {
    std::optional<std::string> name;  // absent: name() fails
    AudioOutputConfig default_config{2, 48000, AudioSampleFormat::i16};
    std::vector<AudioOutputConfigRange> ranges{{2, 8000, 192000, AudioSampleFormat::i16}};
    std::optional<std::string> build_error;
    std::optional<std::string> start_error;
};

class FakeAudioOutputStream final : public AudioOutputStream {
  public:
    FakeAudioOutputStream(std::shared_ptr<FakeAudioRecord> record,
                          std::optional<std::string> start_error)
        : record_(std::move(record)), start_error_(std::move(start_error)) {
        ++record_->live_streams;
    }
    ~FakeAudioOutputStream() override {
        std::lock_guard lock(record_->mutex);
        record_->data = nullptr;
        record_->error = nullptr;
        --record_->live_streams;
    }
    Status start() override {
        if (start_error_) {
            return fail(*start_error_);
        }
        return {};
    }

  private:
    std::shared_ptr<FakeAudioRecord> record_;
    std::optional<std::string> start_error_;
};

class FakeAudioOutputDevice final : public AudioOutputDevice {
  public:
    FakeAudioOutputDevice(FakeDeviceSetup setup, std::shared_ptr<FakeAudioRecord> record)
        : setup_(std::move(setup)), record_(std::move(record)) {}

    Result<std::string> name() const override {
        if (!setup_.name) {
            return fail("name unavailable");
        }
        return *setup_.name;
    }
    Result<AudioOutputConfig> default_output_config() const override {
        return setup_.default_config;
    }
    Result<std::vector<AudioOutputConfigRange>> supported_output_configs() const override {
        return setup_.ranges;
    }
    Result<std::unique_ptr<AudioOutputStream>> build_output_stream(
        const AudioOutputConfig& config, AudioDataCallback data_callback,
        AudioErrorCallback error_callback) override {
        if (setup_.build_error) {
            return fail(*setup_.build_error);
        }
        auto stream = std::make_unique<FakeAudioOutputStream>(record_, setup_.start_error);
        std::lock_guard lock(record_->mutex);
        record_->data = std::move(data_callback);
        record_->error = std::move(error_callback);
        record_->opened_device = setup_.name.value_or("<unnamed>");
        record_->opened_config = config;
        ++record_->builds;
        return stream;
    }

  private:
    FakeDeviceSetup setup_;
    std::shared_ptr<FakeAudioRecord> record_;
};

class FakeAudioOutputHost final : public AudioOutputHost {
  public:
    std::vector<FakeDeviceSetup> devices;
    std::optional<FakeDeviceSetup> default_device;
    std::optional<std::string> enumeration_error;
    std::shared_ptr<FakeAudioRecord> record = std::make_shared<FakeAudioRecord>();

    Result<std::vector<std::unique_ptr<AudioOutputDevice>>> output_devices() override {
        if (enumeration_error) {
            return fail(*enumeration_error);
        }
        std::vector<std::unique_ptr<AudioOutputDevice>> out;
        for (const auto& setup : devices) {
            out.push_back(std::make_unique<FakeAudioOutputDevice>(setup, record));
        }
        return out;
    }
    std::unique_ptr<AudioOutputDevice> default_output_device() override {
        if (!default_device) {
            return nullptr;
        }
        return std::make_unique<FakeAudioOutputDevice>(*default_device, record);
    }
};

}  // namespace lk::testing
