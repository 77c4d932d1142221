# Builds that repeat byte for byte, whatever the checkout's folder, the build
# folder, the time, umask, time zone or locale:
# - no build path in the programs (__FILE__, debug information): the source
#   and the build folder are given fixed names. GCC tries the map given last
#   first, so the build folder, often inside the source, comes second.
# - no link time in a Windows program's header;
# - installed folders 0755 whatever the umask (files get 0644 or 0755 anyway).
# The packages' own fixes are in cmake/cpack_project.cmake, cpack_staging.cmake
# and cpack_finish.cmake.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                      -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
endif()
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
