# Sourced by the build scripts from the clone's top folder: every compiler call of a new build
# folder goes through ccache, which keys objects on paths relative to the clone, so that a
# fresh clone reuses what another clone of the same sources compiled. Settings already in the
# environment win.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi
