# What a Windows program or DLL of the project carries: a version resource
# and, for a program, an application manifest, generated from project()'s
# version and embedded with the resource compiler. Any program or DLL of the
# project can take them with its own name:
#
#   mb_windows_resources(<target> FILE_NAME <name>.exe|<name>.dll DESCRIPTION <text>
#                        [MANIFEST <file>])
#
# The manifest (res/windows/app.manifest.in, or MANIFEST as it is): asInvoker,
# the UTF-8 active code page, long paths, the supported systems from Vista to
# 10/11, per-monitor DPI awareness and Common Controls 6.0; a DLL has none. The
# version resource (res/windows/app.rc.in): file and product version, fixed
# (four parts) and as text, product name, description, original file name,
# copyright and company; WDAC's publisher rules for a file name and version
# read it.
set(MB_RES_TEMPLATES ${CMAKE_CURRENT_LIST_DIR}/../res/windows)
set(MB_RES_PRODUCT "mergebridge")
set(MB_RES_COMPANY "mergebridge developers")
set(MB_RES_COPYRIGHT "Copyright (C) mergebridge developers")

function(mb_windows_resources target)
  cmake_parse_arguments(MB_RES "" "FILE_NAME;DESCRIPTION;MANIFEST" "" ${ARGN})
  if(NOT MB_RES_FILE_NAME OR NOT MB_RES_DESCRIPTION)
    message(FATAL_ERROR "mb_windows_resources(${target}) needs FILE_NAME and DESCRIPTION")
  endif()
  foreach(part MAJOR MINOR PATCH TWEAK)
    # An x.y.z version leaves TWEAK empty: set() then removes the variable,
    # which only a quoted expansion reads as empty.
    set(number ${PROJECT_VERSION_${part}})
    if("${number}" STREQUAL "")
      set(number 0)
    endif()
    list(APPEND numbers ${number})
  endforeach()
  list(JOIN numbers "." MB_RES_VERSION4)
  list(JOIN numbers "," MB_RES_VERSION_COMMAS)
  set(MB_RES_VERSION ${PROJECT_VERSION})
  get_filename_component(MB_RES_INTERNAL_NAME ${MB_RES_FILE_NAME} NAME_WE)
  set(MB_RES_IDENTITY "${MB_RES_PRODUCT}.${MB_RES_INTERNAL_NAME}")
  set(outDir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(MB_RES_FILE_TYPE VFT_APP)
  if(MB_RES_FILE_NAME MATCHES "[.]dll$")
    set(MB_RES_FILE_TYPE VFT_DLL)
    set(MB_RES_MANIFEST_LINE "")
  else()
    if(NOT MB_RES_MANIFEST)
      set(MB_RES_MANIFEST ${outDir}/${target}.manifest)
      configure_file(${MB_RES_TEMPLATES}/app.manifest.in ${MB_RES_MANIFEST} @ONLY)
    endif()
    set(MB_RES_MANIFEST_LINE "1 24 \"${MB_RES_MANIFEST}\"")
  endif()
  configure_file(${MB_RES_TEMPLATES}/app.rc.in ${outDir}/${target}.rc @ONLY)
  # The .rc names the manifest by path, so a changed manifest recompiles it.
  set_source_files_properties(${outDir}/${target}.rc PROPERTIES OBJECT_DEPENDS "${MB_RES_MANIFEST}")
  target_sources(${target} PRIVATE ${outDir}/${target}.rc)
endfunction()
