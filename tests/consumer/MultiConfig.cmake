# Part of tests/Consumer.cmake (MULTI_CONFIG): a shared pdulog built by a multi-config
# generator, Debug and Release, installed into one prefix beside this build's static one.
# Each configuration must keep its own library and its own .pc file, and every program must
# take the library it asked for: by CMake (an imported target per configuration) and by
# pkg-config. Release is installed first: a Debug install must not take its files. The
# programs are position-independent executables, whose inline gate reads the library's
# level pointer through a copy in the program: they must see a level the tool sets.
set(build ${WORK_DIR}/pdulog)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -G "Ninja Multi-Config" -DBUILD_SHARED_LIBS=ON
    -DPDULOG_BUILD_TESTS=OFF -DPDULOG_BUILD_EXAMPLES=OFF -DPDULOG_STATIC_COMMAND=${STATIC_COMMAND} ${flags})
foreach(config Release Debug)
  run(${CMAKE_COMMAND} --build ${build} --config ${config} --parallel 2)
  run(${CMAKE_COMMAND} --install ${build} --config ${config} --prefix ${prefix})
endforeach()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(shared_pc pdulogd)  # the configuration with no static pdulog here: pdulog<d>.pc is the shared one
if(static_pc STREQUAL "pdulogd")
  set(shared_pc pdulog)
endif()
foreach(pc pdulog-shared pdulogd-shared ${static_pc}-static)
  if(NOT EXISTS ${prefix}/lib/pkgconfig/${pc}.pc)
    message(FATAL_ERROR "not installed: lib/pkgconfig/${pc}.pc")
  endif()
endforeach()

foreach(var APPDATA TEMP HOME XDG_CONFIG_HOME)
  set(ENV{${var}} ${WORK_DIR}/${var})
  file(MAKE_DIRECTORY ${WORK_DIR}/${var})
endforeach()
run(${prefix}/bin/pdu-loglevel -s VCI -l DEBUG)  # VCI's records are DEBUG: below its default

# Checks which pdulog a program loads (none: it holds the static one), and runs it.
function(check_host program wanted)
  execute_process(COMMAND readelf -dW ${program} OUTPUT_VARIABLE dynamic)
  set(loaded none)
  if(dynamic MATCHES "Shared library: .(libpdulogd?[.]so)[.0-9]*.")
    set(loaded ${CMAKE_MATCH_1})
  endif()
  if(NOT loaded STREQUAL wanted OR NOT dynamic MATCHES "Flags: [^\n]*PIE")
    message(FATAL_ERROR "${program}: wanted '${wanted}', a PIE, but it loads '${loaded}':\n${dynamic}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib
    ${program} --interval-ms 1 --seconds 10 --until VCI RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(NOT rc EQUAL 0 OR NOT err MATCHES " DEBUG  +[0-9a-f]+:([^: ]+.)?main[.]cpp:[0-9]+:main:VCI tick 1")
    message(FATAL_ERROR "${program} did not see the level the tool set (${rc}):\n${err}")
  endif()
endfunction()

# pkg-config: each file names its own library, in a folder that holds all three.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
separate_arguments(linker_flags UNIX_COMMAND "${LINKER_FLAGS}")
foreach(case "${static_pc}-static|none" "pdulog-shared|libpdulog.so" "pdulogd-shared|libpdulogd.so" "${static_pc}|none"
             "${shared_pc}|lib${shared_pc}.so")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 pc)
  list(GET case 1 wanted)
  execute_process(COMMAND pkg-config --cflags --libs --static ${pc} OUTPUT_VARIABLE pc_flags
    RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  run(c++ -std=c++17 -fPIE -pie ${cxx_flags} ${SOURCE_DIR}/examples/host/main.cpp ${pc_flags} ${linker_flags}
      -o ${WORK_DIR}/host-${pc})
  check_host(${WORK_DIR}/host-${pc} "${wanted}")
endforeach()

# CMake: one multi-config build of a host, each configuration on its own library.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/host -B ${WORK_DIR}/host -G "Ninja Multi-Config"
    -DCMAKE_PREFIX_PATH=${prefix} -DPDULOG_USE_SHARED=ON -DCMAKE_POSITION_INDEPENDENT_CODE=ON ${flags})
foreach(case "Debug|libpdulogd" "Release|libpdulog")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 config)
  list(GET case 1 library)
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/host --config ${config})
  check_host(${WORK_DIR}/host/${config}/pdulog-host ${library}.so)
endforeach()
