# Run by cpack on the staging tree before it packs it (CPACK_PRE_BUILD_SCRIPTS):
# the modes the packages record do not depend on the builder's umask.
execute_process(COMMAND chmod -R u+rwX,go=rX ${CPACK_TEMPORARY_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
