# Cross build for 32-bit Windows with Debian's MinGW-w64 (i686).
set(KORVANE_MINGW_ARCH i686)
set(KORVANE_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
