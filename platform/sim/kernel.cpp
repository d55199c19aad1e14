// Events, waits, threads, thread timers and message queues.
#include <algorithm>
#include <stdexcept>

#include "platform/constants.h"
#include "platform/sim/state.h"
#include "platform/sim/text.h"

namespace jobsvc::sim::detail {
namespace {


SimThread& CallingThread() {
    SimThread* thread = Scheduler::Current();
    if (thread == nullptr) {
        throw std::logic_error(
            "a thread-bound call of the simulated platform on the test's thread");
    }
    return *thread;
}

}  // namespace

KernelHandle MachineState::CreateEvent(bool manualReset, bool initiallySignalled,
                                       const char16_t* name, uint32_t processId) {
    // Process 0 is the test itself, which no fault concerns.
    if (processId != 0 && faults.createEvent.Hit(processId)) return nullptr;
    std::shared_ptr<EventObject> event;
    const std::u16string folded = Fold(View(name));
    if (!folded.empty()) {
        // An existing event is opened as it is: its kind and state stay.
        std::shared_ptr<EventObject>& named = namedEvents[folded];
        if (!named) {
            named = std::make_shared<EventObject>();
            named->manualReset = manualReset;
            named->signalled = initiallySignalled;
            named->name = folded;
        }
        event = named;
    } else {
        event = std::make_shared<EventObject>();
        event->manualReset = manualReset;
        event->signalled = initiallySignalled;
    }
    ++event->handles;
    return kernelHandles.Add(KernelHandleRecord{std::move(event), processId});
}

uint32_t MachineState::WaitEvent(KernelHandle handle, uint32_t timeoutMs) {
    const KernelHandleRecord* record = kernelHandles.Find(handle);
    if (record == nullptr) return WAIT_FAILED;
    // Held by the waiter: a handle closed meanwhile does not take the object away.
    const std::shared_ptr<EventObject> event = record->event;
    if (event->signalled) {
        if (!event->manualReset) event->signalled = false;
        return WAIT_OBJECT_0;
    }
    if (timeoutMs == 0) return WAIT_TIMEOUT;

    EventWaiter waiter{&CallingThread()};
    event->waiters.push_back(&waiter);
    struct Leave {
        EventObject& event;
        EventWaiter* waiter;
        ~Leave() { std::erase(event.waiters, waiter); }
    } leave{*event, &waiter};

    const std::optional<uint64_t> deadline =
        timeoutMs == INFINITE ? std::nullopt : std::optional(scheduler.Now() + timeoutMs);
    for (;;) {
        const WakeReason reason = scheduler.Block(deadline);
        if (waiter.granted) return WAIT_OBJECT_0;
        if (reason == WakeReason::Terminated) return WAIT_FAILED;
        if (reason == WakeReason::TimedOut) return WAIT_TIMEOUT;
    }
}

bool MachineState::SetEvent(KernelHandle handle) {
    const KernelHandleRecord* record = kernelHandles.Find(handle);
    if (record == nullptr) return false;
    EventObject& event = *record->event;
    if (event.manualReset) {
        event.signalled = true;
        for (EventWaiter* waiter : event.waiters) {
            waiter->granted = true;
            scheduler.Wake(*waiter->thread);
        }
        event.waiters.clear();
        return true;
    }
    if (event.waiters.empty()) {
        event.signalled = true;
        return true;
    }
    // The signal goes straight to the longest waiter, so no other thread can steal it.
    EventWaiter* first = event.waiters.front();
    event.waiters.pop_front();
    first->granted = true;
    scheduler.Wake(*first->thread);
    return true;
}

bool MachineState::CloseKernelHandle(KernelHandle handle) {
    const KernelHandleRecord* record = kernelHandles.Find(handle);
    if (record == nullptr) return false;
    EventObject& event = *record->event;
    // A named event lives while any handle is open; the next creator makes it afresh.
    if (--event.handles == 0 && !event.name.empty()) namedEvents.erase(event.name);
    kernelHandles.Remove(handle);
    return true;
}

ThreadData& MachineState::CurrentThreadData() {
    SimThread& thread = CallingThread();
    return thread.Process()->threadData.at(thread.Id());
}

KernelHandle SimKernel::CreateNamedEvent(bool manualReset, bool initiallySignalled,
                                         const char16_t* name) {
    const KernelHandle handle =
        p_.machine.CreateEvent(manualReset, initiallySignalled, name, p_.id);
    if (handle == nullptr) return p_.Fail(p_.machine.faults.createEvent.Error(), handle);
    return handle;
}

uint32_t SimKernel::Wait(KernelHandle handle, uint32_t timeoutMs) {
    const uint32_t result = p_.machine.WaitEvent(handle, timeoutMs);
    if (result == WAIT_FAILED) return p_.Fail(ERROR_INVALID_HANDLE, result);
    return result;
}

bool SimKernel::SetEvent(KernelHandle handle) {
    return p_.machine.SetEvent(handle) || p_.Fail(ERROR_INVALID_HANDLE, false);
}

bool SimKernel::CloseHandle(KernelHandle handle) {
    if (p_.machine.CloseKernelHandle(handle)) return true;
    ++p_.machine.invalidReleases;
    return p_.Fail(ERROR_INVALID_HANDLE, false);
}

bool SimKernel::StartThread(ThreadProc proc, void* parameter) {
    if (p_.machine.faults.startThread.Hit(p_.id)) {
        return p_.Fail(p_.machine.faults.startThread.Error(), false);
    }
    p_.StartThread([proc, parameter] { (void)proc(parameter); });
    return true;
}

uint32_t SimKernel::CurrentThreadId() {
    const SimThread* thread = Scheduler::Current();
    return thread == nullptr ? 0 : thread->Id();
}

Win32Error SimKernel::LastError() { return p_.LastError(); }

uintptr_t SimMessages::SetTimer(uintptr_t, uint32_t periodMs, TimerProc callback) {
    ThreadData& data = p_.machine.CurrentThreadData();
    if (p_.machine.faults.setTimer.Hit(p_.id)) {
        return p_.Fail(p_.machine.faults.setTimer.Error(), uintptr_t{0});
    }
    // Without a window the requested identifier is ignored and a fresh one assigned.
    const uint32_t period = std::clamp(periodMs, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    const uintptr_t id = p_.machine.nextTimerId++;
    data.timers.push_back(Timer{id, period, callback, p_.machine.scheduler.Now() + period});
    return id;
}

bool SimMessages::KillTimer(uintptr_t timerId) {
    ThreadData& data = p_.machine.CurrentThreadData();
    if (std::erase_if(data.timers, [&](const Timer& timer) { return timer.id == timerId; }) > 0) {
        return true;
    }
    return p_.Fail(ERROR_INVALID_TIMER_ID, false);
}

int32_t SimMessages::GetAndDispatchMessage() {
    ThreadData& data = p_.machine.CurrentThreadData();
    Scheduler& scheduler = p_.machine.scheduler;
    for (;;) {
        if (!data.messages.empty()) {
            const PostedMessage message = data.messages.front();
            data.messages.pop_front();
            // No window receives a thread message: dispatching one does nothing.
            return message.message == WM_QUIT ? 0 : 1;
        }
        // Timer messages come only when no posted message waits, the earliest due first.
        Timer* due = nullptr;
        std::optional<uint64_t> next;
        for (Timer& timer : data.timers) {
            if (timer.due <= scheduler.Now() && (due == nullptr || timer.due < due->due))
                due = &timer;
            if (!next || timer.due < *next) next = timer.due;
        }
        if (due != nullptr) {
            due->due = scheduler.Now() + due->periodMs;
            const uintptr_t id = due->id;
            const TimerProc proc = due->proc;  // the callback may kill or set timers
            proc(nullptr, WM_TIMER, id, static_cast<uint32_t>(scheduler.Now()));
            return 1;
        }
        data.waitingForMessage = true;
        const WakeReason reason = scheduler.Block(next);
        data.waitingForMessage = false;
        if (reason == WakeReason::Terminated) return 0;
    }
}

bool SimMessages::PostToThread(uint32_t threadId, uint32_t message, uintptr_t wParam,
                               intptr_t lParam) {
    for (ProcessState* owner : p_.machine.processStates) {
        const auto found = owner->threadData.find(threadId);
        if (found == owner->threadData.end()) continue;
        ThreadData& data = found->second;
        data.messages.push_back(PostedMessage{message, wParam, lParam});
        if (data.waitingForMessage) p_.machine.scheduler.Wake(*data.thread);
        return true;
    }
    return p_.Fail(ERROR_INVALID_THREAD_ID, false);
}

}  // namespace jobsvc::sim::detail
