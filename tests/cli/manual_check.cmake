# The manual page renders without a single groff warning, and its OPTIONS
# section names exactly the options that --help lists.
# -DGROFF= -DPAGE= -DTOOL=
if(NOT GROFF)
  message(FATAL_ERROR "groff not found: tools/setup.sh installs groff-base")
endif()
execute_process(COMMAND ${GROFF} -man -ww -Tascii -P-cbou ${PAGE}
  OUTPUT_VARIABLE page ERROR_VARIABLE warnings RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff -man -ww ${PAGE} (status ${rc}) warns:\n${warnings}")
endif()
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} --help gave status ${rc}")
endif()

# The option names on the lines that introduce options: "  -c, --check  ..."
# in --help, "       -c, --check" in the page's OPTIONS section.
function(option_names text line_start out)
  string(REGEX MATCHALL "\n${line_start}-[^\n]*" lines "\n${text}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\n *" "" line "${line}")
    string(REGEX REPLACE "  .*" "" line "${line}")  # the description
    string(REGEX MATCHALL "--?[A-Za-z][A-Za-z-]*" found "${line}")
    list(APPEND names ${found})
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(SORT names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

string(FIND "${page}" "\nOPTIONS\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "the page has no OPTIONS section")
endif()
string(SUBSTRING "${page}" ${start} -1 section)
string(SUBSTRING "${section}" 9 -1 section)
string(REGEX REPLACE "\n[A-Z][A-Z ]+\n.*" "" section "${section}")

option_names("${help}" " +" help_names)
option_names("${section}" " +" page_names)
if(help_names STREQUAL "" OR NOT help_names STREQUAL page_names)
  message(FATAL_ERROR "--help names [${help_names}] but the manual page names [${page_names}]")
endif()
message(STATUS "both name: ${help_names}")
