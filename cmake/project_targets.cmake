# Helpers that give every target of the project the same flags.

set(PROJECT_WARNINGS -Wall -Wextra -Werror)

# Module code: freestanding C++ with no exceptions, RTTI or static constructors.
set(MODULE_FLAGS -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-asynchronous-unwind-tables)

# add_module_library(name SOURCES...): a static library of firmware module code for host builds.
function(add_module_library name)
  add_library(${name} STATIC ${ARGN})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS} ${MODULE_FLAGS})
  target_link_libraries(${name} PUBLIC uefi_defs)
  # The image build compiles the same sources with clang; it reads the list from this property.
  set_property(GLOBAL APPEND PROPERTY ${name}_SOURCES ${ARGN})
endfunction()

# add_project_library(name SOURCES...): host-side code (simulator, tools).
function(add_project_library name)
  add_library(${name} STATIC ${ARGN})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
  target_link_libraries(${name} PUBLIC uefi_defs)
endfunction()

# add_project_test(name SOURCES... LIBS libs...): one GoogleTest executable registered with CTest.
function(add_project_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()
