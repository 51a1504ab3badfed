# A driver as vendors ship it: a shared object or DLL that exports only the entry points it
# marks and is really unmapped when the host unloads it.
#   pdulog_self_contained_driver(<target>)      after target_link_libraries(<target> ... pdulog::...)
# Linux: hidden symbols, and no STB_GNU_UNIQUE symbol, since the dynamic loader never unmaps
# an object that has one. With a static pdulog the C++ runtime is linked in too, its symbols
# all kept inside (it brings such symbols of its own). With a shared pdulog the driver shares
# the runtime with the library, as everything across pdulog's interface must. So does a
# driver built with a sanitizer, whose runtime must see every allocation (the static C++
# runtime's exception pool, never freed, would be reported at each unload).
# mingw: the C and C++ runtimes linked in, so that no runtime DLL ships beside the driver.
function(pdulog_self_contained_driver target)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(MINGW)
    target_link_options(${target} PRIVATE -static)
  elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE -fno-gnu-unique)
    endif()
    if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
      return()
    endif()
    get_target_property(libraries ${target} LINK_LIBRARIES)
    foreach(library IN LISTS libraries)
      if(library MATCHES "^pdulog::" AND TARGET ${library})
        get_target_property(type ${library} TYPE)
        if(type STREQUAL "SHARED_LIBRARY")
          return()
        endif()
      endif()
    endforeach()
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--exclude-libs,ALL)
  endif()
endfunction()
