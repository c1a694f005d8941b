# cmake --install puts the tool and its manual page under the prefix, and the
# installed tool runs.
# -DBUILD_DIR= -DPREFIX=
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()
foreach(file bin/quillmere-split share/man/man1/quillmere-split.1)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${PREFIX}/${file}\n${out}")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/quillmere-split --version OUTPUT_VARIABLE version RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT version MATCHES "^quillmere-split [0-9]")
  message(FATAL_ERROR "the installed tool says (${rc}): ${version}")
endif()
file(READ ${PREFIX}/share/man/man1/quillmere-split.1 page)
if(NOT page MATCHES "\\.TH QUILLMERE-SPLIT 1")
  message(FATAL_ERROR "the installed manual page is not the tool's")
endif()
file(REMOVE_RECURSE ${PREFIX})
