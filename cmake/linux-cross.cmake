# What the Linux cross toolchain files share (Debian's cross compilers, whose libraries live
# in /usr/<triplet>); they set PDULOG_LINUX_TRIPLET, CMAKE_SYSTEM_PROCESSOR and, for another
# processor, PDULOG_QEMU, then include this file.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${PDULOG_LINUX_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PDULOG_LINUX_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${PDULOG_LINUX_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages: the cross root first, then the prefixes a user names (CMAKE_PREFIX_PATH), so that
# find_package finds a build of pdulog for this processor installed anywhere.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Programs for another processor run through qemu's user-mode emulator, which finds their
# loader and libraries under the cross root. No binfmt handler is relied on: every program a
# test starts is started through this emulator too.
if(PDULOG_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PDULOG_QEMU} -L /usr/${PDULOG_LINUX_TRIPLET})
endif()
