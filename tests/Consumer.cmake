# Builds what a D-PDU API vendor builds against an installed pdulog, out of tree, and runs
# it as its users do: tests/consumer's driver (a shared object or DLL) is loaded by the
# diagnostic application, logs, and sees a level that pdu-loglevel sets while it runs.
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... [-DBUILD_DIR=...] [-DSHARED=ON]
#         [-DTOOLCHAIN=...] [-DEMULATOR=a|b] [-DCXX_FLAGS=...] [-DLINKER_FLAGS=...]
#         [-DSTATIC_COMMAND=ON|OFF] [-DLIBRARY_FILE=libpdulog.a] [-DMULTI_CONFIG=ON]
#         [-DCXX_COMPILER=c++] -P Consumer.cmake
# BUILD_DIR: install that build (a static pdulog). SHARED: build and install a shared pdulog
# from SOURCE_DIR first, for another product (a store folder and log names of its own).
# EMULATOR ('|' between its words) runs the programs of a cross build (wine, qemu).
foreach(var SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

# A run that fails leaves nothing behind: the script runs itself once more and removes its
# work folder whatever became of that run (PDULOG_KEEP_CONSUMER keeps it: tools/exit-races.sh
# runs what was built there).
if(NOT CONSUMER_INNER)
  set(settings -DCONSUMER_INNER=ON)
  foreach(var SOURCE_DIR WORK_DIR BUILD_DIR SHARED TOOLCHAIN EMULATOR CXX_FLAGS LINKER_FLAGS STATIC_COMMAND
              LIBRARY_FILE MULTI_CONFIG CXX_COMPILER)
    list(APPEND settings "-D${var}=${${var}}")
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} ${settings} -P ${CMAKE_CURRENT_LIST_FILE} RESULT_VARIABLE rc)
  if(NOT DEFINED ENV{PDULOG_KEEP_CONSUMER})
    file(REMOVE_RECURSE ${WORK_DIR})
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the consumer run failed (${rc}); its output is above")
  endif()
  return()
endif()

string(REPLACE "|" ";" emulator "${EMULATOR}")
set(windows OFF)  # a mingw-w64 build, run under wine; another TOOLCHAIN is a Linux one
if(TOOLCHAIN MATCHES "mingw")
  set(windows ON)
endif()
if(NOT CXX_COMPILER)  # the compiler of a program built with pkg-config's flags alone
  set(CXX_COMPILER c++)
endif()
if(NOT LIBRARY_FILE)  # the file of BUILD_DIR's static pdulog
  set(LIBRARY_FILE libpdulog.a)
endif()
# The .pc files' name of that build's configuration: a Debug build's have its postfix.
string(REGEX REPLACE "^lib(pdulogd?)[.].*" "\\1" static_pc "${LIBRARY_FILE}")
set(flags "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
          "-DCMAKE_SHARED_LINKER_FLAGS=${LINKER_FLAGS}" "-DCMAKE_MODULE_LINKER_FLAGS=${LINKER_FLAGS}")
set(library_flags ${flags})
if(TOOLCHAIN)
  list(APPEND library_flags -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
set(tool pdu-loglevel)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
endfunction()

# The dynamic symbols that a file defines for others, a line of readelf's each (not the
# section symbols that some processors' linkers put in the table too).
function(defined_symbols file var)
  execute_process(COMMAND readelf --dyn-syms -W ${file} OUTPUT_VARIABLE symbols)
  string(REGEX MATCHALL "[^\n]* (GLOBAL|WEAK|UNIQUE) +(DEFAULT|PROTECTED) +[0-9]+ [^\n]*" lines "${symbols}")
  set(${var} "${lines}" PARENT_SCOPE)
endfunction()

if(MULTI_CONFIG)  # a shared pdulog of a multi-config generator, beside BUILD_DIR's static one
  include(${SOURCE_DIR}/tests/consumer/MultiConfig.cmake)
  return()
endif()

set(STATIC_BUILD_DIR ${BUILD_DIR})
if(SHARED)  # Acme's product: a shared pdulog under a name of its own
  set(BUILD_DIR ${WORK_DIR}/pdulog)
  set(tool acme-loglevel)  # the vendor's name for the level tool
  foreach(bad -DPDULOG_TOOL_NAME=-acme -DPDULOG_TOOL_NAME=acme/loglevel "-DPDULOG_TOOL_VERSION=2\"1")
    execute_process(COMMAND ${CMAKE_COMMAND} --fresh -S ${SOURCE_DIR} -B ${WORK_DIR}/bad ${bad} OUTPUT_QUIET ERROR_VARIABLE err)
    if(NOT err MATCHES "PDULOG_TOOL_(NAME|VERSION) '")  # only a refusal says so
      message(FATAL_ERROR "a bad tool setting was taken: ${bad}\n${err}")
    endif()
  endforeach()
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BUILD_DIR} -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
      -DPDULOG_LIBRARY_NAME=acmelog -DPDULOG_BUILD_TESTS=OFF -DPDULOG_BUILD_EXAMPLES=OFF
      -DPDULOG_STATIC_COMMAND=${STATIC_COMMAND}
      "-DPDULOG_STORE_FOLDER=Acme/VCI Kit" -DPDULOG_LOG_FILE=acme-vci.log -DPDULOG_LOG_FILE_FALLBACK=acme.log
      -DPDULOG_INIT_LOG_FILE=acme-vci_init.log -DPDULOG_INIT_LOG_FILE_FALLBACK=acme_init.log
      -DPDULOG_INIT_LOG_LIMIT=1048576 -DPDULOG_TOOL_NAME=acme-loglevel -DPDULOG_TOOL_VERSION=2.1.0 ${library_flags})
  run(${CMAKE_COMMAND} --build ${BUILD_DIR} --parallel 2)
endif()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(kind static)
set(library lib/${LIBRARY_FILE})  # a Debug build's has its postfix, and so have its .pc files
set(pc_base ${static_pc})
if(SHARED)
  set(kind shared)
  set(pc_base pdulog)  # a Release build
  set(library lib/libacmelog.so)
  if(windows)
    set(library bin/acmelog.dll lib/libacmelog.dll.a)
  endif()
endif()
if(windows)
  set(exe .exe)
endif()
foreach(installed
    bin/${tool}${exe} share/man/man1/${tool}.1 ${library}
    include/pdulog/CLog.h include/pdulog/CUtil.h include/pdulog/PdulogExport.h include/pdulog/PdulogIdentity.h
    include/pdulog/detail/RecordStream.h include/pdulog/detail/LevelSlots.h include/pdulog/detail/ItemLayout.h
    lib/cmake/pdulog/pdulogConfig.cmake lib/cmake/pdulog/pdulogConfigVersion.cmake
    lib/cmake/pdulog/mingw-w64-i686.cmake lib/cmake/pdulog/mingw-w64-x86_64.cmake lib/cmake/pdulog/wine-run.sh
    lib/cmake/pdulog/linux-cross.cmake lib/cmake/pdulog/linux-i686.cmake lib/cmake/pdulog/linux-aarch64.cmake
    lib/cmake/pdulog/linux-armhf.cmake
    lib/cmake/pdulog/pdulog-${kind}-targets.cmake lib/cmake/pdulog/PdulogDriver.cmake
    lib/pkgconfig/${pc_base}.pc lib/pkgconfig/${pc_base}-${kind}.pc share/doc/pdulog/LICENSE share/bash-completion/completions/${tool})
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

# The consumer needs nothing of this checkout: the toolchain file comes with the package.
if(TOOLCHAIN)
  get_filename_component(toolchain ${TOOLCHAIN} NAME)
  list(APPEND flags -DCMAKE_TOOLCHAIN_FILE=${prefix}/lib/cmake/pdulog/${toolchain})
endif()
set(app ${WORK_DIR}/mydriver)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${app} -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_BUILD_TYPE=Release ${flags})
run(${CMAKE_COMMAND} --build ${app})

if(windows)
  set(driver mydriver.dll)
  if(SHARED)  # beside the application, where Windows looks for the DLLs of a DLL
    file(COPY ${prefix}/bin/acmelog.dll DESTINATION ${app})
  endif()
else()
  set(driver ./mydriver.so)
  foreach(var APPDATA TEMP HOME XDG_CONFIG_HOME)  # wine keeps its own, in the emulator's prefix
    set(ENV{${var}} ${WORK_DIR}/${var})
    file(MAKE_DIRECTORY ${WORK_DIR}/${var})
  endforeach()
endif()
file(READ ${app}/tool.txt tool_package)  # the imported target's file; name; version
list(GET tool_package 0 tool_file)
set(loglevel ${emulator} ${tool_file})

# COMMS starts below INFO; once the application has loaded the driver and said so, the
# level is set, and the driver's next poll logs.
run(${loglevel} -s COMMS -l WARN)
execute_process(
  COMMAND ${emulator} ./diagnostic-app${exe} ${driver}
  COMMAND sh -c "read ready && exec \"$@\" -s COMMS -l INFO 2>/dev/null" sh ${loglevel}
  WORKING_DIRECTORY ${app} RESULTS_VARIABLE rcs ERROR_VARIABLE err OUTPUT_QUIET)
set(record "[0-9:.]+ INFO   +[0-9a-f]+:src\\\\mydriver\\\\Link\\.cpp:[0-9]+:Link::Poll:connected to [0-9]+")
run(${loglevel} -s COMMS -l WARN)  # under wine the store is the prefix's own: COMMS back to its default
# The first poll, before the change, must have made no record.
if(NOT rcs STREQUAL "0;0" OR NOT err MATCHES "${record}\r?\n" OR err MATCHES "connected to 1\r?\n")
  message(FATAL_ERROR "the driver did not see the level (${rcs}):\n${err}")
endif()
# The application exits while four threads log through the driver, kept or pinned: it
# exits 0, and every record it wrote is whole.
set(ends kept)
if(NOT windows)
  list(APPEND ends pinned)
endif()
run(${loglevel} -s COMMS -l INFO)
# LeakSanitizer's check at the process's end races the threads that are still logging and
# ending then (its tracer reads an ending thread's dynamic TLS, and crashes): these runs
# check the end's records; leaks are checked by every other run.
set(end_env ${CMAKE_COMMAND} -E env "ASAN_OPTIONS=$ENV{ASAN_OPTIONS}:detect_leaks=0")
foreach(how ${ends})
  foreach(run RANGE 1 3)
    execute_process(COMMAND ${end_env} ${emulator} ./diagnostic-app${exe} ends ${driver} ${how}
      WORKING_DIRECTORY ${app} RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
    string(REGEX REPLACE "${record}\r?\n" "" rest "${err}")
    if(NOT rc EQUAL 0 OR NOT rest STREQUAL "")
      message(FATAL_ERROR "the application did not end cleanly (${rc}, ${how}): ${rest}")
    endif()
  endforeach()
endforeach()
run(${loglevel} -s COMMS -l WARN)

if(SHARED)
  # Two modules on one shared pdulog: one's stop leaves the other logging, the last releases
  # the store. The product's own store and init log are used, and the package names them.
  file(GLOB_RECURSE stale ${prefix}/*pdu-loglevel*)
  execute_process(COMMAND ${loglevel} -h ERROR_VARIABLE banner)
  file(READ ${prefix}/share/man/man1/acme-loglevel.1 manual)
  if(stale OR NOT tool_package MATCHES "/bin/acme-loglevel${exe};acme-loglevel;2[.]1[.]0$"
     OR NOT banner MATCHES "acme-loglevel(${exe})? - version 2[.]1[.]0\r?\n"
     OR NOT manual MATCHES "^[.]TH ACME-LOGLEVEL 1 \"[^\"]*\" \"acme-loglevel 2[.]1[.]0\"" OR manual MATCHES "pdu-loglevel|Krelt|d-pdu-api"
     OR NOT manual MATCHES "\"[$]HOME/[.]config/Acme/VCI Kit/DEBUG[.]CFG\""
     OR NOT manual MATCHES "Past 1048576 bytes it rolls over into .fIacme-vci_init[.]log[.]1.fR"
     OR NOT manual MATCHES ".fIacme-vci[.]log.fR [(].fIacme[.]log.fR[)]")
    message(FATAL_ERROR "not the vendor's tool: ${stale} ${tool_package}\n${banner}")
  endif()
  run(${loglevel} -s COMMS -l INFO)
  execute_process(COMMAND ${emulator} ./diagnostic-app${exe} modules ${driver} WORKING_DIRECTORY ${app}
    RESULT_VARIABLE rc)
  run(${loglevel} -s COMMS -l WARN)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "6: one module's stop stopped the others; 7: the last did not (${rc})")
  endif()
  if(NOT TOOLCHAIN)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig
      pkg-config --variable=store_folder pdulog OUTPUT_VARIABLE folder OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig
      pkg-config --variable=tool_name pdulog OUTPUT_VARIABLE tool_name OUTPUT_STRIP_TRAILING_WHITESPACE)
    run(bash ${SOURCE_DIR}/tests/Completion.sh ${prefix}/share/bash-completion/completions/acme-loglevel ${tool_file})
    file(GLOB_RECURSE made RELATIVE ${WORK_DIR} ${WORK_DIR}/APPDATA/* ${WORK_DIR}/TEMP/*)
    if(EXISTS ${WORK_DIR}/TEMP/acme-vci_init.log)
      file(READ ${WORK_DIR}/TEMP/acme-vci_init.log text)
    endif()
    if(NOT made STREQUAL "APPDATA/Acme/VCI Kit/DEBUG.CFG;TEMP/acme-vci_init.log"
       OR NOT text MATCHES "connected to 1\n" OR NOT folder STREQUAL "Acme\\VCI Kit" OR NOT tool_name STREQUAL ${tool})
      message(FATAL_ERROR "not the product's own store, init log, tool: ${made}, ${folder}, ${tool_name}")
    endif()
    # Every symbol the library exports carries its version, named after the library.
    defined_symbols(${prefix}/lib/libacmelog.so exported)
    list(LENGTH exported count)
    list(FILTER exported EXCLUDE REGEX "@@ACMELOG_6$")
    if(count EQUAL 0 OR exported)
      message(FATAL_ERROR "exported without the library's version: ${exported}")
    endif()
  endif()
  include(${SOURCE_DIR}/tests/consumer/TwoVendors.cmake)
endif()

# A driver unloaded must leave nothing behind: no mapping, and no SIGBUS handler that
# jumps into its code. Self-contained drivers (see consumer/CMakeLists.txt) or a DLL.
if(EXISTS ${app}/mydriver_a.so)
  # Fewer under qemu: past a few hundred cycles the mappings counted grew there (the count
  # includes the emulator's own), and a forked child once hung inside the emulator.
  set(cycles 1000)
  if(EMULATOR)
    set(cycles 100)
  endif()
  set(scenarios "orders|${app}/mydriver_a.so|${app}/mydriver_b.so" "cycles|${app}/mydriver_a.so|${cycles}")
  if(EMULATOR MATCHES "qemu-arm[|]")  # it gives a fault's address a page off (CMakePresets.json)
    list(REMOVE_AT scenarios 0)
  endif()
elseif(windows AND NOT SHARED)
  set(scenarios "cycles|${app}/${driver}|200")  # wine is slow
  # A Windows package is refused by a Linux configure and by one of the other bitness, with a
  # message that names both.
  if(TOOLCHAIN MATCHES "i686")
    set(built "Windows 32")
    set(other "-DCMAKE_TOOLCHAIN_FILE=${prefix}/lib/cmake/pdulog/mingw-w64-x86_64.cmake|Windows 64")
  else()
    set(built "Windows 64")
    set(other "-DCMAKE_TOOLCHAIN_FILE=${prefix}/lib/cmake/pdulog/mingw-w64-i686.cmake|Windows 32")
  endif()
  set(refusals "-DCMAKE_TOOLCHAIN_FILE=|Linux 64" "${other}")
endif()
if(TOOLCHAIN AND NOT windows AND NOT SHARED)
  # A Linux package for another processor (arm64, 32-bit ARM, 32-bit x86) is refused by a
  # configure for this machine's, though both say Linux, and arm64 and x86-64 both 64-bit.
  set(built "Linux [0-9]+")
  set(refusals "-DCMAKE_TOOLCHAIN_FILE=|Linux 64")
endif()
if(refusals)
  foreach(refusal ${refusals})
    string(REPLACE "|" ";" refusal "${refusal}")
    list(GET refusal 0 toolchain_flag)
    list(GET refusal 1 system)
    file(REMOVE_RECURSE ${WORK_DIR}/refused)
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/refused
      -DCMAKE_PREFIX_PATH=${prefix} ${toolchain_flag} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    string(REGEX REPLACE "[ \n]+" " " out "${out}")  # as CMake wrapped it
    if(rc EQUAL 0 OR NOT out MATCHES "built for ${built}-bit [(][a-z0-9_]+[)], but this project builds for ${system}-bit [(]x86[)]")
      message(FATAL_ERROR "a ${system}-bit configure took the ${built}-bit package (${rc}):\n${out}")
    endif()
  endforeach()
endif()
foreach(scenario ${scenarios})
  string(REPLACE "|" ";" scenario "${scenario}")
  execute_process(COMMAND ${emulator} ${app}/diagnostic-app${exe} ${scenario}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_QUIET)  # standard error: a record per load
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "an unloaded driver left something behind (${rc}): ${scenario}\n${out}")
  endif()
endforeach()

if(NOT windows AND NOT SHARED)
  # Nothing in the archive keeps a plugin mapped; a self-contained driver exports only its
  # entry points.
  execute_process(COMMAND readelf -sW ${prefix}/lib/${LIBRARY_FILE} OUTPUT_VARIABLE symbols)
  set(exported "")
  if(EXISTS ${app}/mydriver_a.so)
    defined_symbols(${app}/mydriver_a.so exported)
    list(FILTER exported EXCLUDE REGEX " Driver[A-Za-z]+$")
  endif()
  if(symbols MATCHES " UNIQUE " OR exported)
    message(FATAL_ERROR "the archive has STB_GNU_UNIQUE symbols, or the driver exports more:\n${exported}")
  endif()
endif()
if(NOT TOOLCHAIN AND NOT SHARED)
  # Without GoogleTest the tool builds, and the configure says that the tests are off. That
  # build, of the other kind of configuration (Debug or not), joins the prefix: the example
  # host, a Release program, must not take the Debug library.
  set(other_type Debug)
  if(LIBRARY_FILE MATCHES "d[.]a$")
    set(other_type Release)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/no-gtest -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
    -DCMAKE_BUILD_TYPE=${other_type} ${library_flags} OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT out MATCHES "pdulog: GoogleTest not found, tests are off")
    message(FATAL_ERROR "no word that the tests are off without GoogleTest:\n${out}")
  endif()
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/no-gtest --target pdu-loglevel pdulog --parallel 2)
  run(${CMAKE_COMMAND} --install ${WORK_DIR}/no-gtest --prefix ${prefix})
endif()
if(NOT windows AND NOT SHARED)
  # The example host, and a program built with pkg-config's flags alone (pkg-config sees
  # the prefix only, as a cross build's must).
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/host -B ${WORK_DIR}/host -DCMAKE_PREFIX_PATH=${prefix}
      -DCMAKE_BUILD_TYPE=Release ${flags})
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/host --verbose OUTPUT_VARIABLE out)
  if(NOT out MATCHES "/libpdulog[.]a" OR out MATCHES "libpdulogd[.]a")
    message(FATAL_ERROR "a Release program did not take the Release library:\n${out}")
  endif()
  set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/lib/pkgconfig)
  execute_process(COMMAND pkg-config --cflags --libs --static pdulog
    OUTPUT_VARIABLE pc RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT pc MATCHES "/libpdulog[.]a( |$)")  # the Release library, beside a Debug one
    message(FATAL_ERROR "pkg-config's pdulog is not the Release library: ${pc}")
  endif()
  separate_arguments(pc UNIX_COMMAND "${pc}")
  separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
  separate_arguments(linker_flags UNIX_COMMAND "${LINKER_FLAGS}")
  run(${CXX_COMPILER} -std=c++17 ${cxx_flags} ${SOURCE_DIR}/examples/host/main.cpp ${pc} ${linker_flags}
      -o ${WORK_DIR}/host-pkg-config)
  set(hosts ${WORK_DIR}/host/pdulog-host ${WORK_DIR}/host-pkg-config)
  if(NOT TOOLCHAIN)
    # pdulog inside another project, which keeps its own flags.
    run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer/parent -B ${WORK_DIR}/parent -DPDULOG_SOURCE_DIR=${SOURCE_DIR}
        ${flags})
    run(${CMAKE_COMMAND} --build ${WORK_DIR}/parent --parallel 2)
    list(APPEND hosts ${WORK_DIR}/parent/host)
  endif()
  run(${loglevel} -s VCI -l DEBUG)  # VCI's records are DEBUG: below its default
  foreach(host ${hosts})
    file(MAKE_DIRECTORY ${WORK_DIR}/untouched)  # --help gives its usage and touches no store
    execute_process(COMMAND ${CMAKE_COMMAND} -E env APPDATA=${WORK_DIR}/untouched ${emulator} ${host} --help
      RESULT_VARIABLE rc OUTPUT_VARIABLE out)
    file(GLOB touched ${WORK_DIR}/untouched/*)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "^usage: pdulog-host" OR touched)
      message(FATAL_ERROR "${host} --help (${rc}): ${out} ${touched}")
    endif()
    execute_process(COMMAND ${emulator} ${host} --interval-ms 1 --seconds 30 --until VCI
      RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
    if(NOT rc EQUAL 0 OR NOT err MATCHES " DEBUG  +[0-9a-f]+:([^: ]+.)?main[.]cpp:[0-9]+:main:VCI tick 1")
      message(FATAL_ERROR "${host}, built against the package, did not log (${rc}):\n${err}")
    endif()
  endforeach()
endif()
if(NOT TOOLCHAIN AND NOT SHARED)
  foreach(edition IN ITEMS current earlier)  # pdulog on a vendor's D-PDU API header
    include(${SOURCE_DIR}/tests/consumer/vendor/Build.cmake)
  endforeach()
endif()
