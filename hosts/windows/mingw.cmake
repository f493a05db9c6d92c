# What both Windows toolchain files share: the MinGW-w64 tools named by
# TILDEFX_TOOL_PREFIX, and flags added to TILDEFX_TARGET_FLAGS.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_CXX_COMPILER ${TILDEFX_TOOL_PREFIX}-g++)
set(CMAKE_DLLTOOL ${TILDEFX_TOOL_PREFIX}-dlltool)
set(CMAKE_RC_COMPILER ${TILDEFX_TOOL_PREFIX}-windres)
set(CMAKE_OBJDUMP ${TILDEFX_TOOL_PREFIX}-objdump)
set(TILDEFX_CXXFILT ${TILDEFX_TOOL_PREFIX}-c++filt)
# The math functions come from the host's MAXCRT.dll: no sine and cosine
# of the same angle merged into a call of the runtime's own sincos.
set(CMAKE_CXX_FLAGS_INIT "${TILDEFX_TARGET_FLAGS} -fno-builtin-sin -fno-builtin-cos")
# libgcc and libstdc++ go into each module, so none of their DLLs is needed.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
endforeach()
set(CMAKE_FIND_ROOT_PATH /usr/${TILDEFX_TOOL_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
