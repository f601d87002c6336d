#pragma once

#include "input/mapped_input_state.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

class InputStateMapper {
  public:
    virtual ~InputStateMapper() = default;
    virtual MappedInputState map_input_state(const EmulatorInputState& input_state) const = 0;
};

}  // namespace lk
