# Makes the Windows Installer package: cmake -D VERSION=X.Y.Z -D OUTPUT=file.msi
# -D BUILD_DIR=... -D WIXL=... -D MSIBUILD=... -D UPGRADE_CODE=... -P make_msi.cmake
# The msi target runs it with the project's version, the installer test with a
# lower one for the upgrade.
foreach(name VERSION OUTPUT BUILD_DIR WIXL MSIBUILD UPGRADE_CODE)
  if(NOT ${name})
    message(FATAL_ERROR "make_msi.cmake needs -D ${name}=...")
  endif()
endforeach()
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
# wixl takes the sources relative to the build folder (mergebridge.wxs names them so).
execute_process(COMMAND ${WIXL} --arch x86 -D Version=${VERSION} -o ${OUTPUT} mergebridge.wxs
  WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
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
execute_process(COMMAND ${MSIBUILD} ${OUTPUT}
  -q "UPDATE CustomAction SET Type = 3393 WHERE Type = 2113"
  -q "UPDATE InstallExecuteSequence SET Sequence = 1501 WHERE Action = 'RemoveExistingProducts'"
  -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'"
  -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('{${UPGRADE_CODE}}', '${VERSION}', 513, 'WIX_UPGRADE_DETECTED')"
  -q "UPDATE Property SET Value = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;INSTALLDIR;CLEARCASE;VELMORA' WHERE Property = 'SecureCustomProperties'"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "msibuild failed (${status})")
endif()
