# Instrumented trees. SANITIZE=ON: AddressSanitizer and UndefinedBehaviorSanitizer on every target (the
# tests stop at the first finding). FUZZ=ON: the same with libFuzzer's coverage, for the harnesses of fuzz/.
# Both apply to everything the tree compiles, GoogleTest included, so no uninstrumented code sits in between.
option(SANITIZE "Build every target with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(FUZZ "Build the fuzz harnesses as libFuzzer binaries (clang; implies the sanitizers)" OFF)

set(SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
if(FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "FUZZ=ON needs clang (libFuzzer): configure with the fuzz preset or CC=clang CXX=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link ${SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined)
elseif(SANITIZE)
  add_compile_options(${SANITIZER_FLAGS} -O1 -g)
  add_link_options(-fsanitize=address,undefined)
endif()
