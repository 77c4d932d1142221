# The Group Policy template: policy/mergebridge.admx and
# policy/en-US/mergebridge.adml in the build folder, from res/policy/, with the
# key and value names cmake/registry_names.cmake reads. The ZIP and the
# Windows Installer package carry them in the folder policy.
# Its revision (two numbers) follows the version, so that Group Policy's
# central store tells a newer template from an older one: 1.2.3 is 1.203.
if(NOT PROJECT_VERSION_PATCH)
  set(PROJECT_VERSION_PATCH 0)
endif()
math(EXPR mbPolicyMinor "${PROJECT_VERSION_MINOR} * 100 + ${PROJECT_VERSION_PATCH}")
set(MB_POLICY_REVISION ${PROJECT_VERSION_MAJOR}.${mbPolicyMinor})
set(MB_POLICY_ADMX ${CMAKE_BINARY_DIR}/policy/mergebridge.admx)
set(MB_POLICY_ADML ${CMAKE_BINARY_DIR}/policy/en-US/mergebridge.adml)
configure_file(${PROJECT_SOURCE_DIR}/res/policy/mergebridge.admx.in ${MB_POLICY_ADMX} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/res/policy/mergebridge.adml.in ${MB_POLICY_ADML} @ONLY)
if(WIN32)
  install(FILES ${MB_POLICY_ADMX} DESTINATION policy)
  install(FILES ${MB_POLICY_ADML} DESTINATION policy/en-US)
endif()
