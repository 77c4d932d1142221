# Run by cpack on the staging tree before it packs it (CPACK_PRE_BUILD_SCRIPTS).
# The modes the packages record do not depend on the builder's umask, nor the
# times on when the build folder's files were made: rpmbuild only lowers a time
# later than the source's to it, and a build made before the commit it is
# packed at would keep its own.
execute_process(COMMAND chmod -R u+rwX,go=rX ${CPACK_TEMPORARY_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND find ${CPACK_TEMPORARY_DIRECTORY} -exec touch -h -d @$ENV{SOURCE_DATE_EPOCH} {} +
  COMMAND_ERROR_IS_FATAL ANY)
# A package that fails (its signature, say) leaves none of an earlier run
# under its name.
file(REMOVE ${CPACK_PACKAGE_DIRECTORY}/${CPACK_OUTPUT_FILE_NAME})
