#include "cores/emulator_core.hpp"

#include <algorithm>

namespace lk {

bool core_supports(std::string_view own_core_id, const std::vector<std::string>& platform_ids,
                   std::string_view core_id, std::string_view platform_id) {
    return core_id == own_core_id &&
           std::find(platform_ids.begin(), platform_ids.end(), platform_id) != platform_ids.end();
}

}  // namespace lk
