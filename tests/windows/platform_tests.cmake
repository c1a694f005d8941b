# Where the window meets Windows itself rather than its own code: the
# session ending, the open dialog and the current folder, high contrast, the
# show command, the screen's scale and the window procedure's boundary.

# Form1 started at a given system scale prints what it shows.
add_executable(form1_dpi_probe ${CMAKE_CURRENT_LIST_DIR}/form1_dpi_probe.cpp)
target_link_libraries(form1_dpi_probe PRIVATE quillmere_window_driver)
target_link_options(form1_dpi_probe PRIVATE -municode)
quillmere_warnings(form1_dpi_probe)

add_executable(platform_tests
  ${CMAKE_CURRENT_LIST_DIR}/form1_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_platform_test.cpp)
target_compile_definitions(platform_tests PRIVATE QUILLMERE_PROGRAM="$<TARGET_FILE:Quillmere>"
  QUILLMERE_DPI_PROBE="$<TARGET_FILE:form1_dpi_probe>")
target_link_libraries(platform_tests PRIVATE quillmere_window_driver GTest::gtest_main)
add_dependencies(platform_tests Quillmere form1_dpi_probe)
quillmere_warnings(platform_tests)
# One at a time: the high-contrast test changes the system's colours, and
# the scale tests the system's scale, for every program of the Wine session
# while they run.
gtest_discover_tests(platform_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE LABELS platform)
