# Cross build for 32-bit x86 Linux with Debian's i686 cross compiler; its programs run here
# natively (the 32-bit C and C++ runtimes of Debian's i386 architecture).
set(PDULOG_LINUX_TRIPLET i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
