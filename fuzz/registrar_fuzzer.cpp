// Registration scripts of any content: read safely, refused whole or applied; every key it
// opened is closed; and registering twice changes nothing the first run did not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fake_platform.h"
#include "install/registrar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    const jobsvc::ReplacementVariable variables[] = {{u"Module", u"C:\\It''s\\X.EXE"}};

    jobsvc::fuzz::FakeRegistry registry;
    const auto first = jobsvc::ApplyRegistrationScript(registry, script, variables,
                                                       jobsvc::RegistrarMode::Register);
    if (first == jobsvc::S_OK) {
        const auto once = registry.keys_;
        if (jobsvc::ApplyRegistrationScript(registry, script, variables,
                                            jobsvc::RegistrarMode::Register) != jobsvc::S_OK) {
            std::abort();
        }
        if (registry.keys_ != once) std::abort();
    }
    (void)jobsvc::ApplyRegistrationScript(registry, script, variables,
                                          jobsvc::RegistrarMode::Unregister);
    if (registry.openCount != 0 || registry.invalidCloses != 0) std::abort();
    return 0;
}
