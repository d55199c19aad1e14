// Simulated processes: launch, threads, end; and ProcessModule() for the runtime's callbacks.
#include <cstdio>
#include <cstdlib>

#include "platform/constants.h"
#include "platform/sim/state.h"
#include "platform/sim/text.h"
#include "service/entry.h"

namespace jobsvc::sim {
namespace detail {

MachineState* controllerMachine = nullptr;

ProcessState::ProcessState(MachineState& machine, uint32_t id, const ProfileResources& resources,
                           LaunchOptions options)
    : machine(machine),
      id(id),
      resources(resources),
      options(std::move(options)),
      services(*this),
      eventLog(*this),
      automation(*this),
      typeLibraries(*this),
      kernel(*this),
      messages(*this),
      ui(*this),
      module(*this),
      platform{machine.registry, services, eventLog, automation, typeLibraries,
               kernel,           messages, ui,       module},
      serviceModule(std::make_unique<ServiceModule>(platform, resources.profile)) {}

SimThread& ProcessState::StartThread(std::function<void()> body, std::function<void()> afterExit) {
    SimThread& thread = machine.scheduler.Spawn(this, std::move(body), [this, afterExit] {
        threadData.erase(Scheduler::Current()->Id());
        if (afterExit) afterExit();
    });
    threads.push_back(&thread);
    // A thread started while its process ends goes down with it, unrun.
    if (exited) machine.scheduler.Terminate(thread);
    ThreadData data;
    data.thread = &thread;
    threadData.emplace(thread.Id(), std::move(data));
    return thread;
}

Win32Error& ProcessState::LastError() {
    const SimThread* thread = Scheduler::Current();
    if (thread == nullptr || thread->Process() != this) return controllerLastError;
    return threadData.at(thread->Id()).lastError;
}

void ProcessState::End(int32_t code) {
    if (exited) return;
    exited = true;
    exitCode = code;
    for (SimThread* thread : threads) {
        if (thread != Scheduler::Current()) machine.scheduler.Terminate(*thread);
    }
    for (auto& [name, entry] : machine.services) {
        if (entry.process == this) {
            entry.process = nullptr;
            entry.state = SERVICE_STOPPED;
        }
    }
}

Process& MachineState::Launch(const ProfileResources& profile, std::u16string commandLine,
                              LaunchOptions options, const ServiceEntry* service,
                              std::vector<std::u16string> serviceArguments) {
    const uint32_t id = nextProcessId;
    nextProcessId += 4;
    std::u16string imagePath =
        options.imagePath.empty() ? Machine::DefaultImagePath(profile) : options.imagePath;
    auto owned = std::make_unique<ProcessState>(*this, id, profile, std::move(options));
    ProcessState& state = *owned;
    state.imagePath = std::move(imagePath);
    state.commandLine = std::move(commandLine);
    images[Fold(state.imagePath)] = &profile;
    if (service != nullptr) {
        state.startedByManager = true;
        state.serviceName = service->config.serviceName;
        state.dispatcher.arguments.push_back(state.serviceName);
        for (std::u16string& argument : serviceArguments) {
            state.dispatcher.arguments.push_back(std::move(argument));
        }
    }
    processes.push_back(std::unique_ptr<Process>(new Process(std::move(owned))));
    state.process = processes.back().get();
    processStates.push_back(&state);
    lastLaunched = &state;

    auto entry = state.options.entry;
    if (!entry)
        entry = [](ServiceModule& module, ModuleHandle instance) {
            return ProgramEntry(module, instance);
        };
    auto result = std::make_shared<std::optional<int32_t>>();
    state.StartThread(
        [&state, entry, result] { *result = entry(*state.serviceModule, ImageInstance()); },
        // A process torn down before its entry returned ends with 1, as if
        // terminated.
        [&state, result] { state.End(result->value_or(1)); });
    return *state.process;
}

void MachineState::SettleIfIdle() {
    if (Scheduler::Current() == nullptr && !scheduler.Running()) {
        (void)scheduler.Run(scheduler.Now(), nullptr);
    }
}

}  // namespace detail

Process::Process(std::unique_ptr<detail::ProcessState> state) : state_(std::move(state)) {}
Process::~Process() = default;

uint32_t Process::Id() const { return state_->id; }
ServiceModule& Process::Module() { return *state_->serviceModule; }
const Platform& Process::Os() const { return state_->platform; }
ModuleHandle Process::Instance() const { return detail::ImageInstance(); }
const ProfileResources& Process::Resources() const { return state_->resources; }
std::u16string_view Process::CommandLine() const { return state_->commandLine; }
std::u16string_view Process::ImagePath() const { return state_->imagePath; }
bool Process::StartedByManager() const { return state_->startedByManager; }
bool Process::Exited() const { return state_->exited; }
int32_t Process::ExitCode() const { return state_->exitCode; }
const std::vector<std::u16string>& Process::StandardOutput() const {
    return state_->standardOutput;
}
int32_t Process::ComBalance() const { return state_->comBalance; }

size_t Process::LiveThreads() const {
    size_t live = 0;
    for (const SimThread* thread : state_->threads) live += thread->Ended() ? 0 : 1;
    return live;
}

void Process::StartThread(std::function<void()> body) {
    state_->StartThread(std::move(body));
    state_->machine.SettleIfIdle();
}

}  // namespace jobsvc::sim

namespace jobsvc {

ServiceModule& ProcessModule() {
    using sim::detail::controllerMachine;
    const sim::SimThread* thread = sim::Scheduler::Current();
    // On the test's own thread: the process launched last, for tests that call the runtime's
    // callbacks directly.
    sim::detail::ProcessState* process =
        thread != nullptr
            ? thread->Process()
            : (controllerMachine != nullptr ? controllerMachine->lastLaunched : nullptr);
    if (process == nullptr) {
        std::fputs("ProcessModule() outside any simulated process\n", stderr);
        std::abort();
    }
    return *process->serviceModule;
}

}  // namespace jobsvc
