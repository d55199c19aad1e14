// Applies a registration script resource: the one truth of what registration writes below
// HKEY_CLASSES_ROOT.
//
// The script is 8-bit text of root keys holding nested keys:
//   HKCR { NoRemove AppID { {GUID} = s 'Name'  'Name.EXE' { val AppID = s {GUID} } } }
// A key may carry NoRemove (kept when unregistering), ForceRemove (recreated when
// registering) or Delete (removed when registering), a default value ("= s 'text'" or
// "= d 'number'") and a block of subkeys and "val name = ..." values. Quoted texts double
// their quotes; %Name% is a replacement variable, %% a percent sign.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/platform.h"

namespace jobsvc {

struct ReplacementVariable {
    std::u16string_view name;
    std::u16string_view value;
};

enum class RegistrarMode { Register, Unregister };

// Reads the whole script before touching the registry, then applies it and stops at the first
// registry failure. Returns S_OK, E_INVALIDARG for a script that does not read, or the
// registry failure as an HRESULT. In unregister mode missing keys are passed over.
[[nodiscard]] HResult ApplyRegistrationScript(Registry& registry, std::string_view script,
                                              std::span<const ReplacementVariable> variables,
                                              RegistrarMode mode);

}  // namespace jobsvc
