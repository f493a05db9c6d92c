# PE32+: 64-bit Windows programs and libraries, cross-compiled with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TILDEFX_TOOL_PREFIX x86_64-w64-mingw32)
set(TILDEFX_TARGET_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
