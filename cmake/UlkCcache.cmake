# Use ccache when it is installed.  The settings let clones in other directories
# share the cache.
find_program(ULK_CCACHE ccache)
if(ULK_CCACHE)
    set(_ulk_launcher
        "${CMAKE_COMMAND}" -E env
        "CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}"
        CCACHE_NOHASHDIR=1
        CCACHE_SLOPPINESS=time_macros
        "${ULK_CCACHE}")
    set(CMAKE_C_COMPILER_LAUNCHER ${_ulk_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${_ulk_launcher})
endif()
