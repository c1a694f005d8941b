# Makes the release zip: the two programs, README.txt and SHA256SUMS, at the
# top of the archive, with fixed times so that the same build gives the same
# archive; and beside it a SHA256SUMS with the zip's own sum.
# -DSTAGE= -DZIP= -DPROGRAM= -DTOOL= -DREADME=
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
set(names "")
foreach(file ${PROGRAM} ${TOOL} ${README})
  file(COPY ${file} DESTINATION ${STAGE})
  get_filename_component(name ${file} NAME)
  list(APPEND names ${name})
endforeach()

# The format sha256sum -c reads: the sum, two spaces, the name.
set(sums "")
foreach(name IN LISTS names)
  file(SHA256 ${STAGE}/${name} sum)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE ${STAGE}/SHA256SUMS "${sums}")
list(APPEND names SHA256SUMS)

file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip "--mtime=2026-01-01 00:00:00 UTC" -- ${names}
  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not make ${ZIP}")
endif()
# The sum of the zip itself, published beside it, so that a download can be
# checked before it is opened.
file(SHA256 ${ZIP} zip_sum)
get_filename_component(zip_dir ${ZIP} DIRECTORY)
get_filename_component(zip_name ${ZIP} NAME)
file(WRITE ${zip_dir}/SHA256SUMS "${zip_sum}  ${zip_name}\n")
message(STATUS "made ${ZIP} and ${zip_dir}/SHA256SUMS")
