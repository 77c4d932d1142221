# Authenticode signing of everything Windows runs from this project, when the
# build is configured with -DMERGEBRIDGE_SIGN_PKCS12=<file.p12> (password in
# the environment variable MERGEBRIDGE_SIGN_PASSWORD when building, never in
# the cache; optional -DMERGEBRIDGE_SIGN_TIMESTAMP_URL=<url>):
# - the programs and the custom-action DLL in the build folder, as they are
#   linked, so that the ZIP, the installers and the Windows Installer package
#   all carry signed ones;
# - the NSIS uninstaller before it is embedded and the installer once written
#   (cmake/NSIS.template.in, CPACK_MB_NSIS_SIGNING);
# - the Windows Installer package after its last edit (cmake/make_msi.cmake).
# cmake/sign-pe.sh does each signature; MB_SIGN_COMMAND runs it on a file.
set(MERGEBRIDGE_SIGN_PKCS12 "" CACHE FILEPATH
  "PKCS#12 file with the code-signing certificate and key (password in MERGEBRIDGE_SIGN_PASSWORD)")
set(MERGEBRIDGE_SIGN_TIMESTAMP_URL "" CACHE STRING
  "RFC 3161 timestamp server; without one the signatures carry the source's time")
set(MB_SIGN_COMMAND "")
set(MB_SIGN_CONFIG "")
set(CPACK_MB_NSIS_SIGNING "")
# HEAD's log changes with every commit checked out. A signature without a
# timestamp server carries the commit's time, and the Windows Installer package
# codes of the commit: what depends on it is made anew, as a fresh build of
# the commit would make it.
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} rev-parse --git-path logs/HEAD
  OUTPUT_VARIABLE MB_HEAD_LOG OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(MB_HEAD_LOG AND NOT IS_ABSOLUTE ${MB_HEAD_LOG})
  set(MB_HEAD_LOG ${PROJECT_SOURCE_DIR}/${MB_HEAD_LOG})
endif()
if(NOT EXISTS "${MB_HEAD_LOG}")
  set(MB_HEAD_LOG "")
endif()

# Signs a target's file in the build folder as it is linked.
function(mb_sign target)
  if(MB_SIGN_COMMAND)
    add_custom_command(TARGET ${target} POST_BUILD COMMAND ${MB_SIGN_COMMAND} $<TARGET_FILE:${target}> VERBATIM)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${MB_SIGN_CONFIG} ${MB_HEAD_LOG})
  endif()
endfunction()

if(NOT MERGEBRIDGE_SIGN_PKCS12)
  return()
endif()
if(NOT WIN32)
  message(FATAL_ERROR "MERGEBRIDGE_SIGN_PKCS12: only the Windows build (preset windows-x86) is signed with it")
endif()
find_program(MB_OSSLSIGNCODE osslsigncode)
if(NOT MB_OSSLSIGNCODE)
  message(FATAL_ERROR "cannot sign with ${MERGEBRIDGE_SIGN_PKCS12}: osslsigncode is not installed (scripts/install-deps)")
endif()
if(NOT EXISTS ${MERGEBRIDGE_SIGN_PKCS12})
  message(FATAL_ERROR "cannot sign with ${MERGEBRIDGE_SIGN_PKCS12}: it does not exist")
endif()

# The configuration sign-pe.sh reads: paths and the server, never the password.
set(config "")
foreach(pair "MB_PKCS12;${MERGEBRIDGE_SIGN_PKCS12}" "MB_TIMESTAMP_URL;${MERGEBRIDGE_SIGN_TIMESTAMP_URL}"
             "MB_OSSLSIGNCODE;${MB_OSSLSIGNCODE}" "MB_SOURCE_DIR;${PROJECT_SOURCE_DIR}")
  list(GET pair 0 name)
  list(GET pair 1 value)
  string(REPLACE "'" "'\\''" value "${value}")
  string(APPEND config "${name}='${value}'\n")
endforeach()
set(MB_SIGN_CONFIG ${CMAKE_BINARY_DIR}/signing.conf)
file(CONFIGURE OUTPUT ${MB_SIGN_CONFIG} CONTENT "${config}" @ONLY)
set(MB_SIGN_COMMAND ${PROJECT_SOURCE_DIR}/cmake/sign-pe.sh ${MB_SIGN_CONFIG})

# NSIS runs the command through the shell; CPack's configuration would not
# keep double quotes intact, so the string is in backquotes, the words in
# single quotes.
string(REPLACE ";" "' '" quoted "'${MB_SIGN_COMMAND}' '%1'")
set(CPACK_MB_NSIS_SIGNING "!uninstfinalize `${quoted}` = 0\n!finalize `${quoted}` = 0")
