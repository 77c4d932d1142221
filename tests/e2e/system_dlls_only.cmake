# Fails unless PROGRAM imports system DLLs only (no runtime DLL of the compiler,
# and USER32 not at start-up: it is loaded with the first message box).
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(failed OR NOT imports)
  message(FATAL_ERROR "no import table read from ${PROGRAM}")
endif()
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" import)
  if(NOT import MATCHES "^dll name: (kernel32|advapi32|msvcrt)\\.dll$")
    message(FATAL_ERROR "${PROGRAM} imports something else: ${import}")
  endif()
endforeach()
message(STATUS "imports: ${imports}")
