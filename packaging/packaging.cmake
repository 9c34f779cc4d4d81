# What a user installs, built by CPack from the install rules: a Debian package on Linux
# (cpack -G DEB), a zip on Windows (cpack -G ZIP). app/ installs the dialog, its icon and its
# desktop entry itself; everything else is installed here. Included by the top-level
# CMakeLists.txt at its end, so the files it makes go to packaging/ in the build folder.
set(packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(packaging_binary_dir ${CMAKE_BINARY_DIR}/packaging)

# The release this version is; the Debian changelog and the AppStream metainfo both say it.
set(TARN_RELEASE_DATE 2026-12-09)
set(TARN_PACKAGE_MAINTAINER
  "tarn-updater maintainers <maintainers@users.noreply.c-seed-53363f97.example>"
  CACHE STRING "Maintainer named in the Debian package")
set(TARN_HOMEPAGE "https://tarn-updater.example"
  CACHE STRING "The project's public address: the screenshot of the AppStream metainfo is below it")

# Which firmware the programs carry decides whether they may touch a real device, so every
# package says it.
if(TARN_FIRMWARE_DIR)
  set(TARN_FIRMWARE_NOTE "This build carries the real firmware image set; another one can be
given with --firmware PATH.")
else()
  # Short lines: the Debian description allows no longer ones.
  set(TARN_FIRMWARE_NOTE "This build carries only the stand-in firmware image set, and the programs
refuse to write it to any device but the in-process virtual one. Give them the
device maker's set with --firmware PATH: a folder holding 129.bin 133.bin
136.bin 139.bin 142.bin, or a Windows updater carrying them as BIN resources.")
endif()

set(CPACK_PACKAGE_NAME tarn-updater)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  include(${packaging_dir}/cmake/windows_zip.cmake)
else()
  include(${packaging_dir}/cmake/man_pages.cmake)
  include(${packaging_dir}/cmake/debian.cmake)
  # The two text generators the Debian package is made with.
  foreach(tool make-completion help-for-man)
    add_test(NAME packaging_${tool}
      COMMAND linux/${tool}-test.sh linux/${tool}.sh
      WORKING_DIRECTORY ${packaging_dir})
  endforeach()
endif()
include(CPack)
