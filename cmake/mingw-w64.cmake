# Cross-compiles for Windows with the MinGW-w64 compilers named by TAVROLINDE_MINGW
# (posix threads, which GoogleTest needs) and runs the results under Wine.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TAVROLINDE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVROLINDE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVROLINDE_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVROLINDE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windres reads the resource script as UTF-8.
set(CMAKE_RC_FLAGS_INIT "-c 65001")

# Self-contained executables: no libgcc, libstdc++ or winpthread DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Every program built here, tests included, runs under Wine with a prefix of
# its own inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh;${CMAKE_BINARY_DIR}")
