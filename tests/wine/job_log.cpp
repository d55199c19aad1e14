#include "job_log.h"

#include <charconv>
#include <map>

namespace e2e {
namespace {

struct Line {
    bool isBegin = false;
    std::string_view task;
    uint32_t processId = 0;
    int64_t timeUs = 0;
    uint32_t result = 0;
};

template <class Number>
bool ParseNumber(std::string_view text, Number* value, int base = 10) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, *value, base);
    return !text.empty() && error == std::errc() && stop == end;
}

// "<milliseconds>.<three decimals>" -> microseconds, exactly.
bool ParseTime(std::string_view text, int64_t* timeUs) {
    const size_t dot = text.find('.');
    int64_t milliseconds = 0;
    int64_t fraction = 0;
    if (dot == std::string_view::npos || text.size() - dot != 4 ||
        !ParseNumber(text.substr(0, dot), &milliseconds) ||
        !ParseNumber(text.substr(dot + 1), &fraction)) {
        return false;
    }
    *timeUs = milliseconds * 1000 + fraction;
    return true;
}

// Takes the next "<key>=<value>" field off `rest`.
bool Field(std::string_view* rest, std::string_view key, std::string_view* value) {
    const size_t end = rest->find(' ');
    const std::string_view field = rest->substr(0, end);
    if (field.size() <= key.size() || field.substr(0, key.size()) != key ||
        field[key.size()] != '=') {
        return false;
    }
    *value = field.substr(key.size() + 1);
    rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
    return true;
}

bool ParseLine(std::string_view text, Line* line) {
    const size_t space = text.find(' ');
    const std::string_view kind = text.substr(0, space);
    if (space == std::string_view::npos || (kind != "begin" && kind != "end")) return false;
    line->isBegin = kind == "begin";
    std::string_view rest = text.substr(space + 1);
    std::string_view processId, time, result;
    if (!Field(&rest, "task", &line->task) || !Field(&rest, "pid", &processId) ||
        !Field(&rest, "t", &time) || !ParseNumber(processId, &line->processId) ||
        !ParseTime(time, &line->timeUs)) {
        return false;
    }
    if (line->isBegin) return rest.empty();
    return Field(&rest, "hr", &result) && rest.empty() && result.substr(0, 2) == "0x" &&
           ParseNumber(result.substr(2), &line->result, 16);
}

}  // namespace

JobLog ParseJobLog(std::string_view text) {
    JobLog log;
    // A process runs one job at a time, so an end line belongs to its process's open job.
    std::map<uint32_t, size_t> openJobs;
    for (size_t end; (end = text.find('\n')) != std::string_view::npos;
         text.remove_prefix(end + 1)) {
        std::string_view raw = text.substr(0, end);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        if (raw.empty()) continue;
        Line line;
        if (!ParseLine(raw, &line)) {
            log.malformed.emplace_back(raw);
            continue;
        }
        const auto open = openJobs.find(line.processId);
        if (line.isBegin) {
            // A begin while a job is open means that job never ended; it stays unfinished.
            openJobs[line.processId] = log.jobs.size();
            log.jobs.push_back({std::string(line.task), line.processId, line.timeUs, {}, {}});
        } else if (open != openJobs.end() && log.jobs[open->second].task == line.task) {
            log.jobs[open->second].endUs = line.timeUs;
            log.jobs[open->second].result = line.result;
            openJobs.erase(open);
        } else {
            log.malformed.emplace_back(raw);
        }
    }
    return log;
}

std::vector<Job> JobsOf(const JobLog& log, std::string_view task) {
    std::vector<Job> jobs;
    for (const Job& job : log.jobs) {
        if (job.task == task) jobs.push_back(job);
    }
    return jobs;
}

bool HasFinishedJob(const JobLog& log, std::string_view task) {
    for (const Job& job : log.jobs) {
        if (job.task == task && job.endUs) return true;
    }
    return false;
}

}  // namespace e2e
