# 32-bit Windows, the host's own platform; its programs run under the 32-bit wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KROGW_MINGW_TRIPLET i686-w64-mingw32)
set(KROGW_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
