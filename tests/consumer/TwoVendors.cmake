# Part of tests/Consumer.cmake's shared run: another vendor's driver beside Acme's in one
# process. The other product is this library under its default names, installed static and
# shared into one prefix; its driver picks the shared one. Each driver must follow its own
# store, in both load orders, with RTLD_GLOBAL and RTLD_LOCAL.
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/other-pdulog -DCMAKE_BUILD_TYPE=Release
  -DPDULOG_SHARED=ON -DPDULOG_BUILD_TESTS=OFF -DPDULOG_BUILD_EXAMPLES=OFF -DPDULOG_STATIC_COMMAND=${STATIC_COMMAND}
  ${library_flags} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "PDULOG_SHARED is deprecated")
  message(FATAL_ERROR "the old switch for a shared build failed, or said nothing (${rc}):\n${out}")
endif()
run(${CMAKE_COMMAND} --build ${WORK_DIR}/other-pdulog --parallel 2)
set(ENV{DESTDIR} ${WORK_DIR}/stage)  # staged, as a package build installs
run(${CMAKE_COMMAND} --install ${STATIC_BUILD_DIR} --prefix /other-prefix)
run(${CMAKE_COMMAND} --install ${WORK_DIR}/other-pdulog --prefix /other-prefix)
unset(ENV{DESTDIR})
set(other ${WORK_DIR}/stage/other-prefix)
# The static build is of this build's configuration (static_pc: pdulogd for a Debug one).
file(READ ${other}/lib/pkgconfig/${static_pc}.pc chosen)
file(READ ${other}/lib/pkgconfig/${static_pc}-static.pc static)
if(NOT chosen STREQUAL static OR NOT EXISTS ${other}/lib/pkgconfig/pdulog-shared.pc
   OR NOT EXISTS ${other}/lib/cmake/pdulog/pdulog-static-targets.cmake)
  message(FATAL_ERROR "the shared install replaced the static one's package in ${other}")
endif()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/other-driver -DCMAKE_PREFIX_PATH=${other}
    -DPDULOG_USE_SHARED=ON -DCMAKE_BUILD_TYPE=Release ${flags} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS} -DPDULOG_EXPECT_SHARED=1")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/other-driver)
get_filename_component(suffix ${driver} LAST_EXT)
# The same driver from pkg-config's flags for the shared pdulog, with Windows' -static advice.
file(STRINGS ${WORK_DIR}/other-driver/CMakeCache.txt objdump REGEX "^CMAKE_OBJDUMP:")
string(REGEX REPLACE "^[^=]*=" "" objdump "${objdump}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_LIBDIR=${other}/lib/pkgconfig
  pkg-config --cflags --libs pdulog-shared OUTPUT_VARIABLE pc OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(pc UNIX_COMMAND "${pc}")
set(static "")
if(windows)
  set(static -static)
else()  # pkg-config's flags give no rpath: the driver names the folder, as docs/vendor.md says
  set(static -Wl,-rpath,${other}/lib)
endif()
run(${CXX_COMPILER} -std=c++17 -shared -fPIC -DPDULOG_EXPECT_SHARED=1 ${SOURCE_DIR}/tests/consumer/src/mydriver/Link.cpp ${pc} ${static}
    -o ${WORK_DIR}/pc-driver${suffix})
foreach(built ${WORK_DIR}/other-driver/${driver} ${WORK_DIR}/pc-driver${suffix})
  execute_process(COMMAND ${objdump} -p ${built} OUTPUT_VARIABLE needed)
  if(NOT needed MATCHES "NEEDED +libpdulog\\.so\\.6|DLL Name: pdulog\\.dll")
    message(FATAL_ERROR "${built} is not linked to the shared pdulog:\n${needed}")
  endif()
endforeach()
file(COPY_FILE ${WORK_DIR}/other-driver/${driver} ${app}/other-driver${suffix})
if(windows)
  file(COPY ${other}/bin/pdulog.dll DESTINATION ${app})
endif()

set(other_loglevel ${emulator} ${other}/bin/pdu-loglevel${exe})
run(${loglevel} -s COMMS -l INFO)
run(${other_loglevel} -s COMMS -l WARN)
set(modes global local)
if(windows)
  set(modes local)  # Windows has one way to load a DLL
endif()
set(others ./other-driver${suffix})
if(NOT windows)
  list(APPEND others ${WORK_DIR}/pc-driver${suffix})  # loads only if its rpath finds the library
endif()
foreach(other_driver ${others})
  foreach(mode ${modes})
    execute_process(COMMAND ${emulator} ./diagnostic-app${exe} vendors ${mode} ${driver} ${other_driver}
      WORKING_DIRECTORY ${app} RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "two vendors' drivers, ${mode}, ${other_driver}: 8: one followed the other's store (${rc})")
    endif()
  endforeach()
endforeach()
run(${loglevel} -s COMMS -l WARN)
