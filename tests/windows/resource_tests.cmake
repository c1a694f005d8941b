# Tests of the program's resources and start-up: the resource table, the
# version block, the icon, the manifest and the activation context it gives,
# and the started program (icons, command line, several copies).
add_executable(resource_tests
  resource_reader.cpp
  resource_table_test.cpp
  resource_version_test.cpp
  resource_icon_test.cpp
  resource_manifest_test.cpp
  resource_program_test.cpp)
get_target_property(_quillmere_icon_dir quillmere_icon QUILLMERE_ICON_DIR)
target_compile_definitions(resource_tests PRIVATE
  QUILLMERE_PROGRAM="$<TARGET_FILE:Quillmere>"
  QUILLMERE_SPLIT="$<TARGET_FILE:quillmere-split>"
  QUILLMERE_ICON_DIR="${_quillmere_icon_dir}"
  QUILLMERE_CORPUS_DIR="${QUILLMERE_CORPUS_DIR}"
  UNICODE _UNICODE)
target_link_libraries(resource_tests PRIVATE quillmere_window_driver quillmere_version GTest::gtest_main version)
quillmere_warnings(resource_tests)
# The tests read the program and the icon files the build made.
add_dependencies(resource_tests Quillmere quillmere-split quillmere_icon)
gtest_discover_tests(resource_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 180 LABELS resources)

# The icon generator draws the same bytes on every run, and the build's copy
# is what it draws now (run natively, not under Wine).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME IconGenerator.DrawsTheSameBytesOnEveryRun
  COMMAND ${CMAKE_COMMAND}
    -DPYTHON=${Python3_EXECUTABLE}
    -DTOOL=${PROJECT_SOURCE_DIR}/tools/make_icon.py
    -DBUILT=${_quillmere_icon_dir}
    -DSCRATCH=${CMAKE_CURRENT_BINARY_DIR}/icon-rerun
    -P ${CMAKE_CURRENT_SOURCE_DIR}/resource_icon_rerun.cmake)
set_tests_properties(IconGenerator.DrawsTheSameBytesOnEveryRun PROPERTIES LABELS resources)

# Form1 inside a test process that carries the program's resources.
add_executable(resource_window_tests resource_window_test.cpp resource_reader.cpp)
quillmere_add_resources(resource_window_tests)
target_compile_definitions(resource_window_tests PRIVATE
  QUILLMERE_PROGRAM="$<TARGET_FILE:Quillmere>" UNICODE _UNICODE)
target_link_libraries(resource_window_tests PRIVATE quillmere_window_driver GTest::gtest_main)
quillmere_warnings(resource_window_tests)
gtest_discover_tests(resource_window_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 120 LABELS resources)
