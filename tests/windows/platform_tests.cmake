# Where the window meets Windows itself rather than its own code: the
# session ending, the open dialog and the current folder, high contrast, the
# show command, the screen's scale and the window procedure's boundary.

add_executable(platform_tests
  ${CMAKE_CURRENT_LIST_DIR}/form1_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_platform_test.cpp)
target_compile_definitions(platform_tests PRIVATE QUILLMERE_PROGRAM="$<TARGET_FILE:Quillmere>")
target_link_libraries(platform_tests PRIVATE quillmere_window_driver GTest::gtest_main)
add_dependencies(platform_tests Quillmere)
quillmere_warnings(platform_tests)
# One at a time: the high-contrast test changes the system's colours for
# every program of the Wine session while it runs.
gtest_discover_tests(platform_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE LABELS platform)
