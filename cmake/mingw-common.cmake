# Windows cross build with mingw-w64, shared by the 32-bit and 64-bit toolchains:
# the posix thread model gives std::mutex to the tools, and every runtime library is
# linked statically. The including file sets KROGW_MINGW_TRIPLET and KROGW_WINE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KROGW_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KROGW_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KROGW_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KROGW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${KROGW_WINE})
