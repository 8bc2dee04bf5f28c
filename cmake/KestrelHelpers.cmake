# Compiler settings shared by every Kestrel target, and helpers that collect a unit's sources.

add_library(kestrel_options INTERFACE)
target_compile_options(kestrel_options INTERFACE -Wall -Wextra -Wpedantic)
if(KESTREL_WERROR)
  target_compile_options(kestrel_options INTERFACE -Werror)
endif()
# The fuzz build is sanitized too: a crash or undefined behaviour is what the fuzzer looks for.
if(KESTREL_SANITIZE OR KESTREL_FUZZ)
  target_compile_options(kestrel_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(kestrel_options INTERFACE -fsanitize=address,undefined)
  # Sanitized builds stay quick enough for the randomized and big-file tests.
  if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_compile_options(kestrel_options INTERFACE -O1)
  endif()
endif()
if(KESTREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KESTREL_FUZZ needs clang and libFuzzer: configure a build directory of its "
                        "own with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Coverage feedback from all of Kestrel's code; the fuzz targets link the fuzzer's main.
  target_compile_options(kestrel_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
install(TARGETS kestrel_options EXPORT kestrelTargets)

# kestrel_glob_sources(<var> <dir>...): the .cpp files of the given source folders.
function(kestrel_glob_sources var)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND result ${found})
  endforeach()
  set(${var} ${result} PARENT_SCOPE)
endfunction()
