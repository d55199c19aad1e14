#include "settings.h"

namespace sample_handler {
namespace {

bool ReadString(const std::wstring& key, const wchar_t* name, std::wstring* value) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS) {
        return false;
    }
    *value = buffer;
    return true;
}

bool ReadDword(const std::wstring& key, const wchar_t* name, DWORD* value) {
    DWORD size = sizeof *value;
    return RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, value,
                        &size) == ERROR_SUCCESS;
}

Mode ParseMode(const std::wstring& text) {
    if (lstrcmpiW(text.c_str(), L"fail") == 0) return Mode::Fail;
    if (lstrcmpiW(text.c_str(), L"norun") == 0) return Mode::NoRun;
    if (lstrcmpiW(text.c_str(), L"crash") == 0) return Mode::Crash;
    return Mode::Ok;
}

// Reads what `key` holds; values it lacks leave `settings` as it was.
void Overlay(const std::wstring& key, Settings* settings) {
    std::wstring mode;
    if (ReadString(key, L"Mode", &mode)) settings->mode = ParseMode(mode);
    (void)ReadDword(key, L"DurationMs", &settings->durationMs);
}

}  // namespace

Settings ReadSettings(const wchar_t* task) {
    Settings settings;
    const std::wstring key = kSettingsKey;
    Overlay(key, &settings);
    (void)ReadString(key, L"JobLog", &settings.jobLog);
    if (task != nullptr && *task != L'\0') Overlay(key + L"\\Tasks\\" + task, &settings);
    return settings;
}

}  // namespace sample_handler
