# How this project's own targets are compiled and linked. Everything is set per target, so
# that a project that adds pdulog with add_subdirectory keeps its own flags.

# C++17, warnings for this project's code; with mingw, programs and DLLs that need no runtime DLLs.
function(pdulog_target_defaults target)
  set_target_properties(${target} PROPERTIES CXX_STANDARD 17 CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF)
  if(MSVC)  # Microsoft's compiler and clang-cl, which take the MSVC spellings
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  endif()
  if(NOT WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    # A 32-bit C library keeps 32-bit file offsets and time unless asked: a store or a log
    # past 2 GiB would fail, and so would every date past 2038. Private to the project's own
    # code: no public header uses off_t or time_t, so a host built without them links it.
    target_compile_definitions(${target} PRIVATE _FILE_OFFSET_BITS=64 _TIME_BITS=64)
  endif()
  get_target_property(type ${target} TYPE)
  if(MINGW AND type MATCHES "EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY")
    # One self-contained file: no mingw runtime DLLs to find under wine or on a user's machine.
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()

# GCC marks the statics of inline functions and templates STB_GNU_UNIQUE on Linux, and the
# dynamic loader never unmaps an object that has such a symbol: a plugin with a static
# pdulog inside could then not be unloaded. Plain weak symbols do the same job there.
function(pdulog_unloadable_objects target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT WIN32)
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
endfunction()

# A shared pdulog is named by PDULOG_LIBRARY_NAME. On Windows the DLL's own name keeps two
# vendors' copies apart. On Linux a name is not enough: with RTLD_GLOBAL, a driver loaded
# second would bind to the first one's definitions of the same symbols. So every symbol the
# library exports carries a version named after the library, and the library's calls to its
# own functions bind inside it. (-Bsymbolic would bind its data too: a program that copies
# CLog's level pointer into itself would then read a copy the library never sets.)
function(pdulog_shared_library_defaults target)
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")  # pdulog.dll, as Windows names DLLs
  elseif(NOT APPLE)
    string(TOUPPER "${PDULOG_LIBRARY_NAME}_${PROJECT_VERSION_MAJOR}" node)
    set(script ${PROJECT_BINARY_DIR}/${PDULOG_LIBRARY_NAME}.map)
    file(CONFIGURE OUTPUT ${script} CONTENT "${node} {\n  global: *;\n};\n")
    target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,-Bsymbolic-functions)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
  endif()
  pdulog_target_defaults(${target})
endfunction()
