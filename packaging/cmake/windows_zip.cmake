# The Windows zip: the programs at its top and a short README.txt with Windows line ends.
# The dialog is packaged when this build has it; a build without it packages the CLI alone.
install(TARGETS tarn-updater-cli RUNTIME DESTINATION .)
if(TARGET tarn-updater)
  install(TARGETS tarn-updater RUNTIME DESTINATION .)
  file(READ ${packaging_dir}/windows/README-dialog.txt TARN_README_DIALOG)
else()
  message(STATUS "packaging: this Windows build has no tarn-updater target; "
    "the zip holds tarn-updater-cli.exe only")
  set(TARN_README_DIALOG "")
endif()
# Every line end becomes CRLF, those inside the substituted texts as well (configure_file's
# NEWLINE_STYLE leaves those alone).
file(READ ${packaging_dir}/windows/README.txt.in readme)
string(CONFIGURE "${readme}" readme @ONLY)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${packaging_binary_dir}/README.txt "${readme}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${packaging_dir}/windows/README.txt.in ${packaging_dir}/windows/README-dialog.txt)
install(FILES ${packaging_binary_dir}/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x64)
