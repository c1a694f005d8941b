# The native packages as the build's own target makes them: a .deb and a
# .tar.gz, each with its sum beside it, holding the tool and its manual page
# and nothing else.
# -DBUILD_DIR= -DTARBALL=
include(${CMAKE_CURRENT_LIST_DIR}/../support/package_sum_check.cmake)
file(GLOB old ${BUILD_DIR}/*.deb ${BUILD_DIR}/*.deb.sha256 ${TARBALL} ${TARBALL}.sha256)
if(old)
  file(REMOVE ${old})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target package
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB deb ${BUILD_DIR}/*.deb)
if(NOT rc EQUAL 0 OR NOT EXISTS ${TARBALL} OR NOT deb)
  message(FATAL_ERROR "the package target failed (${rc}):\n${out}")
endif()

# The files each package holds, without folders, with the paths it gives them.
function(expect_files package listing prefix)
  string(REGEX MATCHALL "[^ \n]*[^/\n]\n" files "${listing}\n")
  string(REPLACE "\n" "" files "${files}")
  list(TRANSFORM files REPLACE "^\\./" "")
  list(SORT files)
  set(expected ${prefix}bin/quillmere-split ${prefix}share/man/man1/quillmere-split.1)
  if(NOT files STREQUAL expected)
    message(FATAL_ERROR "${package} holds [${files}], not [${expected}]")
  endif()
  check_package_sum(${package})
endfunction()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${TARBALL} OUTPUT_VARIABLE listing)
expect_files(${TARBALL} "${listing}" "")
execute_process(COMMAND dpkg-deb --fsys-tarfile ${deb} COMMAND tar tf - OUTPUT_VARIABLE listing)
expect_files(${deb} "${listing}" "usr/")
message(STATUS "${deb} and ${TARBALL}: the tool and its manual page; sums right")
