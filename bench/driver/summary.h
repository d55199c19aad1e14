// What the benchmark prints: each row a measure of the job service beside the floor's, as
// median and range of repeated samples taken in the same run.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct Summary {
    double median = 0;
    double min = 0;
    double max = 0;
    size_t count = 0;
};

Summary Summarize(std::vector<double> samples);

// One tab-separated line: row, key, label, unit, then median, min and max of ours and of the
// floor, and the sample count; scripts/bench.sh makes the table of them.
void PrintRow(const std::string& key, const std::string& label, const std::string& unit,
              const std::vector<double>& ours, const std::vector<double>& floor);
// A remark for the reader of the results, printed as "note<TAB>text".
void PrintNote(const std::string& text);
// For samples taken in pairs (ours and the floor's in the same round or window): the median
// of the pairs' ratios, which the noise that both share cancels from, as a note.
void PrintPairedRatio(const std::string& what, const std::vector<double>& ours,
                      const std::vector<double>& floor);

}  // namespace bench
