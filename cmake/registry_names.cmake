# The registry names, read from the one header that spells them, for the
# templates that cannot include it (installers, Group Policy): MB_VELMORA_KEY,
# MB_VELMORA_POLICY_KEY and MB_VELMORA_VALUE, backslashes single as in the
# registry.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${CMAKE_CURRENT_LIST_DIR}/../src/common/registry_names.h")
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../src/common/registry_names.h" _mb_name_lines
  REGEX "^inline constexpr char k[A-Za-z]+\\[\\] = \".*\";$")
foreach(_mb_line IN LISTS _mb_name_lines)
  string(REGEX REPLACE "^inline constexpr char k([A-Za-z]+)\\[\\] = \"(.*)\";$" "\\1;\\2"
    _mb_pair "${_mb_line}")
  list(GET _mb_pair 0 _mb_name)
  list(GET _mb_pair 1 _mb_value)
  string(REPLACE "\\\\" "\\" _mb_value "${_mb_value}")
  string(REGEX REPLACE "([a-z])([A-Z])" "\\1_\\2" _mb_name "${_mb_name}")
  string(TOUPPER "MB_${_mb_name}" _mb_name)
  set(${_mb_name} "${_mb_value}")
endforeach()
foreach(_mb_required MB_VELMORA_KEY MB_VELMORA_POLICY_KEY MB_VELMORA_VALUE)
  if(NOT DEFINED ${_mb_required})
    message(FATAL_ERROR "src/common/registry_names.h does not define ${_mb_required}")
  endif()
endforeach()
