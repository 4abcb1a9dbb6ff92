# Coverage trees (presets coverage64, coverage32; scripts/coverage.sh). COVERAGE=ON compiles the module code
# with gcc's --coverage at -O0, so each line and branch counts as written; everything else keeps the tree's
# flags (and its compiler-cache hits). Every program links the coverage runtime.
option(COVERAGE "Measure line and branch coverage of the module code (gcc --coverage)" OFF)
set(MODULE_COVERAGE_FLAGS "")
if(COVERAGE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "COVERAGE=ON needs g++ (gcov data for gcovr): configure with the coverage64 or coverage32 preset")
  endif()
  set(MODULE_COVERAGE_FLAGS --coverage -O0)
  add_link_options(--coverage)
endif()
