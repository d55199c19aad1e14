// The process image (command line, file name, resources) and message boxes.
#include <algorithm>

#include "platform/sim/state.h"
#include "platform/sim/text.h"

namespace jobsvc::sim::detail {
namespace {

// Any non-empty bytes: the runtime only hands the resource on.
constexpr std::byte kTypeLibBytes[] = {std::byte{'M'}, std::byte{'S'}, std::byte{'F'},
                                       std::byte{'T'}};

}  // namespace

ModuleHandle ImageInstance() {
    // Where the platform loads an executable by default.
    return reinterpret_cast<ModuleHandle>(uintptr_t{0x00400000});
}

const char16_t* SimModule::CommandLine() { return p_.commandLine.c_str(); }

uint32_t SimModule::FileName(char16_t* buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) return 0;
    const auto length = static_cast<uint32_t>(p_.imagePath.size());
    // A short buffer gets the cut text, terminated, and the capacity as the result.
    const uint32_t copied = std::min(length, capacity - 1);
    std::copy_n(p_.imagePath.data(), copied, buffer);
    buffer[copied] = u'\0';
    return length < capacity ? length : capacity;
}

int32_t SimModule::LoadText(ModuleHandle instance, uint32_t id, char16_t* buffer,
                            int32_t capacity) {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = u'\0';
    if ((instance != ImageInstance() && instance != nullptr) || !p_.options.stringTable) return 0;
    std::u16string_view text;
    switch (id) {
        case IDS_SERVICENAME:
            text = p_.resources.serviceName;
            break;
        case IDS_CREATEINSTANCEFAILED:
            text = p_.resources.createInstanceFailed;
            break;
        case IDS_NORUNMETHOD:
            text = p_.resources.noRunMethod;
            break;
        case IDS_RUNFAILED:
            text = p_.resources.runFailed;
            break;
        default:
            return 0;
    }
    const size_t copied = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::copy_n(text.data(), copied, buffer);
    buffer[copied] = u'\0';
    return static_cast<int32_t>(copied);
}

std::span<const std::byte> SimModule::FindResourceData(ModuleHandle instance, const char16_t* type,
                                                       uint32_t id) {
    if (instance != ImageInstance() && instance != nullptr) return {};
    if (EqualNoCase(View(type), u"REGISTRY") && id == IDR_APPID && p_.options.registrationScript) {
        return std::as_bytes(std::span(p_.resources.registrationScript));
    }
    if (EqualNoCase(View(type), u"TYPELIB") && id == 1 && p_.options.typeLibResource) {
        return kTypeLibBytes;
    }
    return {};
}

const char16_t* SimModule::NextChar(const char16_t* text) {
    if (text == nullptr || *text == u'\0') return text;
    return text + 1;
}

int32_t SimModule::CompareNoCase(const char16_t* left, const char16_t* right) {
    return sim::CompareNoCase(View(left), View(right));
}

int32_t SimUserInterface::ShowMessageBox(const char16_t* text, const char16_t* caption,
                                         uint32_t style) {
    p_.machine.messageBoxes.push_back(MessageBoxRecord{p_.machine.scheduler.Now(), p_.id,
                                                       std::u16string(View(text)),
                                                       std::u16string(View(caption)), style});
    return 1;  // IDOK: nobody is there to choose otherwise
}

}  // namespace jobsvc::sim::detail
