#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/audio_output_host.hpp"

namespace lk {

// The ALSA host: PCM devices from the name hints (playback-capable ones), the
// "default" PCM as the default device, and streams that run their data
// callback on a thread of their own writing to the PCM.
class AlsaAudioOutputHost final : public AudioOutputHost {
  public:
    Result<std::vector<std::unique_ptr<AudioOutputDevice>>> output_devices() override;
    std::unique_ptr<AudioOutputDevice> default_output_device() override;
};

}  // namespace lk
