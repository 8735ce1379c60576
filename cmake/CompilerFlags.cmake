# The one place for compiler flags. Every target of ours links sealdoor_flags.
# Warnings are always on; they stop the build only when SEALDOOR_WERROR is
# set (our CI does), never in a Release build or under a distribution's own
# flags, where a compiler's false alarm must not fail the build.
option(SEALDOOR_WERROR "Treat warnings as errors" OFF)

add_library(sealdoor_flags INTERFACE)
target_compile_options(sealdoor_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough
  # GCC 12 at -O3 reports overlapping copies inside libstdc++'s own string
  # code that cannot happen (GCC bug 105329).
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>
  $<$<BOOL:${SEALDOOR_WERROR}>:-Werror>)
if(WIN32)
  # Wide-character calls throughout; Windows 7 or later; one program file
  # that needs no DLL but Windows' own.
  target_compile_definitions(sealdoor_flags INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                             _WIN32_WINNT=0x0601)
  target_link_options(sealdoor_flags INTERFACE -static -static-libgcc -static-libstdc++)
else()
  target_compile_definitions(sealdoor_flags INTERFACE _FILE_OFFSET_BITS=64)
endif()

if(SEALDOOR_SANITIZE)
  target_compile_options(sealdoor_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all
    # GCC 12 reports false "maybe uninitialized" in libstdc++ under ASan.
    $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  target_link_options(sealdoor_flags INTERFACE -fsanitize=address,undefined)
endif()
