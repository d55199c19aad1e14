// A child process whose message boxes the test answers. The child runs under the debug API;
// each call of MessageBoxW returns IDOK at once, as if a person had clicked OK, and its
// caption, text and style are kept. So the boxes of an installation failure can be checked
// without a display (where Wine's MessageBoxW shows nothing and returns -1) and without
// blocking (where Windows would wait for the click).
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace e2e {

struct MessageBoxCall {
    std::wstring caption;
    std::wstring text;
    UINT style = 0;
    friend bool operator==(const MessageBoxCall&, const MessageBoxCall&) = default;
};
void PrintTo(const MessageBoxCall& call, std::ostream* out);

struct AnsweredRun {
    std::string error;                 // why the run could not be watched; empty when it was
    std::optional<DWORD> exitCode;     // empty: it did not end before the hang time-out
    std::vector<MessageBoxCall> boxes;  // in the order they were shown
};

// Runs `executable` with `arguments` to its end (or the hang time-out, when it is ended).
AnsweredRun RunAnsweringMessageBoxes(const std::wstring& executable, const std::wstring& arguments);

}  // namespace e2e
