# Cross build for 64-bit Windows, for developers only (apt-get install g++-mingw-w64-x86-64).
# The program shipped is the 32-bit build of mingw-w64-i686.cmake, which runs on 32- and 64-bit
# Windows alike.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORIN_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
