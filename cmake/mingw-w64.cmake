# What both mingw-w64 toolchain files share (the -posix compilers, for std::thread); they
# set PDULOG_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR, then include this file.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${PDULOG_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PDULOG_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PDULOG_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PDULOG_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages: the cross root first, then the prefixes a user names (CMAKE_PREFIX_PATH), so that
# find_package finds a Windows build of pdulog installed anywhere. Libraries and headers
# still come from the cross root only.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Every test program runs through wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
