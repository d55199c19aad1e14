#include "host_process.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cwctype>

namespace bench {
namespace {

// Wine maps the Unix root to Z: unless told otherwise.
std::wstring ProcRoot() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"BENCH_PROC_ROOT", buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return buffer;
    return L"Z:\\proc";
}

// Files of /proc report no size: read until the end.
std::optional<std::string> ReadWhole(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) {
        text.append(chunk, read);
    }
    CloseHandle(file);
    return text;
}

std::vector<uint32_t> NumberedEntries(const std::wstring& directory) {
    std::vector<uint32_t> numbers;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return numbers;
    do {
        uint32_t number = 0;
        bool digits = entry.cFileName[0] != L'\0';
        for (const wchar_t* c = entry.cFileName; *c != L'\0' && digits; ++c) {
            digits = *c >= L'0' && *c <= L'9';
            number = number * 10 + static_cast<uint32_t>(*c - L'0');
        }
        if (digits) numbers.push_back(number);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

uint64_t ToNumber(std::string_view text) {
    uint64_t value = 0;
    const size_t start = text.find_first_of("0123456789");
    if (start != std::string_view::npos) {
        std::from_chars(text.data() + start, text.data() + text.size(), value);
    }
    return value;
}

// The number after "<key>:" in a "key: value" file such as status or smaps_rollup.
uint64_t KeyedNumber(std::string_view text, std::string_view key) {
    size_t at = 0;
    while ((at = text.find(key, at)) != std::string_view::npos) {
        const bool lineStart = at == 0 || text[at - 1] == '\n';
        if (lineStart && text.substr(at + key.size(), 1) == ":") {
            const size_t end = text.find('\n', at);
            return ToNumber(text.substr(at + key.size() + 1, end - at - key.size() - 1));
        }
        at += key.size();
    }
    return 0;
}

// Fields of /proc/<pid>/stat after the command name, which may hold blanks: field 3 is [0].
std::vector<std::string_view> StatFields(std::string_view stat) {
    std::vector<std::string_view> fields;
    const size_t close = stat.rfind(')');
    if (close == std::string_view::npos) return fields;
    std::string_view rest = stat.substr(close + 1);
    while (!rest.empty()) {
        const size_t start = rest.find_first_not_of(" \n");
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const size_t end = rest.find_first_of(" \n");
        fields.push_back(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    }
    return fields;
}

std::string PrefixOf(const std::string& environment) {
    constexpr std::string_view kKey = "WINEPREFIX=";
    size_t at = 0;
    while (at < environment.size()) {
        const size_t end = environment.find('\0', at);
        const std::string_view entry(environment.data() + at,
                                     (end == std::string::npos ? environment.size() : end) - at);
        if (entry.substr(0, kKey.size()) == kKey) return std::string(entry.substr(kKey.size()));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return {};
}

bool SameName(std::string_view comm, std::wstring_view imageName) {
    // The kernel keeps 15 characters of a name.
    const size_t length = std::min<size_t>(imageName.size(), 15);
    if (comm.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (std::towlower(static_cast<wint_t>(static_cast<unsigned char>(comm[i]))) !=
            std::towlower(static_cast<wint_t>(imageName[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

uint64_t CpuNsBetween(const HostSample& before, const HostSample& after) {
    if (before.threads == after.threads && after.cpuNs >= before.cpuNs) {
        return after.cpuNs - before.cpuNs;
    }
    return after.processCpuNs - before.processCpuNs;
}

std::optional<HostProcess> HostProcess::Find(std::wstring_view imageName) {
    const std::wstring root = ProcRoot();
    const std::optional<std::string> ownEnvironment = ReadWhole(root + L"\\self\\environ");
    if (!ownEnvironment) return std::nullopt;
    const std::string prefix = PrefixOf(*ownEnvironment);

    std::optional<uint32_t> newest;
    uint64_t newestStart = 0;
    for (const uint32_t pid : NumberedEntries(root)) {
        const std::wstring directory = root + L"\\" + std::to_wstring(pid);
        std::optional<std::string> comm = ReadWhole(directory + L"\\comm");
        if (!comm) continue;
        while (!comm->empty() && comm->back() == '\n') comm->pop_back();
        if (!SameName(*comm, imageName)) continue;
        const std::optional<std::string> environment = ReadWhole(directory + L"\\environ");
        if (!environment || PrefixOf(*environment) != prefix) continue;
        const std::optional<std::string> stat = ReadWhole(directory + L"\\stat");
        if (!stat) continue;
        const std::vector<std::string_view> fields = StatFields(*stat);
        const uint64_t start = fields.size() > 19 ? ToNumber(fields[19]) : 0;
        if (!newest || start >= newestStart) {
            newest = pid;
            newestStart = start;
        }
    }
    if (!newest) return std::nullopt;
    return HostProcess(*newest);
}

std::optional<HostSample> HostProcess::Sample() const {
    const std::wstring directory = ProcRoot() + L"\\" + std::to_wstring(pid_);
    const std::optional<std::string> stat = ReadWhole(directory + L"\\stat");
    const std::optional<std::string> status = ReadWhole(directory + L"\\status");
    const std::optional<std::string> memory = ReadWhole(directory + L"\\smaps_rollup");
    if (!stat || !status || !memory) return std::nullopt;

    HostSample sample;
    const std::vector<std::string_view> fields = StatFields(*stat);
    if (fields.size() > 12) {
        // utime and stime; the tick is 10 ms wherever Wine runs (USER_HZ 100).
        sample.processCpuNs = (ToNumber(fields[11]) + ToNumber(fields[12])) * 10'000'000;
    }
    sample.residentKb = KeyedNumber(*status, "VmRSS");
    sample.privateKb = KeyedNumber(*memory, "Private_Clean") + KeyedNumber(*memory, "Private_Dirty");

    const std::wstring tasks = directory + L"\\task";
    for (const uint32_t thread : NumberedEntries(tasks)) {
        const std::wstring task = tasks + L"\\" + std::to_wstring(thread);
        const std::optional<std::string> schedule = ReadWhole(task + L"\\schedstat");
        const std::optional<std::string> threadStatus = ReadWhole(task + L"\\status");
        if (!schedule || !threadStatus) continue;  // ended while we looked
        sample.cpuNs += ToNumber(*schedule);
        sample.contextSwitches += KeyedNumber(*threadStatus, "voluntary_ctxt_switches") +
                                  KeyedNumber(*threadStatus, "nonvoluntary_ctxt_switches");
        sample.threads.push_back(thread);
    }
    return sample;
}

}  // namespace bench
