# Run by cpack on the staging tree before it packs it (CPACK_PRE_BUILD_SCRIPTS).
# The modes the packages record do not depend on the builder's umask.
execute_process(COMMAND chmod -R u+rwX,go=rX ${CPACK_TEMPORARY_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
# A package that fails (its signature, say) leaves none of an earlier run
# under its name.
file(REMOVE ${CPACK_PACKAGE_DIRECTORY}/${CPACK_OUTPUT_FILE_NAME})
