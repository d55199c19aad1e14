#include "platform/sim/scheduler.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace jobsvc::sim {
namespace {

thread_local SimThread* currentThread = nullptr;

// A thread that is unwinding may not block (its destructors run), nor throw again.
bool Unwinding() { return std::uncaught_exceptions() > 0; }

}  // namespace

Scheduler::~Scheduler() { Shutdown(); }

SimThread* Scheduler::Current() { return currentThread; }

SimThread& Scheduler::Spawn(detail::ProcessState* process, std::function<void()> body,
                            std::function<void()> onExit) {
    auto owned = std::make_unique<SimThread>();
    SimThread& thread = *owned;
    // Multiples of four, like the platform's, and never 0.
    thread.id_ = nextThreadId_;
    nextThreadId_ += 4;
    thread.process_ = process;
    thread.body_ = std::move(body);
    thread.onExit_ = std::move(onExit);
    thread.terminating_ = shuttingDown_;
    threads_.push_back(std::move(owned));
    runnable_.push_back(&thread);
    thread.thread_ = std::thread([this, &thread] { ThreadMain(thread); });
    return thread;
}

void Scheduler::ThreadMain(SimThread& thread) {
    {
        std::unique_lock lock(mutex_);
        thread.turn_.wait(lock, [&] { return current_ == &thread; });
    }
    currentThread = &thread;
    thread.state_ = SimThread::State::Running;
    thread.started_ = true;
    if (!thread.terminating_) {
        try {
            thread.body_();
        } catch (const ThreadTerminated&) {
        } catch (...) {
            failure_ = std::current_exception();
        }
    }
    if (thread.onExit_) {
        try {
            thread.onExit_();
        } catch (...) {
            failure_ = std::current_exception();
        }
    }
    thread.state_ = SimThread::State::Done;
    currentThread = nullptr;
    std::lock_guard lock(mutex_);
    current_ = nullptr;
    controllerTurn_.notify_one();
}

WakeReason Scheduler::Block(std::optional<uint64_t> deadline) {
    SimThread* self = currentThread;
    if (self == nullptr) {
        throw std::logic_error("a blocking call of the simulated platform on the test's thread");
    }
    if (self->terminating_) {
        if (Unwinding()) return WakeReason::Terminated;
        throw ThreadTerminated{};
    }
    self->state_ = SimThread::State::Blocked;
    self->deadline_ = deadline;
    self->blockOrder_ = order_++;
    {
        std::unique_lock lock(mutex_);
        current_ = nullptr;
        controllerTurn_.notify_one();
        self->turn_.wait(lock, [&] { return current_ == self; });
    }
    self->state_ = SimThread::State::Running;
    if (self->terminating_) {
        if (Unwinding()) return WakeReason::Terminated;
        throw ThreadTerminated{};
    }
    return self->wakeReason_;
}

void Scheduler::MakeRunnable(SimThread& thread, WakeReason reason) {
    thread.state_ = SimThread::State::Runnable;
    thread.deadline_.reset();
    thread.wakeReason_ = reason;
    runnable_.push_back(&thread);
}

void Scheduler::Wake(SimThread& thread) {
    if (thread.state_ == SimThread::State::Blocked) MakeRunnable(thread, WakeReason::Woken);
}

void Scheduler::Terminate(SimThread& thread) {
    if (thread.state_ == SimThread::State::Done) return;
    thread.terminating_ = true;
    if (thread.state_ == SimThread::State::Blocked) MakeRunnable(thread, WakeReason::Terminated);
}

void Scheduler::At(uint64_t time, std::function<void()> action) {
    actions_.push_back(Action{std::max(time, now_), order_++, std::move(action)});
}

void Scheduler::HandOff(SimThread& thread) {
    std::unique_lock lock(mutex_);
    current_ = &thread;
    thread.turn_.notify_one();
    controllerTurn_.wait(lock, [&] { return current_ == nullptr; });
}

void Scheduler::RunRunnable() {
    while (!runnable_.empty()) {
        SimThread& thread = *runnable_.front();
        runnable_.pop_front();
        HandOff(thread);
        if (thread.state_ == SimThread::State::Done && thread.thread_.joinable()) {
            thread.thread_.join();
        }
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    }
}

std::optional<uint64_t> Scheduler::NextDeadline() const {
    std::optional<uint64_t> next;
    auto consider = [&](uint64_t time) {
        if (!next || time < *next) next = time;
    };
    for (const auto& thread : threads_) {
        if (thread->state_ == SimThread::State::Blocked && thread->deadline_) {
            consider(*thread->deadline_);
        }
    }
    for (const Action& action : actions_) consider(action.time);
    return next;
}

void Scheduler::FireDue() {
    // Threads and actions due at this instant, in the order in which they were set up.
    struct Due {
        uint64_t order;
        SimThread* thread;
    };
    std::vector<Due> due;
    for (const auto& thread : threads_) {
        if (thread->state_ == SimThread::State::Blocked && thread->deadline_ &&
            *thread->deadline_ <= now_) {
            due.push_back({thread->blockOrder_, thread.get()});
        }
    }
    for (const Action& action : actions_) {
        if (action.time <= now_) due.push_back({action.order, nullptr});
    }
    std::sort(due.begin(), due.end(), [](const Due& a, const Due& b) { return a.order < b.order; });
    for (const Due& item : due) {
        if (item.thread != nullptr) {
            // An earlier action may have woken it already.
            if (item.thread->state_ == SimThread::State::Blocked) {
                MakeRunnable(*item.thread, WakeReason::TimedOut);
            }
            continue;
        }
        auto found = std::find_if(actions_.begin(), actions_.end(),
                                  [&](const Action& action) { return action.order == item.order; });
        std::function<void()> run = std::move(found->run);
        actions_.erase(found);
        run();
    }
}

bool Scheduler::Run(uint64_t limit, const std::function<bool()>& done) {
    if (currentThread != nullptr || running_) {
        throw std::logic_error("the simulated machine was asked to run from inside itself");
    }
    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};

    for (;;) {
        RunRunnable();
        if (done && done()) return true;
        const std::optional<uint64_t> next = NextDeadline();
        if (!next || *next > limit) {
            now_ = std::max(now_, limit);
            return false;
        }
        now_ = std::max(now_, *next);
        FireDue();
    }
}

void Scheduler::Shutdown() {
    if (currentThread != nullptr) std::terminate();  // a machine cannot end from inside
    shuttingDown_ = true;
    running_ = true;
    for (bool anyLeft = true; anyLeft;) {
        anyLeft = false;
        for (const auto& thread : threads_) {
            if (thread->state_ != SimThread::State::Done) {
                Terminate(*thread);
                anyLeft = true;
            }
        }
        try {
            RunRunnable();
        } catch (...) {
            // Nobody is left to report to while the machine goes away.
        }
    }
    running_ = false;
    for (const auto& thread : threads_) {
        if (thread->thread_.joinable()) thread->thread_.join();
    }
    actions_.clear();
}

}  // namespace jobsvc::sim
