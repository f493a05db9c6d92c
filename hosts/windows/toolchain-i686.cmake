# PE32: 32-bit Windows programs and libraries, cross-compiled with MinGW-w64.
# The arithmetic runs on SSE2 as on x86-64: the x87 unit's extended
# precision would round intermediate results differently.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TILDEFX_TOOL_PREFIX i686-w64-mingw32)
set(CMAKE_CXX_COMPILER ${TILDEFX_TOOL_PREFIX}-g++)
set(CMAKE_DLLTOOL ${TILDEFX_TOOL_PREFIX}-dlltool)
set(CMAKE_OBJDUMP ${TILDEFX_TOOL_PREFIX}-objdump)
set(TILDEFX_CXXFILT ${TILDEFX_TOOL_PREFIX}-c++filt)
# The math functions come from the host's MAXCRT.dll: no sine and cosine
# of the same angle merged into a call of the runtime's own sincos.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -fno-builtin-sin -fno-builtin-cos")
# libgcc and libstdc++ go into each module, so none of their DLLs is needed.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
endforeach()
set(CMAKE_FIND_ROOT_PATH /usr/${TILDEFX_TOOL_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
