#include "deliverables.h"

#include <cwctype>

#include "profiles/job_profile.h"

namespace bench {
namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

std::vector<Deliverable> AllDeliverables() {
    std::vector<Deliverable> deliverables;
    for (const jobsvc::ProfileResources& resources : jobsvc::AllProfiles()) {
        Deliverable deliverable;
        deliverable.shortName = Wide(resources.profile.shortName);
        for (const wchar_t c : deliverable.shortName) {
            deliverable.fileName += static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
        }
        deliverable.fileName += L".EXE";
        deliverable.serviceName = Wide(resources.serviceName);
        deliverables.push_back(std::move(deliverable));
    }
    return deliverables;
}

}  // namespace bench
