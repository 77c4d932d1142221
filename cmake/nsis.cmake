# The NSIS installer's uninstall.exe (src/nsis/uninstall_win32.cpp): it runs
# NSIS's own uninstaller, which the installer writes as uninstall-steps.exe,
# waits for it and then removes what that one cannot, itself and the folder.
# NSIS.template.in takes it from CPACK_MB_UNINSTALL_LAUNCHER.
set(manifestRc ${CMAKE_BINARY_DIR}/mergebridge-uninstall.rc)
file(CONFIGURE OUTPUT ${manifestRc} CONTENT "1 24 \"${PROJECT_SOURCE_DIR}/src/nsis/uninstall.manifest\"\n")
set_source_files_properties(${manifestRc} PROPERTIES OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/src/nsis/uninstall.manifest)
add_executable(mergebridge-uninstall WIN32 src/nsis/uninstall_win32.cpp src/host/utf16_win32.cpp ${manifestRc})
target_include_directories(mergebridge-uninstall PRIVATE ${CMAKE_BINARY_DIR}/include/host)
target_link_options(mergebridge-uninstall PRIVATE -municode -Wl,--gc-sections -s)
target_link_libraries(mergebridge-uninstall PRIVATE shell32)
set_target_properties(mergebridge-uninstall PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_MB_UNINSTALL_LAUNCHER ${CMAKE_BINARY_DIR}/mergebridge-uninstall.exe)
mb_sign(mergebridge-uninstall)
# The registry names NSIS.template.in writes and reads (cmake/registry_names.cmake);
# CPackConfig.cmake takes the text as written, so its backslashes go in doubled.
string(REPLACE "\\" "\\\\" CPACK_MB_VELMORA_KEY "${MB_VELMORA_KEY}")
set(CPACK_MB_VELMORA_VALUE ${MB_VELMORA_VALUE})
