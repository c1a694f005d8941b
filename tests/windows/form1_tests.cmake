# The real Form1 inside the test process, worked through the platform's own
# dialogs from a helper thread.
if(NOT WIN32)
  return()
endif()

# Finding and working this process's dialogs; the end-to-end tests may reuse it.
add_library(quillmere_dialog_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/dialog_driver.cpp)
target_include_directories(quillmere_dialog_driver PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(quillmere_dialog_driver PUBLIC UNICODE _UNICODE NOMINMAX)
target_link_libraries(quillmere_dialog_driver PUBLIC comctl32 shell32 ole32)
quillmere_warnings(quillmere_dialog_driver)

add_executable(form1_tests
  ${CMAKE_CURRENT_LIST_DIR}/form1_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_layout_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_paint_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_browse_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_split_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_exit_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form1_folder_chooser_test.cpp)
target_link_libraries(form1_tests PRIVATE quillmere_ui quillmere_dialog_driver GTest::gtest_main)
quillmere_warnings(form1_tests)

# A drive letter mapped to a scratch folder, so a run can write into a real
# drive root. Wine keeps its drives as links in the prefix; the link is made
# natively before the tests that use it.
set(QUILLMERE_TEST_DRIVE "r:" CACHE STRING "Wine drive letter the window tests map to a scratch folder")
set(_form1_drive_dir ${CMAKE_CURRENT_BINARY_DIR}/form1-drive)
add_test(NAME form1_map_drive
  COMMAND sh -c "rm -rf \"$1\" && mkdir -p \"$1\" && ln -sfn \"$1\" \"\${WINEPREFIX:-$2}/dosdevices/$3\""
          sh ${_form1_drive_dir} ${PROJECT_SOURCE_DIR}/build/wineprefix ${QUILLMERE_TEST_DRIVE})
add_test(NAME form1_unmap_drive
  COMMAND sh -c "rm -f \"\${WINEPREFIX:-$1}/dosdevices/$2\" && rm -rf \"$3\""
          sh ${PROJECT_SOURCE_DIR}/build/wineprefix ${QUILLMERE_TEST_DRIVE} ${_form1_drive_dir})
set_tests_properties(form1_map_drive PROPERTIES FIXTURES_SETUP form1_drive)
set_tests_properties(form1_unmap_drive PROPERTIES FIXTURES_CLEANUP form1_drive)

gtest_discover_tests(form1_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED form1_drive
             ENVIRONMENT "QUILLMERE_TEST_DRIVE=${QUILLMERE_TEST_DRIVE}")
