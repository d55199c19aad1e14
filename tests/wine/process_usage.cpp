#include "process_usage.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace e2e {
namespace {

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

// The layout of the system's handle table (information class 16).
struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR attributes;
    USHORT handle;
    void* object;
    ACCESS_MASK access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

// Wine answers GetProcessHandleCount with 0; its system handle table has the real count.
std::optional<DWORD> CountInHandleTable(DWORD processId) {
    std::vector<BYTE> buffer(1 << 16);
    NTSTATUS status;
    ULONG needed = 0;
    while ((status = NtQuerySystemInformation(
                static_cast<SYSTEM_INFORMATION_CLASS>(kSystemHandleInformation), buffer.data(),
                static_cast<ULONG>(buffer.size()), &needed)) == kInfoLengthMismatch) {
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
    }
    if (status < 0) return std::nullopt;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        if (table->entries[i].processId == static_cast<USHORT>(processId)) ++count;
    }
    return count;
}

SIZE_T PrivateCommitted(HANDLE process) {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const BYTE* address = nullptr;
         VirtualQueryEx(process, address, &region, sizeof region) == sizeof region;
         address = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

}  // namespace

std::optional<ProcessUsage> UsageOf(DWORD processId) {
    const Handle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId), &CloseHandle);
    if (!process) return std::nullopt;
    ProcessUsage usage;
    if (!GetProcessHandleCount(process.get(), &usage.handles)) return std::nullopt;
    if (usage.handles == 0) {
        const std::optional<DWORD> counted = CountInHandleTable(processId);
        if (!counted) return std::nullopt;
        usage.handles = *counted;
    }
    PROCESS_MEMORY_COUNTERS memory{};
    if (!GetProcessMemoryInfo(process.get(), &memory, sizeof memory)) return std::nullopt;
    usage.workingSet = memory.WorkingSetSize;
    usage.privateBytes = PrivateCommitted(process.get());
    return usage;
}

}  // namespace e2e
