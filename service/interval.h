// The interval setting and the timer period formed from it.
#pragma once

#include <cstdint>
#include <string>

namespace jobsvc {

// HKLM path of the key that holds "Interval": the Parameters key of the service's own key.
[[nodiscard]] std::u16string IntervalKeyPath(std::u16string_view serviceName);

// minutes x 60000, without wrapping: capped at the longest thread-timer period the platform
// accepts (a wrapped product would turn a 50-day interval into 13 seconds). Zero stays zero.
[[nodiscard]] uint32_t TimerPeriod(uint32_t minutes);

}  // namespace jobsvc
