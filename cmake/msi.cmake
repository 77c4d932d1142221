# The Windows Installer package: `cmake --build build/windows-x86 --target msi`
# makes mergebridge-<version>-win32.msi in the build folder with wixl, from
# cmake/mergebridge.wxs.in. Its setup steps run through the custom-action DLL
# built here (src/msi/setup_step_win32.cpp), which the package carries.
find_program(MB_WIXL wixl)

add_library(mergebridge-msi-step SHARED src/msi/setup_step_win32.cpp src/host/app_win32.cpp
  src/host/utf16_win32.cpp src/common/utf8.cpp)
target_include_directories(mergebridge-msi-step PRIVATE ${CMAKE_BINARY_DIR}/include/host ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(mergebridge-msi-step PRIVATE -lmsi shell32 ole32)
# Windows Installer looks the entry points up by their plain names.
target_link_options(mergebridge-msi-step PRIVATE -Wl,--kill-at -Wl,--gc-sections -s)
set_target_properties(mergebridge-msi-step PROPERTIES PREFIX "" OUTPUT_NAME mergebridge-msi-step)
mb_windows_resources(mergebridge-msi-step FILE_NAME mergebridge-msi-step.dll
  DESCRIPTION "Setup steps of the mergebridge Windows Installer package")
# Signed before the package takes it into its Binary table.
mb_sign(mergebridge-msi-step)

# wixl (0.101) takes sources relative to its working folder, where
# make_msi.cmake copies the files msi-files.txt lists.
set(MB_MSI_BRIDGE $<TARGET_FILE_NAME:mergebridge>)
set(MB_MSI_SETUP $<TARGET_FILE_NAME:mergebridge-setup>)
set(MB_MSI_ACTIONS $<TARGET_FILE_NAME:mergebridge-msi-step>)
set(MB_MSI_SOURCE .)
# The same for every version: a newer package replaces an older one by it.
set(MB_MSI_UPGRADE_CODE 4CF5B3DA-C87A-4EE7-9287-9B6612F981E1)
configure_file(${CMAKE_CURRENT_LIST_DIR}/mergebridge.wxs.in ${CMAKE_BINARY_DIR}/mergebridge.wxs.gen @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/mergebridge.wxs INPUT ${CMAKE_BINARY_DIR}/mergebridge.wxs.gen)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/msi-files.txt CONTENT "$<TARGET_FILE:mergebridge>
$<TARGET_FILE:mergebridge-setup>
$<TARGET_FILE:mergebridge-msi-step>
${PROJECT_SOURCE_DIR}/README.md
${PROJECT_SOURCE_DIR}/LICENSE
${MB_POLICY_ADMX}
${MB_POLICY_ADML}
")

find_program(MB_MSIBUILD msibuild)
find_program(MB_MSIINFO msiinfo)
# The package is made by `${MB_MSI_COMMAND} -D VERSION=... -D OUTPUT=... -P
# ${MB_MSI_SCRIPT}`; the installer test makes a lower version so.
set(MB_MSI_COMMAND ${CMAKE_COMMAND} -D BUILD_DIR=${CMAKE_BINARY_DIR} -D SOURCE_DIR=${PROJECT_SOURCE_DIR}
  -D WIXL=${MB_WIXL} -D MSIBUILD=${MB_MSIBUILD} -D MSIINFO=${MB_MSIINFO}
  -D UPGRADE_CODE=${MB_MSI_UPGRADE_CODE} -D SIGN_CONFIG=${MB_SIGN_CONFIG})
set(MB_MSI_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/make_msi.cmake)
set(MB_MSI_FILE ${CMAKE_BINARY_DIR}/mergebridge-${PROJECT_VERSION}-win32.msi)
add_custom_command(OUTPUT ${MB_MSI_FILE}
  COMMAND ${MB_MSI_COMMAND} -D VERSION=${PROJECT_VERSION} -D OUTPUT=${MB_MSI_FILE} -P ${MB_MSI_SCRIPT}
  DEPENDS ${CMAKE_BINARY_DIR}/mergebridge.wxs ${MB_MSI_SCRIPT} ${PROJECT_SOURCE_DIR}/cmake/source-date-epoch.sh
          mergebridge mergebridge-setup mergebridge-msi-step README.md LICENSE ${MB_POLICY_ADMX} ${MB_POLICY_ADML} ${MB_SIGN_CONFIG} ${MB_HEAD_LOG}
  COMMENT "Making ${MB_MSI_FILE} with wixl"
  VERBATIM)
add_custom_target(msi DEPENDS ${MB_MSI_FILE})
