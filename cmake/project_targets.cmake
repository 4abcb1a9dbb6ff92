# Helpers that give every target of the project the same flags.

set(PROJECT_WARNINGS -Wall -Wextra -Werror)

# Test programs and the tools' command-line layer are compiled without optimisation: they compile in about
# half the time, and what they exercise (module code, simulator) keeps the tree's own flags.
set(FRONT_END_FLAGS -O0 CACHE STRING "Extra flags of test programs and the tools' command-line code")

# Module code: freestanding C++ with no exceptions, RTTI or static constructors.
set(MODULE_FLAGS -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-asynchronous-unwind-tables)

# add_module_library(name DELIVERABLE image SOURCES... LINKS layers...): one layer of firmware module code, a
# static library for host builds that links only the layers below it (docs/architecture.md, checked by the
# module_layers test).
function(add_module_library name)
  cmake_parse_arguments(M "" "DELIVERABLE" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${M_SOURCES})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS} ${MODULE_FLAGS} ${MODULE_COVERAGE_FLAGS})
  target_link_libraries(${name} PUBLIC uefi_defs ${M_LINKS})
  # The image build compiles the same sources with clang; it reads the image's list from this property.
  set_property(GLOBAL APPEND PROPERTY ${M_DELIVERABLE}_SOURCES ${M_SOURCES})
  # The layer check reads every layer's deliverable, sources and links from the file this list feeds.
  set_property(GLOBAL APPEND PROPERTY MODULE_LAYER_TARGETS ${name})
  set_property(TARGET ${name} PROPERTY MODULE_DELIVERABLE ${M_DELIVERABLE})
endfunction()

# write_module_layers(file): one line per module layer, "target;deliverable;links;sources" (lists joined by
# commas), written at generate time for the layer check.
function(write_module_layers file)
  get_property(targets GLOBAL PROPERTY MODULE_LAYER_TARGETS)
  set(lines "")
  foreach(t IN LISTS targets)
    get_property(deliverable TARGET ${t} PROPERTY MODULE_DELIVERABLE)
    string(APPEND lines "${t}|${deliverable}|$<JOIN:$<TARGET_PROPERTY:${t},LINK_LIBRARIES>,$<COMMA>>|"
                        "$<JOIN:$<TARGET_PROPERTY:${t},SOURCES>,$<COMMA>>\n")
  endforeach()
  file(GENERATE OUTPUT ${file} CONTENT "${lines}")
endfunction()

# Host-side libraries are compiled as unity builds: a batch of sources is one translation unit, so the heavy
# headers they share (yaml-cpp, CLI11, the standard library) are parsed and their templates generated once per
# batch instead of once per file. Module code is never merged: it is compiled file by file, as in the images.
option(HOST_UNITY_BUILD "Compile host libraries and tools in batches of sources (unity build)" ON)
set(HOST_UNITY_BATCH_SIZE 8 CACHE STRING "Sources per unity batch of a host library")

# host_unity_build(target): merges the target's sources into batches when HOST_UNITY_BUILD is on.
function(host_unity_build target)
  if(HOST_UNITY_BUILD)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${HOST_UNITY_BATCH_SIZE})
    # Inside a batch a source's anonymous-namespace types are no longer in the main file, which gcc would
    # take for a header's type with internal linkage.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
    endif()
  endif()
endfunction()

# add_project_library(name SOURCES...): host-side code (simulator, tools).
function(add_project_library name)
  add_library(${name} STATIC ${ARGN})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
  target_link_libraries(${name} PUBLIC uefi_defs)
  host_unity_build(${name})
endfunction()

# add_project_test(name SOURCES... LIBS libs...): one GoogleTest executable registered with CTest.
function(add_project_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS} ${FRONT_END_FLAGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()

# Sources of a directory tree, picked up as files are added (one concept per file, no list to edit).
function(glob_sources out dir)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# add_test_tree(area [ONLY paths...] LIBS libs...): one test executable per folder of tests/<area> holding .cpp
# files, named after the folder's path (tests/trace/format -> trace_format_tests, tests/smbios/services/pci ->
# smbios_services_pci_tests, tests/regaccess -> regaccess_tests). ONLY keeps the files of the listed folders and
# files (paths below tests/<area>): the 32-bit half's part of a tree whose other tests need the 64-bit side.
function(add_test_tree area)
  cmake_parse_arguments(T "" "" "LIBS;ONLY" ${ARGN})
  file(GLOB_RECURSE files RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(targets "")
  foreach(file IN LISTS files)
    if(T_ONLY)
      set(kept OFF)
      foreach(path IN LISTS T_ONLY)
        string(LENGTH "${path}/" length)
        string(SUBSTRING "${file}" 0 ${length} head)
        if(file STREQUAL path OR head STREQUAL "${path}/")
          set(kept ON)
        endif()
      endforeach()
      if(NOT kept)
        continue()
      endif()
    endif()
    get_filename_component(folder ${file} DIRECTORY)
    if(folder)
      string(REPLACE "/" "_" name ${folder})
      set(target ${area}_${name}_tests)
    else()
      set(target ${area}_tests)
    endif()
    list(APPEND targets ${target})
    list(APPEND sources_${target} ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  list(REMOVE_DUPLICATES targets)
  foreach(target IN LISTS targets)
    add_project_test(${target} SOURCES ${sources_${target}} LIBS ${T_LIBS})
  endforeach()
endfunction()

# Executables search their static libraries as one group: a module layer that calls the hardware seam (hw/)
# is pulled in as a dependency of a higher layer and so may come after the host side of that seam (sim/common)
# on the link line.
set(CMAKE_CXX_LINK_EXECUTABLE
    "<CMAKE_CXX_COMPILER> <FLAGS> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> <OBJECTS> -o <TARGET> -Wl,--start-group <LINK_LIBRARIES> -Wl,--end-group")
