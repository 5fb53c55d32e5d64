# Cross build of the program that pharmacies run: 32-bit Windows (i686), so that it starts on
# 32-bit Windows 7 and 10 workstations as well as on 64-bit ones.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELMORIN_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
