#include "service/interval.h"

#include "platform/constants.h"
#include "platform/owned.h"
#include "service/service_module.h"

namespace jobsvc {

std::u16string IntervalKeyPath(std::u16string_view serviceName) {
    std::u16string path = u"SYSTEM\\CurrentControlSet\\Services\\";
    path += serviceName;
    path += u"\\Parameters";
    return path;
}

uint32_t TimerPeriod(uint32_t minutes) {
    const uint64_t milliseconds = uint64_t{minutes} * 60000u;
    return milliseconds > USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM
                                             : static_cast<uint32_t>(milliseconds);
}

void ServiceModule::LoadInterval() {
    const std::u16string path = IntervalKeyPath(serviceName);
    OwnedKey key;
    if (os_.registry.OpenKey(Registry::LocalMachine(), path.c_str(), KEY_READ,
                             key.Receive(os_.registry)) != ERROR_SUCCESS) {
        intervalMinutes = profile_.defaultIntervalMinutes;
        return;
    }
    // Whatever type the value has, up to four bytes become the number (little-endian, the
    // missing high bytes zero); longer data fails the query.
    uint8_t data[4] = {};
    uint32_t size = sizeof(data);
    const Win32Error error = os_.registry.QueryValue(key.Get(), u"Interval", nullptr, data, &size);
    key.Reset();
    intervalMinutes = error == ERROR_SUCCESS
                          ? uint32_t{data[0]} | uint32_t{data[1]} << 8 |
                                uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24
                          : profile_.defaultIntervalMinutes;
}

Win32Error ServiceModule::StoreInterval(uint32_t minutes, bool createKey) {
    const std::u16string path = IntervalKeyPath(serviceName);
    OwnedKey key;
    const Win32Error error =
        createKey ? os_.registry.CreateKey(Registry::LocalMachine(), path.c_str(), KEY_ALL_ACCESS,
                                           key.Receive(os_.registry))
                  : os_.registry.OpenKey(Registry::LocalMachine(), path.c_str(), KEY_ALL_ACCESS,
                                         key.Receive(os_.registry));
    if (error != ERROR_SUCCESS) return error;
    const uint8_t data[4] = {static_cast<uint8_t>(minutes), static_cast<uint8_t>(minutes >> 8),
                             static_cast<uint8_t>(minutes >> 16),
                             static_cast<uint8_t>(minutes >> 24)};
    // Only a key that cannot be had counts as failure; the write itself is not checked.
    (void)os_.registry.SetValue(key.Get(), u"Interval", REG_DWORD, data, sizeof(data));
    return ERROR_SUCCESS;
}

}  // namespace jobsvc
