// The decimal value of a service start argument.
#pragma once

#include <cstdint>

namespace jobsvc {

// Leading white space, one optional sign, then digits up to the first other character; a text
// without digits is 0. The value wraps to 32 bits, a negative one to its two's complement.
// Reads the whole text whatever its length; null reads as 0.
[[nodiscard]] uint32_t ParseStartArgument(const char16_t* text);

}  // namespace jobsvc
