#pragma once
#include <cstdint>

namespace core {

// The program's flags are 16-bit booleans: true is -1, false is 0.
using Flag = std::int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;

}  // namespace core
