#include "summary.h"

#include <algorithm>
#include <cstdio>

namespace bench {

Summary Summarize(std::vector<double> samples) {
    Summary summary;
    summary.count = samples.size();
    if (samples.empty()) return summary;
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    summary.median = samples.size() % 2 == 1 ? samples[middle]
                                             : (samples[middle - 1] + samples[middle]) / 2;
    summary.min = samples.front();
    summary.max = samples.back();
    return summary;
}

void PrintRow(const std::string& key, const std::string& label, const std::string& unit,
              const std::vector<double>& ours, const std::vector<double>& floor) {
    const Summary a = Summarize(ours);
    const Summary b = Summarize(floor);
    std::printf("row\t%s\t%s\t%s\t%.6g\t%.6g\t%.6g\t%.6g\t%.6g\t%.6g\t%zu\n", key.c_str(),
                label.c_str(), unit.c_str(), a.median, a.min, a.max, b.median, b.min, b.max,
                std::min(a.count, b.count));
    std::fflush(stdout);
}

void PrintPairedRatio(const std::string& what, const std::vector<double>& ours,
                      const std::vector<double>& floor) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < floor.size(); ++i) {
        if (floor[i] > 0) ratios.push_back(ours[i] / floor[i]);
    }
    const Summary summary = Summarize(ratios);
    char text[160];
    std::snprintf(text, sizeof text, "%s: median of the %zu paired ratios %.2f (%.2f to %.2f)",
                  what.c_str(), summary.count, summary.median, summary.min, summary.max);
    PrintNote(text);
}

void PrintNote(const std::string& text) {
    std::printf("note\t%s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace bench
