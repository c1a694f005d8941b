# -DBUILD_DIR= -DZIP= -DPROGRAM_NAME= -DVERSION_TEXT= -DWINE= -DSTARTER= -DSAMPLE= -DSCRATCH=
function(fail what)
  message(FATAL_ERROR "${ZIP}: ${what}")
endfunction()

# The zip is made by the build's own target, as a release is, with its sum
# beside it.
file(REMOVE ${ZIP} ${ZIP}.sha256)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target package
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT EXISTS ${ZIP})
  fail("the package target failed (${rc}):\n${out}")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/../support/package_sum_check.cmake)
check_package_sum(${ZIP})

set(unpacked ${SCRATCH}/unpacked)
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  fail("does not unpack")
endif()

file(GLOB_RECURSE found RELATIVE ${unpacked} LIST_DIRECTORIES true ${unpacked}/*)
list(SORT found)
set(expected ${PROGRAM_NAME} README.txt SHA256SUMS quillmere-split.exe)
list(SORT expected)
if(NOT found STREQUAL expected)
  fail("holds [${found}], not [${expected}]")
endif()

# Every other file has its line in SHA256SUMS, and its sum is right.
file(STRINGS ${unpacked}/SHA256SUMS lines)
set(summed "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([0-9a-f]+)  ([^/\\\\]+)$")
    fail("SHA256SUMS line not in the sha256sum form: '${line}'")
  endif()
  set(sum ${CMAKE_MATCH_1})
  set(name ${CMAKE_MATCH_2})
  string(LENGTH "${sum}" digits)
  if(NOT digits EQUAL 64)
    fail("SHA256SUMS: '${sum}' is not a SHA-256 sum")
  endif()
  file(SHA256 ${unpacked}/${name} actual)
  if(NOT sum STREQUAL actual)
    fail("${name}: SHA256SUMS says ${sum}, the file is ${actual}")
  endif()
  list(APPEND summed ${name})
endforeach()
list(SORT summed)
set(others ${expected})
list(REMOVE_ITEM others SHA256SUMS)
if(NOT summed STREQUAL others)
  fail("SHA256SUMS sums [${summed}], not [${others}]")
endif()

# README.txt: CR LF after every line, and no line end of any other kind.
# Bytes as spaced hex pairs, so that a CR or LF is always a whole token.
file(READ ${unpacked}/README.txt readme HEX)
string(REGEX REPLACE "(..)" " \\1" readme "${readme}")
string(REGEX MATCHALL " 0d" crs "${readme}")
string(REGEX MATCHALL " 0a" lfs "${readme}")
string(REGEX MATCHALL " 0d 0a" crlfs "${readme}")
list(LENGTH crs cr_count)
list(LENGTH lfs lf_count)
list(LENGTH crlfs crlf_count)
if(crlf_count EQUAL 0 OR NOT cr_count EQUAL crlf_count OR NOT lf_count EQUAL crlf_count
   OR NOT readme MATCHES " 0d 0a$")
  fail("README.txt: ${crlf_count} CR LF, ${cr_count} CR, ${lf_count} LF; every line must end in CR LF")
endif()
file(STRINGS ${unpacked}/README.txt title LIMIT_COUNT 1)
if(NOT title MATCHES "Quillmere ${VERSION_TEXT}")
  fail("README.txt begins '${title}', not with the version ${VERSION_TEXT}")
endif()

# README.txt tells a Windows user what they meet: every option, the
# SmartScreen warning of an unsigned download and the way past it, and how
# to check the zip first.
file(READ ${unpacked}/README.txt readme_text)
foreach(topic IN ITEMS "--check" "--names" "--jobs" "--cards" "--max-bytes" "--report" "\"Windows protected your PC\"" "\"More info\""
                       "\"Run anyway\"" "certutil -hashfile Quillmere-" "-win32.zip.sha256")
  string(FIND "${readme_text}" "${topic}" at)
  if(at EQUAL -1)
    fail("README.txt does not mention ${topic}")
  endif()
endforeach()

# quillmere-split.exe from the unpacked folder: its version, then a split.
file(COPY ${SAMPLE} DESTINATION ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/out)
execute_process(COMMAND ${WINE} ${unpacked}/quillmere-split.exe --version
  WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE rc OUTPUT_VARIABLE version ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT version MATCHES "^quillmere-split ${VERSION_TEXT}\r?\n$")
  fail("quillmere-split.exe --version gave ${rc}: '${version}' ${err}")
endif()
get_filename_component(sample_name ${SAMPLE} NAME)
execute_process(COMMAND ${WINE} ${unpacked}/quillmere-split.exe ..\\${sample_name} ..\\out
  WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(GLOB cards ${SCRATCH}/out/vCard*.vcf)
list(LENGTH cards count)
if(NOT rc EQUAL 0 OR count EQUAL 0 OR NOT out MATCHES "^${count} vCards Saved in")
  fail("quillmere-split.exe split ${count} cards, status ${rc}: ${out} ${err}")
endif()

# The window program from the unpacked folder: its window comes up and
# closing it ends the program normally.
execute_process(COMMAND ${WINE} ${STARTER} ${PROGRAM_NAME}
  WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
if(NOT rc EQUAL 0)
  fail("${PROGRAM_NAME} from the unpacked folder: ${rc} ${out} ${err}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
message(STATUS "${ZIP}: ${found}; sums right; both programs started")
