// COM as the runtime uses it: apartments, security, automation strings, scripted job handlers
// behind ProgIDs, and type libraries.
#include <cstdlib>
#include <cstring>

#include "platform/constants.h"
#include "platform/sim/state.h"
#include "platform/sim/text.h"

namespace jobsvc::sim::detail {
namespace {

constexpr int32_t kRunDispatchId = 1;

AutoString NewString(MachineState& machine, std::u16string_view text) {
    // Laid out as the platform's: a byte count in front of the characters and a terminator.
    auto* block = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) + (text.size() + 1) * 2));
    if (block == nullptr) return nullptr;
    block[0] = static_cast<uint32_t>(text.size() * 2);
    auto* characters = reinterpret_cast<char16_t*>(block + 1);
    std::memcpy(characters, text.data(), text.size() * 2);
    characters[text.size()] = u'\0';
    machine.strings.insert(characters);
    return characters;
}

std::u16string StringText(AutoString text) { return std::u16string(View(text)); }

AutomationCall Call(AutomationCall::Kind kind, uint32_t processId) {
    return AutomationCall{kind, processId, {}, Guid{}, 0, 0, 0, 0, 0};
}

// Apartment depth of the calling thread; calls made on the test's thread share one.
int32_t& ApartmentDepth(ProcessState& process) {
    SimThread* thread = Scheduler::Current();
    if (thread == nullptr) return process.controllerComDepth;
    return thread->Process()->threadData.at(thread->Id()).comDepth;
}

}  // namespace

void MachineState::FreeString(AutoString text) {
    if (text == nullptr) return;
    if (strings.erase(text) == 0) {
        ++invalidReleases;
        return;
    }
    std::free(reinterpret_cast<uint32_t*>(text) - 1);
}

HResult SimAutomation::Initialize() {
    if (p_.machine.faults.comInitialize.Hit(p_.id)) return p_.machine.faults.comInitialize.Result();
    ++p_.comBalance;
    return ApartmentDepth(p_)++ == 0 ? S_OK : S_FALSE;
}

void SimAutomation::Uninitialize() {
    --p_.comBalance;
    --ApartmentDepth(p_);
}

SecurityDescriptor SimAutomation::CreateOpenSecurityDescriptor() {
    if (p_.machine.faults.securityDescriptor.Hit(p_.id)) return nullptr;
    return p_.machine.securityDescriptors.Add(SecurityDescriptorRecord{p_.id});
}

void SimAutomation::FreeSecurityDescriptor(SecurityDescriptor descriptor) {
    if (descriptor != nullptr && !p_.machine.securityDescriptors.Remove(descriptor)) {
        ++p_.machine.invalidReleases;
    }
}

HResult SimAutomation::InitializeSecurity(SecurityDescriptor descriptor,
                                          uint32_t authenticationLevel, uint32_t impersonationLevel,
                                          uint32_t capabilities) {
    Fault& fault = p_.machine.faults.initializeSecurity;
    const HResult result = fault.Hit(p_.id) ? fault.Result() : S_OK;
    p_.machine.securityCalls.push_back(
        SecurityRecord{p_.id, p_.machine.securityDescriptors.Find(descriptor) != nullptr,
                       authenticationLevel, impersonationLevel, capabilities, result});
    return result;
}

AutoString SimAutomation::AllocString(std::u16string_view text) {
    if (p_.machine.faults.allocString.Hit(p_.id)) return nullptr;
    return NewString(p_.machine, text);
}

AutoString SimAutomation::AllocStringFromAnsi(const char* text) {
    if (text == nullptr) return nullptr;
    if (p_.machine.faults.allocString.Hit(p_.id)) return nullptr;
    return NewString(p_.machine, Widen(text));
}

void SimAutomation::FreeString(AutoString text) { p_.machine.FreeString(text); }

HResult SimAutomation::ClassFromProgId(AutoString progId, Guid* classId) {
    AutomationCall call = Call(AutomationCall::Kind::ClassFromProgId, p_.id);
    call.text = StringText(progId);
    const auto found = p_.machine.progIds.find(Fold(call.text));
    if (classId == nullptr) {
        call.result = E_INVALIDARG;
    } else if (found == p_.machine.progIds.end()) {
        call.result = CO_E_CLASSSTRING;
    } else {
        *classId = found->second;
        call.classId = found->second;
        call.result = S_OK;
    }
    p_.machine.automationCalls.push_back(call);
    return call.result;
}

HResult SimAutomation::CreateDispatch(const Guid& classId, uint32_t context,
                                      DispatchObject* result) {
    AutomationCall call = Call(AutomationCall::Kind::CreateDispatch, p_.id);
    call.classId = classId;
    call.context = context;
    const auto found = p_.machine.classes.find(GuidText(classId));
    if (result == nullptr) {
        call.result = E_POINTER;
    } else if (found == p_.machine.classes.end()) {
        call.result = REGDB_E_CLASSNOTREG;
    } else if (found->second.behaviour == HandlerScript::Behaviour::NotCreatable) {
        call.result = found->second.failure;
    } else {
        // The object keeps the script it was created with, as a real instance keeps its code.
        *result = p_.machine.dispatchObjects.Add(DispatchRecord{found->second});
        call.result = S_OK;
    }
    p_.machine.automationCalls.push_back(call);
    return call.result;
}

HResult SimAutomation::GetIdOfName(DispatchObject object, AutoString name, uint32_t locale,
                                   int32_t* dispatchId) {
    AutomationCall call = Call(AutomationCall::Kind::GetIdOfName, p_.id);
    call.text = StringText(name);
    call.locale = locale;
    const DispatchRecord* record = p_.machine.dispatchObjects.Find(object);
    if (record == nullptr || dispatchId == nullptr) {
        call.result = E_INVALIDARG;
    } else if (record->script.behaviour == HandlerScript::Behaviour::NoRunMethod ||
               !EqualNoCase(call.text, u"Run")) {
        call.result = DISP_E_UNKNOWNNAME;
    } else {
        *dispatchId = kRunDispatchId;
        call.dispatchId = kRunDispatchId;
        call.result = S_OK;
    }
    p_.machine.automationCalls.push_back(call);
    return call.result;
}

HResult SimAutomation::InvokeWithString(DispatchObject object, int32_t dispatchId, uint32_t locale,
                                        uint16_t flags, AutoString argument) {
    MachineState& machine = p_.machine;
    AutomationCall call = Call(AutomationCall::Kind::Invoke, p_.id);
    call.text = StringText(argument);
    call.locale = locale;
    call.flags = flags;
    call.dispatchId = dispatchId;
    const DispatchRecord* record = machine.dispatchObjects.Find(object);
    if (record == nullptr) {
        call.result = E_INVALIDARG;
    } else if (dispatchId != kRunDispatchId || (flags & DISPATCH_METHOD) == 0 ||
               record->script.behaviour == HandlerScript::Behaviour::NoRunMethod) {
        call.result = DISP_E_MEMBERNOTFOUND;
    }
    if (call.result != S_OK) {
        machine.automationCalls.push_back(call);
        return call.result;
    }

    const HandlerScript script = record->script;
    const size_t callIndex = machine.automationCalls.size();
    machine.automationCalls.push_back(call);
    const SimThread* thread = Scheduler::Current();
    const size_t job = machine.jobs.size();
    machine.jobs.push_back(JobRecord{call.text, p_.id, thread ? thread->Id() : 0,
                                     machine.scheduler.Now(), std::nullopt, S_OK});
    if (script.onStart) script.onStart(job);

    // The job runs synchronously: the caller is blocked for its whole virtual duration.
    const uint64_t end = machine.scheduler.Now() + script.durationMs;
    while (machine.scheduler.Now() < end) {
        if (machine.scheduler.Block(end) == WakeReason::Terminated) return E_FAIL;
    }
    const HResult result =
        script.behaviour == HandlerScript::Behaviour::Fail ? script.failure : S_OK;
    machine.jobs[job].end = machine.scheduler.Now();
    machine.jobs[job].result = result;
    machine.automationCalls[callIndex].result = result;
    return result;
}

void SimAutomation::Release(DispatchObject object) {
    if (!p_.machine.dispatchObjects.Remove(object)) ++p_.machine.invalidReleases;
}

HResult SimTypeLibraries::Load(const char16_t* path, TypeLib* result) {
    MachineState& machine = p_.machine;
    if (result == nullptr) return E_INVALIDARG;
    if (machine.faults.loadTypeLib.Hit(p_.id)) return machine.faults.loadTypeLib.Result();
    const std::u16string folded = Fold(View(path));
    const ProfileResources* profile = nullptr;
    if (folded == Fold(p_.imagePath)) {
        if (p_.options.typeLibResource) profile = &p_.resources;
    } else if (const auto image = machine.images.find(folded); image != machine.images.end()) {
        profile = image->second;
    } else if (const auto file = machine.typeLibFiles.find(folded);
               file != machine.typeLibFiles.end()) {
        profile = file->second;
    }
    if (profile == nullptr) return TYPE_E_CANTLOADLIBRARY;
    *result = machine.typeLibs.Add(TypeLibRecord{profile});
    return S_OK;
}

HResult SimTypeLibraries::Register(TypeLib library, const char16_t* path,
                                   const char16_t* helpDirectory) {
    MachineState& machine = p_.machine;
    const TypeLibRecord* record = machine.typeLibs.Find(library);
    if (record == nullptr || path == nullptr) return E_INVALIDARG;
    TypeLibCall call{TypeLibCall::Kind::Register,         p_.id,
                     record->profile->profile.libId,      std::u16string(path),
                     std::u16string(View(helpDirectory)), S_OK};
    if (machine.faults.registerTypeLib.Hit(p_.id)) {
        call.result = machine.faults.registerTypeLib.Result();
        machine.typeLibCalls.push_back(call);
        return call.result;
    }

    // The same keys as the platform writes, through the same access checks.
    const std::u16string version = u"TypeLib\\" + GuidText(call.libId) + u"\\1.0";
    auto write = [&](const std::u16string& subKey, std::u16string_view text) {
        RegKey key = nullptr;
        if (machine.registry.CreateKey(Registry::ClassesRoot(), subKey.c_str(), KEY_WRITE, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        const std::u16string data(text);
        const Win32Error error = machine.registry.SetValue(
            key, nullptr, REG_SZ, data.c_str(), static_cast<uint32_t>((data.size() + 1) * 2));
        (void)machine.registry.CloseKey(key);
        return error == ERROR_SUCCESS;
    };
    const bool written =
        write(version, record->profile->typeLibHelp) && write(version + u"\\0\\win32", call.path) &&
        write(version + u"\\FLAGS", u"0") && write(version + u"\\HELPDIR", call.helpDirectory);
    call.result = written ? S_OK : TYPE_E_REGISTRYACCESS;
    machine.typeLibCalls.push_back(call);
    return call.result;
}

HResult SimTypeLibraries::GetAttributes(TypeLib library, TypeLibAttributes* result) {
    const TypeLibRecord* record = p_.machine.typeLibs.Find(library);
    if (record == nullptr || result == nullptr) return E_INVALIDARG;
    *result = TypeLibAttributes{record->profile->profile.libId, 0, SYS_WIN32, 1, 0};
    return S_OK;
}

bool SimTypeLibraries::UnregisterByLookup(const TypeLibAttributes& attributes, HResult* result) {
    MachineState& machine = p_.machine;
    if (machine.faults.unregisterLookup.Hit(p_.id)) return false;
    const std::u16string library = u"TypeLib\\" + GuidText(attributes.libId);
    const auto hex = [](uint16_t value) {
        std::u16string digits;
        do {
            digits.insert(digits.begin(), u"0123456789abcdef"[value % 16]);
            value /= 16;
        } while (value != 0);
        return digits;
    };
    const std::u16string version =
        library + u"\\" + hex(attributes.majorVersion) + u"." + hex(attributes.minorVersion);
    HResult status = TYPE_E_REGISTRYACCESS;
    if (machine.registry.DeleteTree(Registry::ClassesRoot(), version.c_str()) == ERROR_SUCCESS) {
        status = S_OK;
        // The library's key goes with its last version.
        if (machine.registry.SubKeys(u"HKCR\\" + library).empty()) {
            (void)machine.registry.DeleteTree(Registry::ClassesRoot(), library.c_str());
        }
    }
    machine.typeLibCalls.push_back(
        TypeLibCall{TypeLibCall::Kind::Unregister, p_.id, attributes.libId, {}, {}, status});
    if (result != nullptr) *result = status;
    return true;
}

void SimTypeLibraries::Release(TypeLib library) {
    if (!p_.machine.typeLibs.Remove(library)) ++p_.machine.invalidReleases;
}

}  // namespace jobsvc::sim::detail
