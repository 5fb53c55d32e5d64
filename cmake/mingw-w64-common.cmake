# What both mingw-w64 cross builds share; the including file sets CMAKE_SYSTEM_PROCESSOR and
# VELMORIN_MINGW_TRIPLE. Debian's posix thread model, so that std::mutex and GoogleTest work;
# the runtime is linked statically into each .exe and the tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VELMORIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORIN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib from libz-mingw-w64-dev: the static archive, so the .exe needs no zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)

# GCC 12 reports std::string copies inlined at -O2/-O3 as overlapping (GCC bug 105329).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

# One self-contained .exe: no libstdc++/libgcc/winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine through a wrapper that keeps Wine's background processes off CTest's
# output pipe.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine/wine-exec.sh)
