# The Debian package: the command-line programs, their manual pages, the CLI's completion,
# the AppStream metainfo and the package's documents, with CPack's settings for them.
include(GNUInstallDirs)
set(linux_dir ${packaging_dir}/linux)
set(generated_dir ${packaging_binary_dir}/generated)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
set(TARN_APPSTREAM_ID example.tarn_updater.TarnUpdater)

install(TARGETS tarn-updater-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET tarn-device-sim)
  install(TARGETS tarn-device-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${TARN_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The completion is made from the CLI's own --help at build time, so it cannot drift.
set(completion ${generated_dir}/tarn-updater-cli)
add_custom_command(OUTPUT ${completion}
  COMMAND ${linux_dir}/make-completion.sh tarn-updater-cli ${completion}
    $<TARGET_FILE:tarn-updater-cli>
  DEPENDS tarn-updater-cli ${linux_dir}/make-completion.sh
  COMMENT "Writing the bash completion of tarn-updater-cli"
  VERBATIM)
add_custom_target(tarn_cli_completion ALL DEPENDS ${completion})
install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

if(TARGET tarn-updater)
  # The dialog's name and summary are the desktop entry's.
  set(desktop_entry ${PROJECT_SOURCE_DIR}/resources/tarn-updater.desktop)
  foreach(key Name Comment)
    file(STRINGS ${desktop_entry} line REGEX "^${key}=")
    string(REPLACE "${key}=" "" TARN_DESKTOP_${key} "${line}")
  endforeach()
  set(metainfo ${generated_dir}/${TARN_APPSTREAM_ID}.metainfo.xml)
  configure_file(${linux_dir}/metainfo.xml.in ${metainfo} @ONLY)
  install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# Debian's changelog of a native package, dated in its own format.
execute_process(COMMAND date -u -R -d ${TARN_RELEASE_DATE}
  OUTPUT_VARIABLE TARN_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(changelog ${generated_dir}/changelog)
configure_file(${linux_dir}/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND ${TARN_GZIP} -9nkf ${changelog}
  DEPENDS ${changelog}
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(tarn_debian_changelog ALL DEPENDS ${changelog}.gz)
configure_file(${linux_dir}/copyright.in ${generated_dir}/copyright @ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${generated_dir}/copyright ${changelog}.gz
  DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "${TARN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TARN_HOMEPAGE}")
# Lines of the extended description; CPack indents them and marks the empty one.
set(CPACK_PACKAGE_DESCRIPTION "\
tarn-updater brings a DAXO Tarn Series USB-MIDI effects device to the current
system version over MIDI System Exclusive messages: it identifies the device,
rewrites its flash area by area from the firmware image set built into the
program and tells the device when the update is finished.

The package holds the desktop dialog tarn-updater, the same update from a
terminal or a script (tarn-updater-cli) and a virtual device on JACK MIDI ports
for demos and tests (tarn-device-sim).

${TARN_FIRMWARE_NOTE}")
