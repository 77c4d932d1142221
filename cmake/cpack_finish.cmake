# Run by cpack on each package it made (CPACK_POST_BUILD_SCRIPTS):
# - the .tar.gz and the ZIP are written anew: CPack (3.25) lists their files
#   in the order the file system gives and records the builder's user and
#   group, the ZIP its local time; cmake/normalize-archive.sh writes them
#   sorted, owned by root, dated by the source's time; the .deb's ar headers
#   get fixed modes.
# - the RPM is signed where MERGEBRIDGE_GPG_KEY names a key (cmake/sign-rpm.sh).
# A failure leaves no such package, in the build folder or beside it.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(command "")
  if(package MATCHES "\\.(tar\\.gz|zip|deb)$")
    set(command ${CPACK_MB_SOURCE_DIR}/cmake/normalize-archive.sh ${package})
  elseif(package MATCHES "\\.rpm$" AND CPACK_MB_GPG_KEY)
    set(command ${CPACK_MB_SOURCE_DIR}/cmake/sign-rpm.sh ${CPACK_MB_GPG_KEY} ${package})
  endif()
  if(command)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env CMAKE_COMMAND=${CMAKE_COMMAND} ${command}
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      get_filename_component(name ${package} NAME)
      file(REMOVE ${package} ${CPACK_PACKAGE_DIRECTORY}/${name})
      message(FATAL_ERROR "${name} was not made")
    endif()
  endif()
endforeach()
