# Cross build for 32-bit ARM Linux, hard-float (armhf), tests run under qemu-arm.
set(PDULOG_LINUX_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(PDULOG_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
