# Cross build for 64-bit Windows with Debian's MinGW-w64 (x86_64): the same
# sources, for machines whose kernel cannot start Wine's 32-bit loader.
set(KORVANE_MINGW_ARCH x86_64)
set(KORVANE_WINE_NAMES wine64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
