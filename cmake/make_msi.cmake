# Makes the Windows Installer package: cmake -D VERSION=X.Y.Z -D OUTPUT=file.msi
# -D BUILD_DIR=... -D SOURCE_DIR=... -D WIXL=... -D MSIBUILD=... -D MSIINFO=...
# -D UPGRADE_CODE=... [-D VARIANT=name] [-D SIGN_CONFIG=signing.conf] -P make_msi.cmake
# The msi target runs it with the project's version, the installer test with a
# lower one for the upgrade, and with VARIANT for another package of the same
# version.
#
# The package repeats byte for byte: its product and package codes come from
# the version, the commit (or, in a tree without git, the source's time) and
# VARIANT, never from chance, so that another commit gets other codes; its
# files and its summary carry the source's time (cmake/source-date-epoch.sh).
foreach(name VERSION OUTPUT BUILD_DIR SOURCE_DIR WIXL MSIBUILD MSIINFO UPGRADE_CODE)
  if(NOT ${name})
    message(FATAL_ERROR "make_msi.cmake needs -D ${name}=...")
  endif()
endforeach()
# libmsi and the cabinet write times in local time.
set(ENV{TZ} UTC)
execute_process(COMMAND ${SOURCE_DIR}/cmake/source-date-epoch.sh ${SOURCE_DIR}
  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(identity "time ${epoch}")
if(EXISTS ${SOURCE_DIR}/.git)
  execute_process(COMMAND git -C ${SOURCE_DIR} rev-parse HEAD
    OUTPUT_VARIABLE identity OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()
string(UUID productCode NAMESPACE ${UPGRADE_CODE} NAME "product ${VERSION} ${identity} ${VARIANT}" TYPE SHA1 UPPER)
string(UUID packageCode NAMESPACE ${UPGRADE_CODE} NAME "package ${VERSION} ${identity} ${VARIANT}" TYPE SHA1 UPPER)

# The files go into the cabinet with their modification times: wixl takes
# copies given the source's time (msi-files.txt lists them), in a folder of
# their own for each package, since the tests make several at once.
# Made in a folder of its own (.partial) under its own name, which the signing
# command sees, and moved out when signed: a package that fails leaves none,
# not even an earlier one, under its name.
get_filename_component(name ${OUTPUT} NAME)
set(partial ${OUTPUT}.partial/${name})
set(files ${OUTPUT}.files)
file(REMOVE_RECURSE ${files} ${OUTPUT}.partial ${OUTPUT})
file(MAKE_DIRECTORY ${OUTPUT}.partial)
file(MAKE_DIRECTORY ${files})
file(STRINGS ${BUILD_DIR}/msi-files.txt sources)
file(COPY ${sources} ${BUILD_DIR}/mergebridge.wxs DESTINATION ${files})
file(GLOB copies ${files}/*)
execute_process(COMMAND touch -d @${epoch} ${copies} COMMAND_ERROR_IS_FATAL ANY)

execute_process(COMMAND ${WIXL} --arch x86 -D Version=${VERSION} -D ProductCode=${productCode}
  -o ${partial} mergebridge.wxs
  WORKING_DIRECTORY ${files} RESULT_VARIABLE status)
file(REMOVE_RECURSE ${files})
if(NOT status EQUAL 0)
  file(REMOVE_RECURSE ${OUTPUT}.partial)
  message(FATAL_ERROR "wixl failed (${status})")
endif()
# wixl 0.101 does not know Execute="rollback": it makes such an action an
# immediate one (2113: DLL from the Binary table, return ignored, no
# impersonation), which would run at once with no command line. 3393 adds
# in-script and rollback. It also writes SecureCustomProperties for its
# upgrade properties only; the public ones must pass to the elevated part too.
# It schedules RemoveExistingProducts before InstallInitialize, where the older
# version's removal would be committed on its own and stay done when this
# installation then fails; just after InstallInitialize it is rolled back too.
# Its upgrade row finds only lower versions (it ignores AllowSameVersionUpgrades),
# so that a package of the same version with another product code would install
# beside the first; 513 adds the version itself (VersionMaxInclusive, 0x200) to
# its MigrateFeatures (1). Attributes is a key column, so the row is written anew.
execute_process(COMMAND ${MSIBUILD} ${partial}
  -q "UPDATE CustomAction SET Type = 3393 WHERE Type = 2113"
  -q "UPDATE InstallExecuteSequence SET Sequence = 1501 WHERE Action = 'RemoveExistingProducts'"
  -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'"
  -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('{${UPGRADE_CODE}}', '${VERSION}', 513, 'WIX_UPGRADE_DETECTED')"
  -q "UPDATE Property SET Value = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;INSTALLDIR;CLEARCASE;VELMORA' WHERE Property = 'SecureCustomProperties'"
  RESULT_VARIABLE status)
# wixl draws the package code (9) at random and dates the summary (12 created,
# 13 saved) by the clock: both are written anew.
if(status EQUAL 0)
  execute_process(COMMAND ${MSIINFO} export ${partial} _SummaryInformation
    OUTPUT_VARIABLE summary RESULT_VARIABLE status)
endif()
if(status EQUAL 0)
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  string(TIMESTAMP time "%Y/%m/%d %H:%M:%S" UTC)
  string(REGEX REPLACE "\n9\t[^\r\n]*" "\n9\t{${packageCode}}" summary "${summary}")
  string(REGEX REPLACE "\n(12|13)\t[^\r\n]*" "\n\\1\t${time}" summary "${summary}")
  file(WRITE ${OUTPUT}.summary/_SummaryInformation.idt "${summary}")
  execute_process(COMMAND ${MSIBUILD} ${partial} -i _SummaryInformation.idt
    WORKING_DIRECTORY ${OUTPUT}.summary RESULT_VARIABLE status)
  file(REMOVE_RECURSE ${OUTPUT}.summary)
endif()
if(NOT status EQUAL 0)
  file(REMOVE_RECURSE ${OUTPUT}.partial)
  message(FATAL_ERROR "msibuild failed (${status})")
endif()
# Signed last: any later edit would break the signature.
if(SIGN_CONFIG)
  execute_process(COMMAND ${SOURCE_DIR}/cmake/sign-pe.sh ${SIGN_CONFIG} ${partial} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE_RECURSE ${OUTPUT}.partial)
    message(FATAL_ERROR "${OUTPUT} was not made: it could not be signed")
  endif()
endif()
file(RENAME ${partial} ${OUTPUT})
file(REMOVE_RECURSE ${OUTPUT}.partial)
