# Authenticode signing of every file Windows runs from this project, one of
# three ways:
# - -DMERGEBRIDGE_SIGN_PKCS12=<file.p12>: the key in a PKCS#12 file (password
#   in the environment variable MERGEBRIDGE_SIGN_PASSWORD when building);
# - -DMERGEBRIDGE_SIGN_PKCS11_MODULE=<module.so>
#   -DMERGEBRIDGE_SIGN_PKCS11_KEY=<pkcs11: URI> -DMERGEBRIDGE_SIGN_CERT=<chain.pem>:
#   the key in a token or HSM, through the PKCS#11 engine of OpenSSL (PIN in
#   MERGEBRIDGE_SIGN_PIN when building);
# - -DMERGEBRIDGE_SIGN_COMMAND=<command>: any other signer, run as
#   `<command> <file>` in the source folder, which signs the file in place.
# Optional with the first two: -DMERGEBRIDGE_SIGN_TIMESTAMP_URL=<url>.
# Neither password nor PIN is ever in the cache. What is signed, in order:
# - the programs, uninstall.exe, the custom-action DLL and the copies of the
#   NSIS plugins in the build folder, as they are made, so that the ZIP, the
#   installers and the Windows Installer package all carry signed ones;
# - the NSIS uninstaller before it is embedded and the installer once written
#   (cmake/NSIS.template.in, CPACK_MB_NSIS_SIGNING);
# - the Windows Installer package after its last edit (cmake/make_msi.cmake).
# cmake/sign-pe.sh does each signature; MB_SIGN_COMMAND runs it on a file.
set(MERGEBRIDGE_SIGN_PKCS12 "" CACHE FILEPATH
  "PKCS#12 file with the code-signing certificate and key (password in MERGEBRIDGE_SIGN_PASSWORD)")
set(MERGEBRIDGE_SIGN_PKCS11_MODULE "" CACHE FILEPATH
  "PKCS#11 module of the token or HSM holding the code-signing key (PIN in MERGEBRIDGE_SIGN_PIN)")
set(MERGEBRIDGE_SIGN_PKCS11_KEY "" CACHE STRING "pkcs11: URI of the code-signing key")
set(MERGEBRIDGE_SIGN_CERT "" CACHE FILEPATH
  "certificate chain of the PKCS#11 key (PEM, the signer's certificate first)")
set(MERGEBRIDGE_SIGN_COMMAND "" CACHE STRING "command that signs a file in place, run as <command> <file>")
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

# One way, fully given, or none: a half-given one fails here rather than
# leaving anything unsigned.
set(mbSignWays "")
if(MERGEBRIDGE_SIGN_PKCS12)
  list(APPEND mbSignWays pkcs12)
endif()
if(MERGEBRIDGE_SIGN_PKCS11_MODULE OR MERGEBRIDGE_SIGN_PKCS11_KEY OR MERGEBRIDGE_SIGN_CERT)
  list(APPEND mbSignWays pkcs11)
endif()
if(MERGEBRIDGE_SIGN_COMMAND)
  list(APPEND mbSignWays command)
endif()
list(LENGTH mbSignWays count)
if(count GREATER 1)
  list(JOIN mbSignWays " and " given)
  message(FATAL_ERROR "signing: choose one of MERGEBRIDGE_SIGN_PKCS12, MERGEBRIDGE_SIGN_PKCS11_* "
    "and MERGEBRIDGE_SIGN_COMMAND; ${given} are given (set the others empty)")
elseif(count EQUAL 0)
  if(MERGEBRIDGE_SIGN_TIMESTAMP_URL)
    message(FATAL_ERROR "MERGEBRIDGE_SIGN_TIMESTAMP_URL is set, but nothing signs: set MERGEBRIDGE_SIGN_PKCS12 "
      "or MERGEBRIDGE_SIGN_PKCS11_*, or leave it empty")
  endif()
  return()
endif()
if(NOT WIN32)
  message(FATAL_ERROR "signing (${mbSignWays}): only the Windows build (preset windows-x86) is signed")
endif()
find_program(MB_OSSLSIGNCODE osslsigncode)
if(NOT MB_OSSLSIGNCODE)
  message(FATAL_ERROR "cannot sign: osslsigncode is not installed (scripts/install-deps)")
endif()
if(mbSignWays STREQUAL pkcs12 AND NOT EXISTS ${MERGEBRIDGE_SIGN_PKCS12})
  message(FATAL_ERROR "cannot sign with ${MERGEBRIDGE_SIGN_PKCS12}: it does not exist")
elseif(mbSignWays STREQUAL pkcs11)
  foreach(name PKCS11_MODULE PKCS11_KEY CERT)
    if(NOT MERGEBRIDGE_SIGN_${name})
      message(FATAL_ERROR "MERGEBRIDGE_SIGN_${name} is not set: signing through PKCS#11 needs "
        "MERGEBRIDGE_SIGN_PKCS11_MODULE, MERGEBRIDGE_SIGN_PKCS11_KEY and MERGEBRIDGE_SIGN_CERT")
    endif()
  endforeach()
  foreach(file ${MERGEBRIDGE_SIGN_PKCS11_MODULE} ${MERGEBRIDGE_SIGN_CERT})
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "cannot sign through PKCS#11: ${file} does not exist")
    endif()
  endforeach()
  if(NOT MERGEBRIDGE_SIGN_PKCS11_KEY MATCHES "^pkcs11:")
    message(FATAL_ERROR "MERGEBRIDGE_SIGN_PKCS11_KEY is not a pkcs11: URI: ${MERGEBRIDGE_SIGN_PKCS11_KEY}")
  elseif(MERGEBRIDGE_SIGN_PKCS11_KEY MATCHES "pin-value=")
    message(FATAL_ERROR "MERGEBRIDGE_SIGN_PKCS11_KEY carries the PIN (pin-value=), which would stay in the "
      "cache and reach command lines: take it out and give it in MERGEBRIDGE_SIGN_PIN when building")
  endif()
  # osslsigncode loads OpenSSL's pkcs11 engine by its name.
  execute_process(COMMAND openssl engine pkcs11 -t OUTPUT_VARIABLE engine ERROR_QUIET)
  if(NOT engine MATCHES "available")
    message(FATAL_ERROR "cannot sign through PKCS#11: OpenSSL's pkcs11 engine is not installed "
      "(libengine-pkcs11-openssl, scripts/install-deps)")
  endif()
elseif(mbSignWays STREQUAL command AND MERGEBRIDGE_SIGN_TIMESTAMP_URL)
  message(FATAL_ERROR "MERGEBRIDGE_SIGN_TIMESTAMP_URL is not used by MERGEBRIDGE_SIGN_COMMAND: "
    "let the command timestamp, and leave it empty")
endif()

# The configuration sign-pe.sh reads: paths, the key's URI, the command and the
# server, never a password or PIN. Rewritten only when it changes, since what
# depends on it is signed anew.
set(config "")
foreach(pair "MB_SIGN_WITH;${mbSignWays}" "MB_PKCS12;${MERGEBRIDGE_SIGN_PKCS12}"
             "MB_PKCS11_MODULE;${MERGEBRIDGE_SIGN_PKCS11_MODULE}" "MB_PKCS11_KEY;${MERGEBRIDGE_SIGN_PKCS11_KEY}"
             "MB_CERT;${MERGEBRIDGE_SIGN_CERT}" "MB_COMMAND;${MERGEBRIDGE_SIGN_COMMAND}"
             "MB_TIMESTAMP_URL;${MERGEBRIDGE_SIGN_TIMESTAMP_URL}"
             "MB_OSSLSIGNCODE;${MB_OSSLSIGNCODE}" "MB_SOURCE_DIR;${PROJECT_SOURCE_DIR}")
  list(POP_FRONT pair name)
  string(REPLACE "'" "'\\''" value "${pair}")
  string(APPEND config "${name}='${value}'\n")
endforeach()
set(MB_SIGN_CONFIG ${CMAKE_BINARY_DIR}/signing.conf)
file(WRITE ${MB_SIGN_CONFIG}.new "${config}")
file(COPY_FILE ${MB_SIGN_CONFIG}.new ${MB_SIGN_CONFIG} ONLY_IF_DIFFERENT)
file(REMOVE ${MB_SIGN_CONFIG}.new)
set(MB_SIGN_COMMAND ${PROJECT_SOURCE_DIR}/cmake/sign-pe.sh ${MB_SIGN_CONFIG})

# NSIS runs the command through the shell; CPack's configuration would not
# keep double quotes intact, so the string is in backquotes, the words in
# single quotes. The uninstaller is written to a temporary file of makensis;
# it is signed under the name it is installed as.
string(REPLACE ";" "' '" quoted "'${MB_SIGN_COMMAND}' '%1'")
set(CPACK_MB_NSIS_SIGNING "!uninstfinalize `${quoted} 'uninstall-steps.exe'` = 0\n!finalize `${quoted}` = 0")
