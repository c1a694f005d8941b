# The shipped program stopped by Exit and by closing its window at random
# moments of a long run, from a separate process.
add_executable(reliability_tests ${CMAKE_CURRENT_LIST_DIR}/reliability_stop_test.cpp)
target_link_libraries(reliability_tests PRIVATE quillmere_window_driver GTest::gtest_main)
target_compile_definitions(reliability_tests PRIVATE QUILLMERE_PROGRAM="$<TARGET_FILE:Quillmere>")
add_dependencies(reliability_tests Quillmere)
quillmere_warnings(reliability_tests)
gtest_discover_tests(reliability_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE)
