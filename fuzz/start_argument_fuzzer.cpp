// Start arguments of any length and content: never read past their end (AddressSanitizer),
// never overflow into undefined behaviour (UndefinedBehaviorSanitizer), and agree with a
// wide-integer reading of the same rule.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <string>

#include "service/start_argument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (c == 0) break;
        text += c;
    }
    // Heap-allocated to its exact length, so that a read past the terminator is caught.
    auto* exact = new char16_t[text.size() + 1];
    std::copy(text.begin(), text.end(), exact);
    exact[text.size()] = 0;
    const uint32_t value = jobsvc::ParseStartArgument(exact);
    delete[] exact;

    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    const bool negative = i < text.size() && text[i] == u'-';
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
    uint64_t magnitude = 0;  // kept below 2^32, so the next step cannot overflow
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        magnitude = (magnitude * 10 + (text[i] - u'0')) % (uint64_t{1} << 32);
    }
    const uint32_t low = static_cast<uint32_t>(magnitude);
    if (value != (negative ? 0u - low : low)) std::abort();
    return 0;
}
