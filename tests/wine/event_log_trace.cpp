#include "event_log_trace.h"

#include <algorithm>

#include "child_process.h"
#include "test_environment.h"

namespace e2e {
namespace {

constexpr std::string_view kEventMarker = ":trace:eventlog:ReportEventW L\"";

// Reads a quoted debug string after its opening quote up to its closing one, undoing the
// escapes that our ASCII texts can need; `quoted` is left after the closing quote.
bool Unescape(std::string_view* quoted, std::string* text) {
    for (size_t i = 0; i < quoted->size(); ++i) {
        char c = (*quoted)[i];
        if (c == '"') {
            quoted->remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (++i == quoted->size()) return false;
            switch ((*quoted)[i]) {
                case 'n': c = '\n'; break;
                case 'r': c = '\r'; break;
                case 't': c = '\t'; break;
                default: c = (*quoted)[i]; break;  // \" and \\ stand for themselves
            }
        }
        text->push_back(c);
    }
    return false;
}

}  // namespace

std::vector<std::string> ParseEventLogTrace(std::string_view log) {
    std::vector<std::string> texts;
    for (size_t end; (end = log.find('\n')) != std::string_view::npos;
         log.remove_prefix(end + 1)) {
        std::string_view line = log.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t marker = line.find(kEventMarker);
        if (marker == std::string_view::npos) continue;
        std::string_view rest = line.substr(marker + kEventMarker.size());
        std::string text;
        if (Unescape(&rest, &text) && rest.empty()) texts.push_back(std::move(text));
    }
    return texts;
}

EventLogTrace::EventLogTrace()
    : path_(SessionDirectory() + L"\\logs\\services.log"), start_(ReadTextFile(path_).size()) {}

std::vector<std::string> EventLogTrace::Texts() const {
    const std::string log = ReadTextFile(path_);
    return ParseEventLogTrace(std::string_view(log).substr(std::min(start_, log.size())));
}

bool EventLogTrace::WaitForText(std::string_view text, size_t count) const {
    return WaitUntil([&] {
        const std::vector<std::string> texts = Texts();
        return static_cast<size_t>(std::count(texts.begin(), texts.end(), text)) >= count;
    });
}

std::string EventLogTrace::Describe() const {
    std::string block = "event-log texts since the test began:";
    for (const std::string& text : Texts()) block += "\n  " + text;
    return block;
}

}  // namespace e2e
