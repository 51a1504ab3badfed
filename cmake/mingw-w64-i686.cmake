# Cross build for 32-bit Windows with mingw-w64, tests run under wine (32-bit wine, from
# Debian's i386 architecture).
set(PDULOG_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
