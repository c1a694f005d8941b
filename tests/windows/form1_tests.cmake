# The real Form1 inside the test process, worked through the platform's own
# dialogs from a helper thread.

add_executable(form1_tests
  ${CMAKE_CURRENT_LIST_DIR}/form1_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_layout_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_paint_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_browse_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_split_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_exit_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_folder_chooser_test.cpp)
target_link_libraries(form1_tests PRIVATE quillmere_window_driver GTest::gtest_main)
quillmere_warnings(form1_tests)

gtest_discover_tests(form1_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
