# The 32-bit host build: g++ generating IA-32 code (-m32) for Linux, the machine type the PEI module runs as.
# Naming the system makes CMake treat the tree as a cross build, so test programs and test discovery are
# started through CMAKE_CROSSCOMPILING_EMULATOR where the kernel does not run 32-bit programs itself
# (cmake/ia32_programs.cmake decides that at configure time).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
# Libraries and headers are the host's own (multilib); nothing is searched in a separate root.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
