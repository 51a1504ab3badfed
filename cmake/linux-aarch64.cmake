# Cross build for 64-bit ARM Linux (arm64), tests run under qemu-aarch64.
set(PDULOG_LINUX_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(PDULOG_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
