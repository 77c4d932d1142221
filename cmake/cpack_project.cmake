# Read by cpack for every package it makes (CPACK_PROJECT_CONFIG_FILE). The
# packages repeat byte for byte: every generator, and rpmbuild under it, takes
# the source's time (cmake/source-date-epoch.sh) for the files' and the
# package's times, and neither the builder's time zone nor its locale.
execute_process(COMMAND ${CPACK_MB_SOURCE_DIR}/cmake/source-date-epoch.sh ${CPACK_MB_SOURCE_DIR}
  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
set(ENV{TZ} UTC)
set(ENV{LC_ALL} C)
# The NSIS installer's version resource takes the version in four parts.
string(REGEX MATCHALL "[0-9]+" parts "${CPACK_PACKAGE_VERSION}.0.0.0")
list(SUBLIST parts 0 4 parts)
list(JOIN parts . CPACK_MB_VERSION4)
