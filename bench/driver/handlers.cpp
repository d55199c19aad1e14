#include "handlers.h"

namespace bench {
namespace {

constexpr wchar_t kProgIdClassKey[] = L"Tenmoor.TenmoorHandler\\CLSID";
constexpr wchar_t kSampleSettingsKey[] = L"Software\\JobServicesTest\\Handler";

bool SetText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

std::optional<std::wstring> GetText(HKEY root, const wchar_t* key, const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

}  // namespace

std::optional<HandlerChoice> HandlerChoice::Prepare(const std::wstring& noopHandlerPath) {
    const std::optional<std::wstring> sample = GetText(HKEY_CLASSES_ROOT, kProgIdClassKey, nullptr);
    if (!sample) return std::nullopt;
    const std::wstring classKey = std::wstring(L"CLSID\\") + noop_handler::kClassIdText;
    if (!SetText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", nullptr, noopHandlerPath) ||
        !SetText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel", L"Both")) {
        return std::nullopt;
    }
    return HandlerChoice(*sample);
}

bool HandlerChoice::UseNoop() {
    return SetText(HKEY_CLASSES_ROOT, kProgIdClassKey, nullptr, noop_handler::kClassIdText);
}

bool HandlerChoice::UseSample() {
    return SetText(HKEY_CLASSES_ROOT, kProgIdClassKey, nullptr, sampleClassId_);
}

bool SetSampleJobLength(DWORD durationMs) {
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSampleSettingsKey, L"DurationMs", REG_DWORD,
                           &durationMs, sizeof durationMs) == ERROR_SUCCESS;
}

std::wstring SampleJobLogPath() {
    return GetText(HKEY_LOCAL_MACHINE, kSampleSettingsKey, L"JobLog").value_or(std::wstring());
}

RunCounter::~RunCounter() {
    if (counter_ != nullptr) UnmapViewOfFile(counter_);
    if (mapping_ != nullptr) CloseHandle(mapping_);
}

LONG RunCounter::Runs() {
    if (counter_ == nullptr) {
        mapping_ = OpenFileMappingW(FILE_MAP_READ, FALSE,
                                    noop_handler::CallCounterName(processId_).c_str());
        if (mapping_ == nullptr) return 0;
        counter_ = static_cast<const noop_handler::CallCounter*>(
            MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, sizeof(noop_handler::CallCounter)));
        if (counter_ == nullptr) return 0;
    }
    return counter_->runs;
}

}  // namespace bench
