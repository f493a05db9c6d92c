# PE32: 32-bit Windows programs and libraries, cross-compiled with MinGW-w64.
# The arithmetic runs on SSE2 as on x86-64: the x87 unit's extended
# precision would round intermediate results differently.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TILDEFX_TOOL_PREFIX i686-w64-mingw32)
set(TILDEFX_TARGET_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
