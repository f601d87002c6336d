#pragma once

#include "runtime/artifact_store.hpp"

namespace lk {

// Stores artifacts on the local file system. Writes never leave a torn file:
// the bytes go to a temporary file beside the target, are flushed to disk and
// renamed over it, so the target holds either the old or the new content.
class FilesystemArtifactStore final : public ArtifactStore {
  public:
    Result<std::vector<std::uint8_t>> read_save_state(const std::string& path) override;
    Status write_save_state(const std::string& path, std::span<const std::uint8_t> bytes) override;
    Status write_image(const std::string& path, std::span<const std::uint8_t> bytes) override;
};

// Creates missing parent directories, then replaces `path` atomically.
Status write_file_atomically(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace lk
