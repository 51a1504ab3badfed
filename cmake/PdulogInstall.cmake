# The install of the library, its headers and its package for CMake and pkg-config (the
# command's is PdulogTool.cmake's). A static and a shared build of one product install side by side
# into one prefix: each adds its own targets file (pdulog::static, pdulog::shared) and its
# own .pc file (pdulog-static, pdulog-shared); everything else they install is the same.
include(CMakePackageConfigHelpers)
set(PDULOG_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pdulog)
if(BUILD_SHARED_LIBS)
  set(PDULOG_KIND shared)
else()
  set(PDULOG_KIND static)
endif()

install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

set_target_properties(pdulog PROPERTIES EXPORT_NAME ${PDULOG_KIND})
install(TARGETS pdulog EXPORT pdulog-${PDULOG_KIND}-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT pdulog-${PDULOG_KIND}-targets NAMESPACE pdulog:: DESTINATION ${PDULOG_CMAKE_DIR})

# The headers: the public ones, then the generated ones (and a vendor's D-PDU API header).
set(headers CLog.h CHex.h CUtil.h PdulogExport.h)
if(NOT PDULOG_VENDOR_HEADER)
  list(APPEND headers PduApi.h)
endif()
list(TRANSFORM headers PREPEND ${PROJECT_SOURCE_DIR}/include/pdulog/)
foreach(generated PdulogVersion.h PdulogIdentity.h PdulogPduApi.h)
  list(APPEND headers ${PDULOG_GENERATED_INCLUDE}/pdulog/${generated})
endforeach()
install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pdulog)
# What the public headers need at every site, and hosts do not use: the library's own.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/pdulog/detail/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pdulog/detail
        FILES_MATCHING PATTERN "*.h")
if(PDULOG_VENDOR_HEADER)
  install(FILES ${PDULOG_VENDOR_HEADER} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pdulog/vendor)
endif()

# pkg-config: pdulog-<kind>.pc, and pdulog.pc for the one a prefix offers first (static,
# as CMake's pdulog::pdulog); a Debug build's are pdulogd-<kind>.pc and pdulogd.pc, as its
# library is libpdulogd, so that a Debug and a Release build in one prefix, or of one
# multi-config build, each keep their own. The
# library is named by its file, so that a shared and a static pdulog in one folder, or a
# linker told -static, cannot take the other one.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(PDULOG_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
else()
  string(REGEX REPLACE "[^/]+" ".." up "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  set(PDULOG_PC_PREFIX "\${pcfiledir}/${up}")
endif()
if(WIN32)
  set(PDULOG_PC_LIBS_PRIVATE "-lshell32")
else()
  set(PDULOG_PC_LIBS_PRIVATE "-pthread -ldl")
endif()
configure_file(cmake/pdulog.pc.in ${PROJECT_BINARY_DIR}/pdulog.pc.in @ONLY)
set(pc ${PROJECT_BINARY_DIR}/pkgconfig/$<CONFIG>/pdulog-${PDULOG_KIND}.pc)
file(GENERATE OUTPUT ${pc} INPUT ${PROJECT_BINARY_DIR}/pdulog.pc.in)
# Written, not copied: the files of several configurations are made in the same second, and
# a copy would take the one installed first for up to date.
set(pc_dir "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(pc_dir "${CMAKE_INSTALL_LIBDIR}")
endif()
install(CODE "
  set(dir \"\$ENV{DESTDIR}${pc_dir}/pkgconfig\")
  file(READ \"${pc}\" text)
  set(base pdulog$<$<CONFIG:Debug>:d>)
  set(names \${base}-${PDULOG_KIND}.pc)
  if(\"${PDULOG_KIND}\" STREQUAL \"static\" OR NOT EXISTS \"\${dir}/\${base}-static.pc\")
    list(APPEND names \${base}.pc)
  endif()
  foreach(name \${names})
    message(STATUS \"Installing: \${dir}/\${name}\")
    file(WRITE \"\${dir}/\${name}\" \"\${text}\")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${dir}/\${name}\")
  endforeach()")

# The CMake package. Its version file accepts any target: the configure file refuses a
# package of another operating system or bitness with a message that names both.
math(EXPR PDULOG_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
configure_package_config_file(cmake/pdulogConfig.cmake.in ${PROJECT_BINARY_DIR}/pdulogConfig.cmake
  INSTALL_DESTINATION ${PDULOG_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pdulogConfigVersion.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/pdulogConfig.cmake ${PROJECT_BINARY_DIR}/pdulogConfigVersion.cmake
  cmake/PdulogPlaces.cmake cmake/PdulogDriver.cmake DESTINATION ${PDULOG_CMAKE_DIR})
# The cross toolchain files, so that a consumer of a Windows or a cross Linux build needs no
# checkout of this project.
install(FILES cmake/mingw-w64.cmake cmake/mingw-w64-i686.cmake cmake/mingw-w64-x86_64.cmake
  cmake/linux-cross.cmake cmake/linux-i686.cmake cmake/linux-aarch64.cmake cmake/linux-armhf.cmake
  DESTINATION ${PDULOG_CMAKE_DIR})
install(PROGRAMS cmake/wine-run.sh DESTINATION ${PDULOG_CMAKE_DIR})
