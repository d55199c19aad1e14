// One move-only owner for every kind of OS handle: closing is never written by hand, and a
// scope that opened several handles releases them in reverse order of opening.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace jobsvc {

template <class Traits>
class Owned {
public:
    using Handle = typename Traits::Handle;
    using Owner = typename Traits::Owner;

    Owned() = default;
    Owned(Owner& owner, Handle handle) : owner_(&owner), handle_(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept
        : owner_(other.owner_), handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Reset();
            owner_ = other.owner_;
            handle_ = std::exchange(other.handle_, Handle{});
        }
        return *this;
    }
    ~Owned() { Reset(); }

    [[nodiscard]] Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }

    // For out-parameters: closes what is held, then lets the callee fill in a new handle.
    [[nodiscard]] Handle* Receive(Owner& owner) {
        Reset();
        owner_ = &owner;
        return &handle_;
    }

    void Reset() {
        if (handle_ != Handle{}) Traits::Close(*owner_, std::exchange(handle_, Handle{}));
    }

private:
    Owner* owner_ = nullptr;
    Handle handle_{};
};

struct RegKeyTraits {
    using Handle = RegKey;
    using Owner = Registry;
    static void Close(Owner& owner, Handle key) { (void)owner.CloseKey(key); }
};
struct ScHandleTraits {
    using Handle = ScHandle;
    using Owner = ServiceManager;
    static void Close(Owner& owner, Handle handle) { (void)owner.CloseServiceHandle(handle); }
};
struct EventSourceTraits {
    using Handle = EventSource;
    using Owner = EventLog;
    static void Close(Owner& owner, Handle source) { (void)owner.DeregisterSource(source); }
};
struct KernelHandleTraits {
    using Handle = KernelHandle;
    using Owner = Kernel;
    static void Close(Owner& owner, Handle handle) { (void)owner.CloseHandle(handle); }
};
struct TypeLibTraits {
    using Handle = TypeLib;
    using Owner = TypeLibraries;
    static void Close(Owner& owner, Handle library) { owner.Release(library); }
};
struct DispatchTraits {
    using Handle = DispatchObject;
    using Owner = Automation;
    static void Close(Owner& owner, Handle object) { owner.Release(object); }
};
struct AutoStringTraits {
    using Handle = AutoString;
    using Owner = Automation;
    static void Close(Owner& owner, Handle text) { owner.FreeString(text); }
};

using OwnedKey = Owned<RegKeyTraits>;
using OwnedScHandle = Owned<ScHandleTraits>;
using OwnedEventSource = Owned<EventSourceTraits>;
using OwnedKernelHandle = Owned<KernelHandleTraits>;
using OwnedTypeLib = Owned<TypeLibTraits>;
using OwnedDispatch = Owned<DispatchTraits>;
using OwnedAutoString = Owned<AutoStringTraits>;

}  // namespace jobsvc
