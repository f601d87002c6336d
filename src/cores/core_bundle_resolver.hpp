#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/error.hpp"

namespace lk {

// Finds the core library file for a core id.
class CoreBundleResolver {
  public:
    virtual ~CoreBundleResolver() = default;
    virtual Result<std::string> resolve_core_binary(std::string_view core_id,
                                                    std::string_view platform_id) const = 0;
};

// Searches an ordered list of directories for "<core_id with - as _>_libretro.so".
class FilesystemCoreBundleResolver final : public CoreBundleResolver {
  public:
    explicit FilesystemCoreBundleResolver(std::vector<std::string> directories);

    Result<std::string> resolve_core_binary(std::string_view core_id,
                                            std::string_view platform_id) const override;

    [[nodiscard]] const std::vector<std::string>& directories() const { return directories_; }

  private:
    std::vector<std::string> directories_;
};

std::string core_library_file_name(std::string_view core_id);

// The bundle directories in search order: LUMENKITE_CORE_BUNDLE_DIR's entries,
// then "cores" and "../Resources/cores" beside the executable, then "cores".
std::vector<std::string> default_core_bundle_directories();

}  // namespace lk
