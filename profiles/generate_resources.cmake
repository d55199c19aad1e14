# Resources generated from the profile table (profiles.cmake): the string table, the
# registration script, the type library and the version block of each executable. The
# registration script's text comes from generate_code.cmake, which the native tests use too.

set(JOBSVC_FILE_VERSION "2.2.210.1")
set(JOBSVC_PRODUCT_NAME "Orvanta")

# Text as the body of a resource-script string literal.
function(jobsvc_rc_string text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Writes `content` to `file` only when it differs, so that nothing rebuilds needlessly.
function(jobsvc_write_if_changed file content)
  file(WRITE "${file}.tmp" "${content}")
  file(COPY_FILE "${file}.tmp" "${file}" ONLY_IF_DIFFERENT)
  file(REMOVE "${file}.tmp")
endfunction()

# jobsvc_generate_resources(<name> <directory> <widl> <rc-out-var> <depends-out-var>)
#
# Writes the resource script of profile <name> and everything it includes into <directory>,
# adds the command that builds the type library with <widl>, and returns the script's path
# and the files that compiling it depends on. Also writes expected.cmake there: the values
# that a check of the finished executable compares against.
function(jobsvc_generate_resources name dir widl rc_out depends_out)
  file(MAKE_DIRECTORY "${dir}")

  jobsvc_registration_script(${name} _script)
  set(_script_file "${dir}/registration.rgs")
  jobsvc_write_if_changed("${_script_file}" "${_script}")

  # The type library.
  string(REGEX REPLACE "^{(.*)}$" "\\1" JOBSVC_IDL_LIBID "${JOBSVC_${name}_LIBID}")
  set(JOBSVC_IDL_NAME "${JOBSVC_${name}_LIB_NAME}")
  set(JOBSVC_IDL_HELP "${name} 1.0 Type Library")
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/type_library.idl.in "${dir}/type_library.idl"
                 @ONLY)
  # widl stamps the library with the time of the build unless told which time to write
  # (as local time: hence the fixed zone).
  set(_epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(_epoch STREQUAL "")
    set(_epoch 0)
  endif()
  add_custom_command(
    OUTPUT "${dir}/type_library.tlb"
    COMMAND ${CMAKE_COMMAND} -E env WIDL_TIME_OVERRIDE=${_epoch} TZ=UTC
            ${widl} -t --win32 -o type_library.tlb type_library.idl
    DEPENDS "${dir}/type_library.idl"
    WORKING_DIRECTORY "${dir}"
    COMMENT "Building the type library of ${name}"
    VERBATIM)

  # The resource script.
  set(JOBSVC_RC_SHORT_NAME "${name}")
  set(JOBSVC_RC_FILE_NAME "${name}.EXE")
  foreach(_field SERVICE_NAME CREATE_FAILED NO_RUN RUN_FAILED COMPANY FILE_DESCRIPTION)
    jobsvc_rc_string("${JOBSVC_${name}_${_field}}" JOBSVC_RC_${_field})
  endforeach()
  set(JOBSVC_RC_VERSION "${JOBSVC_FILE_VERSION}")
  string(REPLACE "." "," JOBSVC_RC_VERSION_COMMAS "${JOBSVC_FILE_VERSION}")
  set(JOBSVC_RC_PRODUCT_NAME "${JOBSVC_PRODUCT_NAME}")
  set(JOBSVC_RC_REGISTRATION_SCRIPT "${_script_file}")
  set(JOBSVC_RC_TYPE_LIBRARY "${dir}/type_library.tlb")
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/resources.rc.in "${dir}/resources.rc" @ONLY)

  # What the executable must carry, for the check after the build.
  set(_expected "")
  foreach(_pair "100;SERVICE_NAME" "101;CREATE_FAILED" "102;NO_RUN" "103;RUN_FAILED")
    list(GET _pair 0 _id)
    list(GET _pair 1 _field)
    string(APPEND _expected "set(EXPECTED_STRING_${_id} [==[${JOBSVC_${name}_${_field}}]==])\n")
  endforeach()
  string(APPEND _expected
    "set(EXPECTED_VERSION [==[${JOBSVC_FILE_VERSION}]==])\n"
    "set(EXPECTED_VERSION_STRINGS\n"
    "  [==[Comments=]==]\n"
    "  [==[CompanyName=${JOBSVC_${name}_COMPANY}]==]\n"
    "  [==[FileDescription=${JOBSVC_${name}_FILE_DESCRIPTION}]==]\n"
    "  [==[FileVersion=${JOBSVC_FILE_VERSION}]==]\n"
    "  [==[InternalName=${name}]==]\n"
    "  [==[LegalTrademarks=]==]\n"
    "  [==[OLESelfRegister=]==]\n"
    "  [==[OriginalFilename=${name}.EXE]==]\n"
    "  [==[PrivateBuild=]==]\n"
    "  [==[ProductName=${JOBSVC_PRODUCT_NAME}]==]\n"
    "  [==[ProductVersion=${JOBSVC_FILE_VERSION}]==]\n"
    "  [==[SpecialBuild=]==])\n"
    "set(EXPECTED_REGISTRATION_SCRIPT [==[${_script_file}]==])\n"
    "set(EXPECTED_TYPE_LIBRARY [==[${dir}/type_library.tlb]==])\n")
  jobsvc_write_if_changed("${dir}/expected.cmake" "${_expected}")

  set(${rc_out} "${dir}/resources.rc" PARENT_SCOPE)
  set(${depends_out} "${_script_file};${dir}/type_library.tlb" PARENT_SCOPE)
endfunction()
