# Code constants generated from the profile table (profiles.cmake).

# "{3BA8EE1C-C245-40BF-A515-DF035F423383}" -> a Guid initialiser.
function(jobsvc_guid_initializer text out)
  set(_hex "[0-9A-F]")
  string(REPEAT "${_hex}" 4 _h4)
  string(REGEX MATCH "^{(${_h4}${_h4})-(${_h4})-(${_h4})-(${_hex}${_hex})(${_hex}${_hex})-(${_h4}${_h4}${_h4})}$"
         _match "${text}")
  if(NOT _match)
    message(FATAL_ERROR "not a GUID in registry form: ${text}")
  endif()
  set(_tail "${CMAKE_MATCH_6}")
  set(_bytes "0x${CMAKE_MATCH_4}, 0x${CMAKE_MATCH_5}")
  foreach(_i RANGE 0 10 2)
    string(SUBSTRING "${_tail}" ${_i} 2 _byte)
    string(APPEND _bytes ", 0x${_byte}")
  endforeach()
  set(${out} "{0x${CMAKE_MATCH_1}, 0x${CMAKE_MATCH_2}, 0x${CMAKE_MATCH_3}, {${_bytes}}}" PARENT_SCOPE)
endfunction()

# The registration script of a profile ("REGISTRY" 100): eleven lines, CR LF, tab-indented.
function(jobsvc_registration_script name out)
  set(_id "${JOBSVC_${name}_APPID}")
  set(${out} "HKCR\r\n{\r\n\tNoRemove AppID\r\n\t{\r\n\t\t${_id} = s '${name}'\r\n\t\t'${name}.EXE'\r\n\t\t{\r\n\t\t\tval AppID = s ${_id}\r\n\t\t}\r\n\t}\r\n}\r\n" PARENT_SCOPE)
endfunction()

# A C++ UTF-16 literal of plain ASCII text.
function(jobsvc_u16_literal text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "u\"${text}\"" PARENT_SCOPE)
endfunction()

function(jobsvc_profile_initializer name out)
  jobsvc_u16_literal("${name}" _short)
  jobsvc_u16_literal("${JOBSVC_${name}_TASK}" _task)
  jobsvc_u16_literal("${JOBSVC_${name}_APPID}" _appid)
  jobsvc_guid_initializer("${JOBSVC_${name}_LIBID}" _libid)
  set(${out} "{${_short}, ${_task}, ${JOBSVC_${name}_INTERVAL}u, ${_appid}, ${_libid}}" PARENT_SCOPE)
endfunction()

# The one profile of an executable.
function(jobsvc_generate_this_profile name out_file)
  jobsvc_profile_initializer(${name} _init)
  file(CONFIGURE OUTPUT "${out_file}" CONTENT "// Generated from profiles/profiles.cmake.
#include \"profiles/job_profile.h\"

namespace jobsvc {

const JobProfile& ThisProfile() {
    static constexpr JobProfile profile${_init};
    return profile;
}

}  // namespace jobsvc
")
endfunction()

# All eight profiles with their texts, for the simulated machine and the tests.
function(jobsvc_generate_profile_table out_file)
  set(_profiles "")
  set(_resources "")
  set(_index 0)
  foreach(name IN LISTS JOBSVC_PROFILES)
    jobsvc_profile_initializer(${name} _init)
    string(APPEND _profiles "    JobProfile${_init},\n")
    set(_texts "")
    foreach(_field SERVICE_NAME CREATE_FAILED NO_RUN RUN_FAILED LIB_NAME)
      jobsvc_u16_literal("${JOBSVC_${name}_${_field}}" _lit)
      string(APPEND _texts ", ${_lit}")
    endforeach()
    jobsvc_u16_literal("${name} 1.0 Type Library" _help)
    jobsvc_u16_literal("${JOBSVC_${name}_FILE_DESCRIPTION}" _description)
    jobsvc_u16_literal("${JOBSVC_${name}_COMPANY}" _company)
    jobsvc_registration_script(${name} _script)
    string(REPLACE "\r" "\\r" _script "${_script}")
    string(REPLACE "\n" "\\n" _script "${_script}")
    string(REPLACE "\t" "\\t" _script "${_script}")
    string(APPEND _resources
           "    ProfileResources{profiles[${_index}]${_texts}, ${_help}, ${_description}, ${_company},\n"
           "                     \"${_script}\"},\n")
    math(EXPR _index "${_index} + 1")
  endforeach()
  file(CONFIGURE OUTPUT "${out_file}" CONTENT "// Generated from profiles/profiles.cmake.
#include \"profiles/job_profile.h\"

namespace jobsvc {
namespace {

constexpr JobProfile profiles[] = {
${_profiles}};

const ProfileResources resources[] = {
${_resources}};

}  // namespace

std::span<const ProfileResources> AllProfiles() { return resources; }

}  // namespace jobsvc
")
endfunction()
