# 64-bit Windows from the same sources. Its programs run under the 64-bit wine loader
# directly, which works on machines whose kernel cannot execute 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KROGW_MINGW_TRIPLET x86_64-w64-mingw32)
set(KROGW_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
