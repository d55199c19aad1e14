#include "handler_control.h"

#include "child_process.h"
#include "registry.h"
#include "sample_handler/handler_class.h"
#include "sample_handler/settings.h"

namespace e2e {
namespace {

const std::wstring settingsKey = sample_handler::kSettingsKey;
const std::wstring progIdKey = sample_handler::kProgId;

// The main key, or the one that holds a task's own settings.
std::wstring SettingsKeyOf(const std::wstring& task) {
    return task.empty() ? settingsKey : settingsKey + L"\\Tasks\\" + task;
}

}  // namespace

HandlerSettings::HandlerSettings(std::wstring jobLog)
    : jobLog_(std::move(jobLog)),
      previousJobLog_(ReadString(HKEY_LOCAL_MACHINE, settingsKey, L"JobLog")) {
    Clear();
    (void)SetString(HKEY_LOCAL_MACHINE, settingsKey, L"JobLog", jobLog_);
}

HandlerSettings::~HandlerSettings() {
    Clear();
    if (previousJobLog_) {
        (void)SetString(HKEY_LOCAL_MACHINE, settingsKey, L"JobLog", *previousJobLog_);
    } else {
        (void)DeleteValue(HKEY_LOCAL_MACHINE, settingsKey, L"JobLog");
    }
}

void HandlerSettings::Clear() {
    (void)DeleteValue(HKEY_LOCAL_MACHINE, settingsKey, L"Mode");
    (void)DeleteValue(HKEY_LOCAL_MACHINE, settingsKey, L"DurationMs");
    (void)DeleteKeyTree(HKEY_LOCAL_MACHINE, settingsKey + L"\\Tasks");
}

LSTATUS HandlerSettings::SetMode(const wchar_t* mode, const std::wstring& task) {
    return SetString(HKEY_LOCAL_MACHINE, SettingsKeyOf(task), L"Mode", mode);
}

LSTATUS HandlerSettings::SetDurationMs(DWORD milliseconds, const std::wstring& task) {
    return SetDword(HKEY_LOCAL_MACHINE, SettingsKeyOf(task), L"DurationMs", milliseconds);
}

JobLog HandlerSettings::ReadJobLog() const { return ParseJobLog(JobLogText()); }

std::string HandlerSettings::JobLogText() const { return ReadTextFile(jobLog_); }

ProgIdRemoval::ProgIdRemoval()
    : description_(ReadString(HKEY_CLASSES_ROOT, progIdKey, nullptr)),
      classId_(ReadString(HKEY_CLASSES_ROOT, progIdKey + L"\\CLSID", nullptr)),
      status_(DeleteKeyTree(HKEY_CLASSES_ROOT, progIdKey)) {}

ProgIdRemoval::~ProgIdRemoval() {
    if (description_) (void)SetString(HKEY_CLASSES_ROOT, progIdKey, nullptr, *description_);
    if (classId_) (void)SetString(HKEY_CLASSES_ROOT, progIdKey + L"\\CLSID", nullptr, *classId_);
}

}  // namespace e2e
