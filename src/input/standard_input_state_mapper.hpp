#pragma once

#include <cstdint>

#include "input/input_state_mapper.hpp"

namespace lk {

// The one mapping every core uses: named buttons to joypad bits, C buttons to
// the right stick, stick positions to signed 16-bit axes.
class StandardInputStateMapper final : public InputStateMapper {
  public:
    MappedInputState map_input_state(const EmulatorInputState& input_state) const override;
};

// -1..1 to the libretro axis range: negatives scale by 32768, others by 32767,
// rounded half away from zero.
std::int16_t map_analog_axis(double value);

}  // namespace lk
