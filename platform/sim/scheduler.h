// Simulated threads on a virtual clock. Each simulated thread is a real std::thread, but only
// the holder of the baton runs: one simulated thread, or the test's own thread (the
// controller). A thread keeps the baton until it blocks or ends and then hands it back to the
// controller, which passes it to the next runnable thread in the order in which they became
// runnable. With nobody runnable, the clock jumps to the earliest deadline. Everything the
// simulation keeps is touched by the baton holder alone, so it needs no lock of its own: the
// mutex of the hand-off orders all memory accesses.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace jobsvc::sim {

namespace detail {
struct ProcessState;
}

// Unwinds a simulated thread whose process has ended; caught at the thread's root. Not a
// std::exception, so that no handler of the runtime mistakes it for an error to report.
struct ThreadTerminated {};

enum class WakeReason { Woken, TimedOut, Terminated };

class SimThread {
public:
    uint32_t Id() const { return id_; }
    detail::ProcessState* Process() const { return process_; }
    bool Ended() const { return state_ == State::Done; }
    bool Terminating() const { return terminating_; }

private:
    friend class Scheduler;
    enum class State { Runnable, Running, Blocked, Done };

    uint32_t id_ = 0;
    detail::ProcessState* process_ = nullptr;
    std::function<void()> body_;
    std::function<void()> onExit_;
    State state_ = State::Runnable;
    bool terminating_ = false;
    bool started_ = false;
    std::optional<uint64_t> deadline_;
    uint64_t blockOrder_ = 0;
    WakeReason wakeReason_ = WakeReason::Woken;
    std::condition_variable turn_;
    std::thread thread_;
};

class Scheduler {
public:
    Scheduler() = default;
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;
    ~Scheduler();

    uint64_t Now() const { return now_; }
    // The simulated thread that holds the baton; null on the controller.
    static SimThread* Current();
    // True while the controller is inside Run (also for code that a thread runs then).
    bool Running() const { return running_; }

    // A new thread, runnable after those already runnable. `onExit` runs on it, holding the
    // baton, after `body` has returned or was unwound.
    SimThread& Spawn(detail::ProcessState* process, std::function<void()> body,
                     std::function<void()> onExit = {});

    // Gives up the baton until Wake() or the deadline (none: no time-out). Throws
    // ThreadTerminated when the thread is being torn down; while it unwinds, returns
    // Terminated at once instead, as destructors must not block.
    WakeReason Block(std::optional<uint64_t> deadline);
    // Makes a blocked thread runnable; no effect on one that is not blocked.
    void Wake(SimThread& thread);
    void Terminate(SimThread& thread);

    void At(uint64_t time, std::function<void()> action);

    // Controller only: runs threads and advances the clock up to `limit`. Stops early, with the
    // machine quiet at the current instant, when `done` returns true.
    bool Run(uint64_t limit, const std::function<bool()>& done);

    // Terminates every thread, lets each unwind, and joins them all.
    void Shutdown();

private:
    struct Action {
        uint64_t time;
        uint64_t order;
        std::function<void()> run;
    };

    void MakeRunnable(SimThread& thread, WakeReason reason);
    void RunRunnable();
    void HandOff(SimThread& thread);
    void ThreadMain(SimThread& thread);
    void FireDue();
    std::optional<uint64_t> NextDeadline() const;

    std::mutex mutex_;
    std::condition_variable controllerTurn_;
    SimThread* current_ = nullptr;  // under mutex_

    uint64_t now_ = 0;
    uint64_t order_ = 0;
    uint32_t nextThreadId_ = 0x100;
    bool running_ = false;
    bool shuttingDown_ = false;
    std::exception_ptr failure_;
    std::vector<std::unique_ptr<SimThread>> threads_;
    std::deque<SimThread*> runnable_;
    std::vector<Action> actions_;
};

}  // namespace jobsvc::sim
