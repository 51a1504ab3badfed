# Installs the project into a fresh prefix, then builds the example host out of tree
# against the installed package and runs it once: what another project would do.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -P InstallAndLink.cmake
foreach(var BUILD_DIR SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(installed
    bin/pdu-loglevel share/man/man1/pdu-loglevel.1 lib/libpdulog.a
    include/pdulog/CLog.h include/pdulog/CUtil.h
    lib/cmake/pdulog/pdulogConfig.cmake lib/cmake/pdulog/pdulogConfigVersion.cmake)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/host -B ${WORK_DIR}/host
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_CXX_FLAGS=${HOST_CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${HOST_LINKER_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host)

# The host built against the package logs through the installed library.
set(ENV{APPDATA} ${WORK_DIR}/appdata)
run(${prefix}/bin/pdu-loglevel -s GENERAL -l WARN)
execute_process(COMMAND ${WORK_DIR}/host/pdulog-host --interval-ms 1 --seconds 30 --until GENERAL
  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
if(NOT rc EQUAL 0 OR NOT err MATCHES " WARN   +[0-9a-f]+:examples.host.main.cpp:1:main:GENERAL tick 1")
  message(FATAL_ERROR "the host built against the package did not log (${rc}):\n${err}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
