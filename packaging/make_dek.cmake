# cmake -DBUILD=DIR -DSTAGE=DIR -DLICENSE=FILE -DPD_HELP=PROGRAM -DDEK=FILE -P make_dek.cmake
# Installs the Pd library of the build BUILD (the component pd) into STAGE
# and zips its folder tildefx, with the licence, into DEK: deken's package,
# whose one top folder is the library. Beside it go DEK.txt, the objects
# with their summaries, which deken's search reads, and DEK.sha256.
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${STAGE} --component pd --strip
  OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot install the Pd library into ${STAGE}")
endif()
set(extra ${STAGE}/lib/pd/extra)
configure_file(${LICENSE} ${extra}/tildefx/LICENSE.txt COPYONLY)
get_filename_component(folder ${DEK} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(REMOVE ${DEK})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${DEK} --format=zip tildefx
  WORKING_DIRECTORY ${extra} RESULT_VARIABLE failed)
execute_process(COMMAND ${PD_HELP} --objects ${DEK}.txt RESULT_VARIABLE listFailed)
if(failed OR listFailed)
  message(FATAL_ERROR "cannot write ${DEK}")
endif()
file(SHA256 ${DEK} sum)
file(WRITE ${DEK}.sha256 ${sum})
message(STATUS "Made ${DEK}")
