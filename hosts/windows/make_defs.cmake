cmake_minimum_required(VERSION 3.18)
# Writes two module-definition files for each host library in TABLE
# (host_libraries.txt), from the export table of the stand-in host CORE:
#   LIBRARY-exports.def builds LIBRARY.dll, whose exports, by plain name,
#     forward to the host interface in CORE (host::setup...) or to the C
#     runtime's math function of that name;
#   LIBRARY-imports.def makes the import library a plug-in links with: its
#     calls to host::NAME, under the C++ name the compiler gives it, become
#     imports of the plain NAME from LIBRARY.dll.
# Run with cmake -P, with TABLE, CORE, OBJDUMP, CXXFILT and OUT set.
execute_process(COMMAND ${OBJDUMP} -p ${CORE} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "\\[ *[0-9]+\\] _ZN4host[A-Za-z0-9_]+" entries "${dump}")

# Every operation of the host interface: its plain name and its C++ name.
set(operations "")
foreach(entry ${entries})
  string(REGEX REPLACE ".* " "" mangled "${entry}")
  execute_process(COMMAND ${CXXFILT} --no-strip-underscore ${mangled} OUTPUT_VARIABLE readable COMMAND_ERROR_IS_FATAL ANY)
  if(readable MATCHES "^host::([A-Za-z0-9_]+)\\(")
    set(cplusplus_${CMAKE_MATCH_1} ${mangled})
    list(APPEND operations ${CMAKE_MATCH_1})
  endif()
endforeach()
get_filename_component(core_name ${CORE} NAME_WE)

file(STRINGS ${TABLE} lines REGEX "^[A-Za-z]")
foreach(line ${lines})
  string(REPLACE " " ";" names "${line}")
  list(POP_FRONT names library)
  set(exports "LIBRARY ${library}.dll\nEXPORTS\n")
  set(imports "LIBRARY ${library}.dll\nEXPORTS\n")
  foreach(name ${names})
    if(name IN_LIST operations)
      string(APPEND exports "  ${name} = ${core_name}.${cplusplus_${name}}\n")
      string(APPEND imports "  ${cplusplus_${name}} == ${name}\n")
    else()
      string(APPEND exports "  ${name} = msvcrt.${name}\n")
      string(APPEND imports "  ${name}\n")
    endif()
  endforeach()
  file(WRITE ${OUT}/${library}-exports.def "${exports}")
  file(WRITE ${OUT}/${library}-imports.def "${imports}")
  list(REMOVE_ITEM operations ${names})
endforeach()
if(operations)
  message(FATAL_ERROR "${TABLE}: no library offers ${operations}")
endif()
