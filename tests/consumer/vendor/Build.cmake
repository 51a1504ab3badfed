# Part of tests/Consumer.cmake: pdulog built and installed on a vendor's own D-PDU API header
# (every value a macro, every type a typedef), then a program of the vendor's that includes
# that header before pdulog's and has DestroyItem release items made with its types. The
# earlier edition's package is moved, and its header and build deleted, before the program
# is built against it: by CMake, by a plain Makefile and with pkg-config's flags. Both are
# built in one build tree, switched from one header to the other, as a vendor's is: what
# the configure found in the first header must not hold for the second.
set(vendor ${SOURCE_DIR}/tests/consumer/vendor)
set(header ${vendor}/VendorPduApi.h)
if(edition STREQUAL "earlier")  # the same header without the four newest IO item types
  file(READ ${header} text)
  string(REGEX REPLACE "#define PDU_IT_IO_(VEHICLE_ID_REQUEST|ETH_SWITCH_STATE|ENTITY_[A-Z]+) [^\n]*\n" "" text "${text}")
  set(header ${WORK_DIR}/earlier/VendorPduApi.h)
  file(WRITE ${header} "${text}")
endif()
set(vendor_prefix ${WORK_DIR}/vendor-prefix-${edition})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/vendor-pdulog -DCMAKE_BUILD_TYPE=Release
    -DPDULOG_PDU_API_HEADER=${header} -DPDULOG_BUILD_EXAMPLES=OFF
    -DPDULOG_STATIC_COMMAND=${STATIC_COMMAND} ${flags})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/vendor-pdulog --parallel 2)
run(${CMAKE_COMMAND} --install ${WORK_DIR}/vendor-pdulog --prefix ${vendor_prefix})
if(EXISTS ${vendor_prefix}/include/pdulog/PduApi.h OR NOT EXISTS ${vendor_prefix}/include/pdulog/PdulogPduApi.h)
  message(FATAL_ERROR "the package built on the vendor's header installs PduApi.h, or not its choice")
endif()
if(edition STREQUAL "earlier")
  # A header that needs another of the vendor's could not travel in the package alone.
  file(WRITE ${WORK_DIR}/split/Split.h "#include \"split_types.h\"\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/split/build
    -DPDULOG_PDU_API_HEADER=${WORK_DIR}/split/Split.h RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "[ \n]+" " " out "${out}")
  if(rc EQUAL 0 OR NOT out MATCHES "Split.h does not compile on its own")
    message(FATAL_ERROR "a header that does not compile alone was taken:\n${out}")
  endif()
  file(RENAME ${vendor_prefix} ${WORK_DIR}/moved-prefix)
  file(REMOVE_RECURSE ${WORK_DIR}/earlier ${WORK_DIR}/vendor-pdulog)
  set(vendor_prefix ${WORK_DIR}/moved-prefix)
  set(make make -f ${vendor}/Makefile PREFIX=${vendor_prefix} OUT=${WORK_DIR} "CXXFLAGS=${CXX_FLAGS}"
           "LDFLAGS=${LINKER_FLAGS}")
  run(${make})
  run(${make} pkg-config)
  run(${WORK_DIR}/vendor-items)
  run(${WORK_DIR}/vendor-items-pc)
endif()
run(${CMAKE_COMMAND} -S ${vendor} -B ${WORK_DIR}/vendor-items-${edition} -DCMAKE_PREFIX_PATH=${vendor_prefix}
    -DCMAKE_BUILD_TYPE=Release ${flags})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/vendor-items-${edition})
run(${WORK_DIR}/vendor-items-${edition}/vendor-items)
