# The release zip as a user gets it: unpacked, its sums checked, README.txt
# in CR LF, and both programs started from the unpacked folder under Wine.
if(NOT QUILLMERE_PACKAGES)
  return()
endif()

add_executable(package_start_check ${CMAKE_CURRENT_LIST_DIR}/package_start_check.cpp)
target_link_libraries(package_start_check PRIVATE quillmere_window_driver)
target_link_options(package_start_check PRIVATE -municode)
quillmere_warnings(package_start_check)

add_test(NAME Package.UnpackedZipHasGoodSumsAndBothProgramsStart
  COMMAND ${CMAKE_COMMAND}
    -DBUILD_DIR=${CMAKE_BINARY_DIR}
    -DZIP=${QUILLMERE_PACKAGES}
    -DPROGRAM_NAME=${QUILLMERE_EXE_NAME}.exe
    -DVERSION_TEXT=${QUILLMERE_VERSION_TEXT}
    -DWINE=${PROJECT_SOURCE_DIR}/tools/wine-exec.sh
    -DSTARTER=$<TARGET_FILE:package_start_check>
    -DSAMPLE=${PROJECT_SOURCE_DIR}/samples/contacts.vcf
    -DSCRATCH=${CMAKE_CURRENT_BINARY_DIR}/package-check
    -P ${CMAKE_CURRENT_LIST_DIR}/package_check.cmake)
set_tests_properties(Package.UnpackedZipHasGoodSumsAndBothProgramsStart PROPERTIES TIMEOUT 300 LABELS package)
