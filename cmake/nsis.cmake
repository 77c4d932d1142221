# The NSIS installer's uninstall.exe (src/nsis/uninstall_win32.cpp): it runs
# NSIS's own uninstaller, which the installer writes as uninstall-steps.exe,
# waits for it and then removes what that one cannot, itself and the folder.
# NSIS.template.in takes it from CPACK_MB_UNINSTALL_LAUNCHER.
add_executable(mergebridge-uninstall WIN32 src/nsis/uninstall_win32.cpp src/host/utf16_win32.cpp
  src/host/app_win32.cpp src/common/utf8.cpp)
mb_windows_resources(mergebridge-uninstall FILE_NAME uninstall.exe DESCRIPTION "Uninstalls mergebridge"
  MANIFEST ${PROJECT_SOURCE_DIR}/src/nsis/uninstall.manifest)
target_include_directories(mergebridge-uninstall PRIVATE ${CMAKE_BINARY_DIR}/include/common
  ${CMAKE_BINARY_DIR}/include/host)
target_link_options(mergebridge-uninstall PRIVATE -municode -Wl,--gc-sections -s)
target_link_libraries(mergebridge-uninstall PRIVATE shell32)
set_target_properties(mergebridge-uninstall PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_MB_UNINSTALL_LAUNCHER ${CMAKE_BINARY_DIR}/mergebridge-uninstall.exe)
set(CPACK_MB_COPYRIGHT ${MB_RES_COPYRIGHT})
mb_sign(mergebridge-uninstall)

# The NSIS plugins that the installer and its uninstaller unpack and load
# (nsExec, nsDialogs, System): copies of NSIS's own in the build folder, signed
# as the programs are, which NSIS.template.in takes before NSIS's by
# !addplugindir (CPACK_MB_NSIS_PLUGINS). They keep NSIS's version resource, or
# none.
find_path(MB_NSIS_PLUGINS nsExec.dll PATHS /usr/share/nsis/Plugins/x86-unicode
  /usr/local/share/nsis/Plugins/x86-unicode NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
set(CPACK_MB_NSIS_PLUGINS "")
if(MB_NSIS_PLUGINS)
  set(pluginDir ${CMAKE_BINARY_DIR}/nsis-plugins)
  set(copies "")
  foreach(plugin nsExec nsDialogs System)
    set(copy ${pluginDir}/${plugin}.dll)
    set(sign "")
    if(MB_SIGN_COMMAND)
      set(sign COMMAND ${MB_SIGN_COMMAND} ${copy})
    endif()
    add_custom_command(OUTPUT ${copy} COMMAND ${CMAKE_COMMAND} -E copy ${MB_NSIS_PLUGINS}/${plugin}.dll ${copy}
      ${sign} DEPENDS ${MB_NSIS_PLUGINS}/${plugin}.dll ${MB_SIGN_CONFIG} ${MB_HEAD_LOG} VERBATIM)
    list(APPEND copies ${copy})
  endforeach()
  add_custom_target(nsis-plugins ALL DEPENDS ${copies})
  set(CPACK_MB_NSIS_PLUGINS "!addplugindir /x86-unicode `${pluginDir}`")
elseif(MB_SIGN_COMMAND)
  message(FATAL_ERROR "cannot sign the NSIS installer's plugins: NSIS is not installed (scripts/install-deps)")
endif()

# The registry names NSIS.template.in writes and reads (cmake/registry_names.cmake);
# CPackConfig.cmake takes the text as written, so its backslashes go in doubled.
string(REPLACE "\\" "\\\\" CPACK_MB_VELMORA_KEY "${MB_VELMORA_KEY}")
set(CPACK_MB_VELMORA_VALUE ${MB_VELMORA_VALUE})
