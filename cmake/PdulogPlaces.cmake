# Record places that do not depend on where a checkout lives. A logging site's place is
# cut from the compiler's file name (from its last `src` folder on), so a checkout under a
# folder named src, or a build given absolute paths, would change it. This makes the
# compiler name a target's files relative to a root of the consumer's own: the place is then
# taken from the folders below the root alone.
#   pdulog_relative_places(<target> [<root>])   root: the target's source folder by default
# GCC and Clang only (-fmacro-prefix-map); other compilers keep the names they are given.
function(pdulog_relative_places target)
  if(ARGC GREATER 1)
    set(root "${ARGV1}")
  else()
    get_target_property(root ${target} SOURCE_DIR)
  endif()
  file(TO_CMAKE_PATH "${root}" root)
  target_compile_options(${target} PRIVATE
    "$<$<OR:$<CXX_COMPILER_ID:GNU>,$<CXX_COMPILER_ID:Clang>,$<CXX_COMPILER_ID:AppleClang>>:-fmacro-prefix-map=${root}/=>")
endfunction()
