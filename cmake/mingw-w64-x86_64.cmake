# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, for std::thread).
# The executables are linked statically so they run under Wine without copying any DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_ASM_COMPILER ${TARN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_RC_COMPILER ${TARN_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# 8 MiB of stack for the main thread and, through winpthreads, every other thread: what Linux
# gives, instead of MinGW's 2 MiB, so code that runs on Linux does not run out on Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--stack,8388608")

# Programs built here (tests, build-time generators) run under Wine, in a Wine prefix of the
# build folder's own, so no user's prefix is touched.
find_program(TARN_WINE wine)
if(TARN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all ${TARN_WINE})
endif()
