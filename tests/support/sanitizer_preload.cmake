# TILDEFX_SANITIZER_PRELOAD: in a sanitizer build, the sanitizer runtimes a
# plain program (pd, lv2apply) must preload to load the build's plug-ins;
# empty otherwise.
set(TILDEFX_SANITIZER_PRELOAD "")
if(TILDEFX_SANITIZE)
  foreach(runtime libasan.so libubsan.so)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(APPEND TILDEFX_SANITIZER_PRELOAD " ${path}")
  endforeach()
  string(STRIP "${TILDEFX_SANITIZER_PRELOAD}" TILDEFX_SANITIZER_PRELOAD)
endif()
