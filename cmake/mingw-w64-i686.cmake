# Tavrolinde as it ships: a 32-bit Windows program.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TAVROLINDE_MINGW i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
