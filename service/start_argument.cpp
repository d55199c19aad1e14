#include "service/start_argument.h"

namespace jobsvc {

uint32_t ParseStartArgument(const char16_t* text) {
    if (text == nullptr) return 0;
    while (*text == u' ' || (*text >= u'\t' && *text <= u'\r')) ++text;
    const bool negative = *text == u'-';
    if (*text == u'-' || *text == u'+') ++text;
    uint32_t value = 0;  // unsigned arithmetic wraps modulo 2^32, as intended
    for (; *text >= u'0' && *text <= u'9'; ++text) value = value * 10u + (*text - u'0');
    return negative ? 0u - value : value;
}

}  // namespace jobsvc
