# The one place for compiler flags. Every target of ours links sealdoor_flags.
add_library(sealdoor_flags INTERFACE)
target_compile_options(sealdoor_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough
  -Werror)
target_compile_definitions(sealdoor_flags INTERFACE _FILE_OFFSET_BITS=64)

if(SEALDOOR_SANITIZE)
  target_compile_options(sealdoor_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all
    # GCC 12 reports false "maybe uninitialized" in libstdc++ under ASan.
    $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  target_link_options(sealdoor_flags INTERFACE -fsanitize=address,undefined)
endif()
