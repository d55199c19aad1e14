// The test's side of the simulated machine.
#include "platform/sim/machine.h"

#include <stdexcept>
#include <utility>

#include "platform/constants.h"
#include "platform/sim/state.h"
#include "platform/sim/text.h"

namespace jobsvc::sim {
namespace detail {

MachineState::MachineState() {
    // The eight deliverables lie at their default paths, ready for a service entry to start.
    for (const ProfileResources& profile : AllProfiles()) {
        images[Fold(Machine::DefaultImagePath(profile))] = &profile;
    }
    progIds[Fold(u"Tenmoor.TenmoorHandler")] = Machine::HandlerClassId();
    classes[GuidText(Machine::HandlerClassId())] = HandlerScript{};
}

MachineState::~MachineState() {
    // The threads unwind through the runtime, which may still call into this machine.
    scheduler.Shutdown();
    while (!strings.empty()) FreeString(*strings.begin());
    if (controllerMachine == this) controllerMachine = nullptr;
}

}  // namespace detail

namespace {

std::vector<uint8_t> TextBytes(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

// The executable named by a service's binary path, which may be quoted and carry arguments.
std::u16string ImageOfBinaryPath(std::u16string_view path) {
    if (!path.empty() && path[0] == u'"') {
        const size_t close = path.find(u'"', 1);
        return std::u16string(path.substr(1, close == path.npos ? path.npos : close - 1));
    }
    return std::u16string(path);
}

const std::vector<StatusRecord> kNoStatus;

}  // namespace

Machine::Machine() : state_(std::make_unique<detail::MachineState>()) {
    detail::controllerMachine = state_.get();
}

Machine::~Machine() = default;

uint64_t Machine::Now() const { return state_->scheduler.Now(); }

void Machine::RunFor(uint64_t ms) { (void)state_->scheduler.Run(Now() + ms, nullptr); }

bool Machine::RunUntil(std::function<bool()> done, uint64_t maxMs) {
    return state_->scheduler.Run(Now() + maxMs, done);
}

void Machine::At(uint64_t time, std::function<void()> action) {
    state_->scheduler.At(time, std::move(action));
}

void Machine::Settle() { state_->SettleIfIdle(); }

std::u16string Machine::DefaultImagePath(const ProfileResources& profile) {
    std::u16string path = u"C:\\Program Files\\Orvanta\\";
    for (char16_t c : profile.profile.shortName)
        path += c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
    return path + u".EXE";
}

const ProfileResources& Machine::Profile(std::u16string_view shortName) {
    for (const ProfileResources& resources : AllProfiles()) {
        if (EqualNoCase(resources.profile.shortName, shortName)) return resources;
    }
    throw std::invalid_argument("no such profile: " + Narrow(shortName));
}

Process& Machine::Launch(const ProfileResources& profile, std::u16string arguments,
                         LaunchOptions options) {
    if (options.imagePath.empty()) options.imagePath = DefaultImagePath(profile);
    std::u16string commandLine = options.commandLine.value_or(
        u"\"" + options.imagePath + u"\"" + (arguments.empty() ? u"" : u" " + arguments));
    Process& process =
        state_->Launch(profile, std::move(commandLine), std::move(options), nullptr, {});
    Settle();
    return process;
}

void Machine::AddImage(std::u16string path, const ProfileResources& profile) {
    state_->images[Fold(path)] = &profile;
}

std::vector<Process*> Machine::Processes() {
    std::vector<Process*> processes;
    for (const auto& process : state_->processes) processes.push_back(process.get());
    return processes;
}

void Machine::AddServiceEntry(StoredServiceConfig config) {
    if (config.displayName.empty()) config.displayName = config.serviceName;
    state_->AddService(std::move(config));
}

void Machine::AddServiceEntry(std::u16string name, std::u16string binaryPath) {
    StoredServiceConfig config;
    config.serviceName = name;
    config.displayName = std::move(name);
    config.desiredAccess = SERVICE_ALL_ACCESS;
    config.binaryPath = std::move(binaryPath);
    AddServiceEntry(std::move(config));
}

Process* Machine::StartService(std::u16string_view name, std::vector<std::u16string> args,
                               LaunchOptions options) {
    detail::ServiceEntry* entry = state_->FindService(name);
    if (entry == nullptr || entry->process != nullptr) return nullptr;
    const std::u16string image = ImageOfBinaryPath(entry->config.binaryPath);
    const auto known = state_->images.find(Fold(image));
    if (known == state_->images.end()) return nullptr;
    options.imagePath = image;
    // The manager starts the image with the binary path as its whole command line; the
    // start arguments go to ServiceMain.
    Process& process = state_->Launch(*known->second, entry->config.binaryPath, std::move(options),
                                      entry, std::move(args));
    entry->process = state_->processStates.back();
    entry->state = SERVICE_START_PENDING;
    Settle();
    return &process;
}

bool Machine::Control(std::u16string_view name, uint32_t code) {
    const bool queued = state_->QueueControl(name, code);
    Settle();
    return queued;
}

bool Machine::ServiceExists(std::u16string_view name) const {
    return state_->FindService(name) != nullptr;
}

std::optional<StoredServiceConfig> Machine::ServiceConfig(std::u16string_view name) const {
    const detail::ServiceEntry* entry = state_->FindService(name);
    if (entry == nullptr) return std::nullopt;
    return entry->config;
}

uint32_t Machine::ServiceState(std::u16string_view name) const {
    const detail::ServiceEntry* entry = state_->FindService(name);
    return entry == nullptr ? SERVICE_STOPPED : entry->state;
}

Process* Machine::ServiceProcess(std::u16string_view name) {
    const detail::ServiceEntry* entry = state_->FindService(name);
    return entry == nullptr || entry->process == nullptr ? nullptr : entry->process->process;
}

const std::vector<StatusRecord>& Machine::StatusRecords(std::u16string_view name) const {
    const auto found = state_->statusHistory.find(Fold(name));
    return found == state_->statusHistory.end() ? kNoStatus : found->second;
}

std::vector<ServiceStatus> Machine::StatusHistory(std::u16string_view name) const {
    std::vector<ServiceStatus> history;
    for (const StatusRecord& record : StatusRecords(name)) history.push_back(record.status);
    return history;
}

std::vector<uint32_t> Machine::StateHistory(std::u16string_view name) const {
    std::vector<uint32_t> states;
    for (const StatusRecord& record : StatusRecords(name))
        states.push_back(record.status.currentState);
    return states;
}

const std::vector<ControlRecord>& Machine::Controls() const { return state_->controls; }
const std::vector<std::u16string>& Machine::ScCloseLog() const { return state_->scCloseLog; }

void Machine::CreateKey(std::u16string_view path) { state_->registry.CreatePath(path); }
bool Machine::KeyExists(std::u16string_view path) const { return state_->registry.Exists(path); }
void Machine::DeleteKey(std::u16string_view path) { state_->registry.DeletePath(path); }

void Machine::SetValue(std::u16string_view path, std::u16string_view name, uint32_t type,
                       std::span<const uint8_t> data) {
    state_->registry.SetPathValue(path, name, type, data);
}

void Machine::SetDword(std::u16string_view path, std::u16string_view name, uint32_t value) {
    const uint8_t bytes[] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                             static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    SetValue(path, name, REG_DWORD, bytes);
}

void Machine::SetString(std::u16string_view path, std::u16string_view name,
                        std::u16string_view text) {
    SetValue(path, name, REG_SZ, TextBytes(std::u16string(text) + u'\0'));
}

std::optional<RegValue> Machine::GetValue(std::u16string_view path,
                                          std::u16string_view name) const {
    return state_->registry.GetPathValue(path, name);
}

std::optional<uint32_t> Machine::GetDword(std::u16string_view path,
                                          std::u16string_view name) const {
    const std::optional<RegValue> value = GetValue(path, name);
    if (!value || value->type != REG_DWORD || value->data.size() != 4) return std::nullopt;
    const std::vector<uint8_t>& d = value->data;
    return uint32_t{d[0]} | uint32_t{d[1]} << 8 | uint32_t{d[2]} << 16 | uint32_t{d[3]} << 24;
}

std::optional<std::u16string> Machine::GetString(std::u16string_view path,
                                                 std::u16string_view name) const {
    const std::optional<RegValue> value = GetValue(path, name);
    if (!value || value->type != REG_SZ) return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i + 1 < value->data.size(); i += 2) {
        text += static_cast<char16_t>(value->data[i] | value->data[i + 1] << 8);
    }
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

std::vector<std::u16string> Machine::SubKeys(std::u16string_view path) const {
    return state_->registry.SubKeys(path);
}

std::vector<std::u16string> Machine::ValueNames(std::u16string_view path) const {
    return state_->registry.ValueNames(path);
}

void Machine::DenyAccess(std::u16string_view path, uint32_t mask) {
    state_->registry.Deny(path, mask);
}
void Machine::ClearDenials() { state_->registry.ClearDenials(); }

EventRef Machine::OpenEvent(std::u16string_view name, bool manualReset, bool initiallySignalled) {
    const std::u16string owned(name);
    return EventRef(state_.get(),
                    state_->CreateEvent(manualReset, initiallySignalled, owned.c_str(), 0));
}

bool Machine::EventExists(std::u16string_view name) const {
    return state_->namedEvents.count(Fold(name)) > 0;
}

bool Machine::EventSignalled(std::u16string_view name) const {
    const auto found = state_->namedEvents.find(Fold(name));
    return found != state_->namedEvents.end() && found->second->signalled;
}

Guid Machine::HandlerClassId() {
    return Guid{0x5A1D0C3E, 0x7B2F, 0x4E8A, {0x9C, 0x61, 0x2D, 0x4F, 0x8B, 0x7E, 0x0A, 0x13}};
}

void Machine::SetHandler(HandlerScript script) {
    // The ProgID is left as it is: a test may have unregistered it on purpose.
    state_->classes[GuidText(HandlerClassId())] = std::move(script);
}

void Machine::RegisterProgId(std::u16string_view progId, const Guid& classId,
                             HandlerScript script) {
    state_->progIds[Fold(progId)] = classId;
    state_->classes[GuidText(classId)] = std::move(script);
}

void Machine::UnregisterProgId(std::u16string_view progId) { state_->progIds.erase(Fold(progId)); }

const std::vector<JobRecord>& Machine::Jobs() const { return state_->jobs; }
const std::vector<AutomationCall>& Machine::AutomationCalls() const {
    return state_->automationCalls;
}
const std::vector<SecurityRecord>& Machine::SecurityCalls() const { return state_->securityCalls; }

void Machine::AddTypeLibFile(std::u16string path, const ProfileResources& profile) {
    state_->typeLibFiles[Fold(path)] = &profile;
}

const std::vector<TypeLibCall>& Machine::TypeLibCalls() const { return state_->typeLibCalls; }
const std::vector<EventRecord>& Machine::Events() const { return state_->events; }

std::vector<std::u16string> Machine::EventTexts() const {
    std::vector<std::u16string> texts;
    for (const EventRecord& event : state_->events) texts.push_back(event.text);
    return texts;
}

const std::vector<MessageBoxRecord>& Machine::MessageBoxes() const { return state_->messageBoxes; }

Faults& Machine::Inject() { return state_->faults; }

HandleCounts Machine::OpenHandles() const {
    const detail::MachineState& s = *state_;
    HandleCounts counts;
    counts.registryKeys = s.registry.OpenKeys();
    counts.scHandles = s.scHandles.Size();
    counts.kernelHandles = s.kernelHandles.Size();
    counts.eventSources = s.eventSources.Size();
    counts.dispatchObjects = s.dispatchObjects.Size();
    counts.strings = s.strings.size();
    counts.typeLibraries = s.typeLibs.Size();
    counts.securityDescriptors = s.securityDescriptors.Size();
    return counts;
}

size_t Machine::InvalidReleases() const {
    return state_->invalidReleases + state_->registry.InvalidCloses();
}

EventRef::EventRef(EventRef&& other) noexcept
    : machine_(std::exchange(other.machine_, nullptr)),
      handle_(std::exchange(other.handle_, nullptr)) {}

EventRef& EventRef::operator=(EventRef&& other) noexcept {
    if (this != &other) {
        Close();
        machine_ = std::exchange(other.machine_, nullptr);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

EventRef::~EventRef() { Close(); }

bool EventRef::Take() {
    return handle_ != nullptr && machine_->WaitEvent(handle_, 0) == WAIT_OBJECT_0;
}

void EventRef::Set() {
    if (handle_ != nullptr) (void)machine_->SetEvent(handle_);
}

bool EventRef::Signalled() const {
    if (handle_ == nullptr) return false;
    const detail::KernelHandleRecord* record = machine_->kernelHandles.Find(handle_);
    return record != nullptr && record->event->signalled;
}

void EventRef::Close() {
    if (handle_ != nullptr) (void)machine_->CloseKernelHandle(std::exchange(handle_, nullptr));
}

}  // namespace jobsvc::sim
