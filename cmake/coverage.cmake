# Coverage trees (presets coverage64, coverage32; scripts/coverage.sh). COVERAGE=ON compiles the module code
# with gcc's --coverage at -O0, so each line and branch counts as written. The tests and tools instrument only
# what they compile of module headers (INLINE_COVERAGE_FLAGS): the linker keeps one copy of each inline
# function, often a test object's, and the module code's calls then run that copy. Everything else keeps the
# tree's flags (and its compiler-cache hits). Every program links the coverage runtime.
option(COVERAGE "Measure line and branch coverage of the module code (gcc --coverage)" OFF)
set(MODULE_COVERAGE_FLAGS "")
set(INLINE_COVERAGE_FLAGS "")
if(COVERAGE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "COVERAGE=ON needs g++ (gcov data for gcovr): configure with the coverage64 or coverage32 preset")
  endif()
  set(MODULE_COVERAGE_FLAGS --coverage -O0)
  set(INLINE_COVERAGE_FLAGS --coverage "-fprofile-filter-files=(^|/)(smbios|trace|regaccess)/"
                            "-fprofile-exclude-files=(^|/)(tests|tools)/")
  add_link_options(--coverage)
endif()
