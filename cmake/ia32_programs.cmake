# How this tree starts its 32-bit programs. Some x86-64 kernels are built without IA-32 support and refuse
# 32-bit executables; there every test program, test discovery and measurement program is started through
# the user-mode emulator qemu-i386 (Debian package qemu-user). Decided once per tree, at configure time, by
# building and starting a minimal program.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()

if(NOT DEFINED IA32_PROGRAMS_RUN_NATIVELY)
  set(probe_dir ${CMAKE_BINARY_DIR}/CMakeFiles/ia32_probe)
  file(WRITE ${probe_dir}/probe.c "int main(void) { return sizeof(void *) == 4 ? 0 : 1; }\n")
  try_compile(probe_built ${probe_dir}/build SOURCES ${probe_dir}/probe.c
              COPY_FILE ${probe_dir}/probe OUTPUT_VARIABLE probe_log)
  if(NOT probe_built)
    message(FATAL_ERROR "A 32-bit program cannot be built here: install the Debian packages gcc-multilib and "
                        "g++-multilib (scripts/install-deps.sh does). Compiler output:\n${probe_log}")
  endif()
  execute_process(COMMAND ${probe_dir}/probe RESULT_VARIABLE probe_native OUTPUT_QUIET ERROR_QUIET)
  if(probe_native STREQUAL "0")
    set(native ON)
  else()
    set(native OFF)
  endif()
  set(IA32_PROGRAMS_RUN_NATIVELY ${native} CACHE BOOL "Whether this machine's kernel runs 32-bit x86 programs")
  if(NOT native)
    find_program(QEMU_I386_PROGRAM qemu-i386)
    if(NOT QEMU_I386_PROGRAM)
      unset(IA32_PROGRAMS_RUN_NATIVELY CACHE)
      message(FATAL_ERROR "This machine's kernel does not run 32-bit x86 programs and qemu-i386 is not installed: "
                          "install the Debian package qemu-user (scripts/install-deps.sh does).")
    endif()
    execute_process(COMMAND ${QEMU_I386_PROGRAM} ${probe_dir}/probe RESULT_VARIABLE probe_emulated
                    OUTPUT_QUIET ERROR_QUIET)
    if(NOT probe_emulated STREQUAL "0")
      unset(IA32_PROGRAMS_RUN_NATIVELY CACHE)
      message(FATAL_ERROR "This machine's kernel does not run 32-bit x86 programs and ${QEMU_I386_PROGRAM} "
                          "failed to run one either (exit status ${probe_emulated}).")
    endif()
  endif()
endif()

if(IA32_PROGRAMS_RUN_NATIVELY)
  set(CMAKE_CROSSCOMPILING_EMULATOR "")
  message(STATUS "32-bit programs: run natively")
else()
  # Also when IA32_PROGRAMS_RUN_NATIVELY=OFF is given on the command line, which skips the probe above.
  find_program(QEMU_I386_PROGRAM qemu-i386)
  if(NOT QEMU_I386_PROGRAM)
    message(FATAL_ERROR "32-bit programs are to run through qemu-i386, which is not installed: install the Debian "
                        "package qemu-user.")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_I386_PROGRAM})
  message(STATUS "32-bit programs: run through ${QEMU_I386_PROGRAM} (the kernel refuses them)")
endif()
# Scripts read this file to start a 32-bit program of this tree the same way ("" when native).
file(WRITE ${CMAKE_BINARY_DIR}/ia32_emulator.txt "${CMAKE_CROSSCOMPILING_EMULATOR}\n")
