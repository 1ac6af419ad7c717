# Compiler cache: with ccache on the machine, every build directory of this tree
# (plain, sanitizers, fuzz, Windows) keeps its objects in ccache, so rebuilding a
# fresh clone of an unchanged tree, as CI does, costs little more than the link.
# Paths are taken relative to the source tree and the build directory is left
# out of the hash, so two clones at different places share their objects.
# KORVANE_CCACHE=OFF builds without it.
option(KORVANE_CCACHE "Compile through ccache when it is installed" ON)
if(KORVANE_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(KORVANE_CCACHE_PROGRAM ccache)
  if(KORVANE_CCACHE_PROGRAM)
    set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}
        CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=include_file_mtime,include_file_ctime
        ${KORVANE_CCACHE_PROGRAM})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
    set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
  endif()
endif()
