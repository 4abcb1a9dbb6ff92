# Compiler cache for every compiler this tree runs (host compilers and the image compiler), when ccache is
# installed. The base directory is the source tree, so clones in other folders share cached objects.
option(USE_CCACHE "Compile through ccache when it is installed" ON)
find_program(CCACHE_PROGRAM ccache)
set(COMPILER_LAUNCHER "")
if(USE_CCACHE AND CCACHE_PROGRAM)
  set(COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} ${CCACHE_PROGRAM})
  set(CMAKE_C_COMPILER_LAUNCHER ${COMPILER_LAUNCHER})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${COMPILER_LAUNCHER})
endif()
