// The eight deliverables as the benchmark needs them, from the one profile table. Kept apart
// from windows.h, whose macros the profile header must not meet.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct Deliverable {
    std::wstring shortName;    // "Pellawin"
    std::wstring fileName;     // "PELLAWIN.EXE"
    std::wstring serviceName;  // IDS_SERVICENAME
};

std::vector<Deliverable> AllDeliverables();

}  // namespace bench
