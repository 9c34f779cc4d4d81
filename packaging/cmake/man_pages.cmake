# Section 1 pages of the three programs, compressed as Debian installs them. The command-line
# programs' pages come from their --help by help2man, so a new option appears by itself; the
# dialog's page, with its one option, is written out, and shares the MIDI notes.
find_program(TARN_HELP2MAN help2man REQUIRED)
find_program(TARN_GZIP gzip REQUIRED)

set(linux_dir ${packaging_dir}/linux)
set(man_dir ${packaging_binary_dir}/man)
set(midi_notes ${linux_dir}/midi-notes.h2m)
set(firmware_notes ${man_dir}/firmware.h2m)
file(CONFIGURE OUTPUT ${firmware_notes} CONTENT "[FIRMWARE]\n${TARN_FIRMWARE_NOTE}\n")
set(TARN_MAN_PAGES)

# tarn_help2man(TARGET NAME_LINE): TARGET's page from its --help, read through a stand-in
# of TARGET's own name that passes the help on in the form help2man reads. The version is
# the project's, which is the one --version prints.
function(tarn_help2man target name_line)
  set(page ${man_dir}/${target}.1)
  set(stand_in ${man_dir}/bin/${target})
  file(GENERATE OUTPUT ${stand_in}
    CONTENT "#!/bin/sh\nexec ${linux_dir}/help-for-man.sh $<TARGET_FILE:${target}> \"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${TARN_HELP2MAN} --no-info --section=1 --name=${name_line}
      --version-string=${PROJECT_VERSION} --include=${linux_dir}/${target}.h2m
      --include=${midi_notes} --include=${firmware_notes} --output=${page} ${stand_in}
    COMMAND ${TARN_GZIP} -9nf ${page}
    DEPENDS ${target} ${stand_in} ${linux_dir}/help-for-man.sh ${linux_dir}/${target}.h2m
      ${midi_notes} ${firmware_notes}
    COMMENT "Writing the manual page of ${target}"
    VERBATIM)
  set(TARN_MAN_PAGES ${TARN_MAN_PAGES} ${page}.gz PARENT_SCOPE)
endfunction()

tarn_help2man(tarn-updater-cli
  "update the firmware of a DAXO Tarn Series device from the command line")
if(TARGET tarn-device-sim)
  tarn_help2man(tarn-device-sim "a virtual DAXO Tarn Series device on MIDI ports")
endif()

if(TARGET tarn-updater)
  # The notes' [SECTION] headings become roff section headings in the written-out page.
  file(READ ${midi_notes} TARN_MAN_MIDI_NOTES)
  string(REGEX REPLACE "\\[([^]\n]+)\\]" ".SH \"\\1\"" TARN_MAN_MIDI_NOTES
    "${TARN_MAN_MIDI_NOTES}")
  string(REGEX REPLACE "\n\n+" "\n" TARN_MAN_MIDI_NOTES "${TARN_MAN_MIDI_NOTES}")
  set(page ${man_dir}/tarn-updater.1)
  configure_file(${linux_dir}/tarn-updater.1.in ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${TARN_GZIP} -9nkf ${page}
    DEPENDS ${page}
    COMMENT "Compressing the manual page of tarn-updater"
    VERBATIM)
  list(APPEND TARN_MAN_PAGES ${page}.gz)
endif()

add_custom_target(tarn_man_pages ALL DEPENDS ${TARN_MAN_PAGES})
