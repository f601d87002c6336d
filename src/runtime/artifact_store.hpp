#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/error.hpp"

namespace lk {

// File access for save states, previews and screenshots at the shell's paths.
class ArtifactStore {
  public:
    virtual ~ArtifactStore() = default;
    virtual Result<std::vector<std::uint8_t>> read_save_state(const std::string& path) = 0;
    virtual Status write_save_state(const std::string& path,
                                    std::span<const std::uint8_t> bytes) = 0;
    virtual Status write_image(const std::string& path, std::span<const std::uint8_t> bytes) = 0;
};

using ArtifactStoreHandle = std::shared_ptr<ArtifactStore>;

}  // namespace lk
