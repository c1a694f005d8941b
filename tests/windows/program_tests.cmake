# The shipped Quillmere2.6.exe, worked from a separate process as a user
# works it, and the driver that the run command and the window benchmark
# use to do the same.

add_executable(quillmere-demo-driver ${CMAKE_CURRENT_LIST_DIR}/program_demo_driver.cpp)
set_target_properties(quillmere-demo-driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(quillmere-demo-driver PRIVATE quillmere_window_driver)
quillmere_warnings(quillmere-demo-driver)

add_executable(program_tests
  ${CMAKE_CURRENT_LIST_DIR}/program_end_to_end_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/program_long_run_test.cpp)
target_link_libraries(program_tests PRIVATE quillmere_window_driver GTest::gtest_main)
target_compile_definitions(program_tests PRIVATE QUILLMERE_PROGRAM="$<TARGET_FILE:Quillmere>")
add_dependencies(program_tests Quillmere)
quillmere_warnings(program_tests)
gtest_discover_tests(program_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 600)
