# The same sources as a 64-bit Windows program, for the tests on a machine whose kernel
# cannot run 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TAVROLINDE_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
