// The event-log texts of the session's services. Wine keeps nothing that ReportEventW writes;
// with the "eventlog" debug channel on, it prints each text on the standard error of the
// process that started services.exe, which the session keeps in logs/services.log as lines
//   0123:trace:eventlog:ReportEventW L"Service stopped"
// The lines name no service, so a test reads only what was written since it began, while it
// alone runs services.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace e2e {

// The texts of the ReportEventW lines in `log`, unescaped, in order; other lines and a line
// still being written are passed over.
std::vector<std::string> ParseEventLogTrace(std::string_view log);

class EventLogTrace {
public:
    // Reads only what is appended to the session's services.log from now on.
    EventLogTrace();

    [[nodiscard]] std::vector<std::string> Texts() const;
    // True once `text` was written `count` times; false at the hang time-out.
    [[nodiscard]] bool WaitForText(std::string_view text, size_t count = 1) const;
    // The texts as one printable block, for failure messages.
    [[nodiscard]] std::string Describe() const;

private:
    std::wstring path_;
    size_t start_;
};

}  // namespace e2e
