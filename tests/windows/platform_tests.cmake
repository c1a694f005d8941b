# Where the program meets Windows itself rather than its own code: paths
# past MAX_PATH, files held by other programs, the session ending, the open
# dialog and the current folder, high contrast, the show command, the
# screen's scale, the window procedure's boundary and the program image.

add_executable(platform_tests
  ${CMAKE_CURRENT_LIST_DIR}/form1_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_platform_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32_files_test.cpp)
target_include_directories(platform_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_compile_definitions(platform_tests PRIVATE QUILLMERE_PROGRAM="$<TARGET_FILE:Quillmere>")
target_link_libraries(platform_tests PRIVATE quillmere_window_driver GTest::gtest_main)
add_dependencies(platform_tests Quillmere)
quillmere_warnings(platform_tests)
# One at a time: the high-contrast test changes the system's colours for
# every program of the Wine session while it runs.
gtest_discover_tests(platform_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE LABELS platform)
