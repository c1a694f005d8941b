# quillmere-split.exe in a console and redirected, started as a user starts it.
add_executable(cli_console_tests ${CMAKE_CURRENT_LIST_DIR}/cli_console_test.cpp)
target_link_libraries(cli_console_tests PRIVATE quillmere_window_driver quillmere_cli GTest::gtest_main)
target_compile_definitions(cli_console_tests PRIVATE QUILLMERE_SPLIT="$<TARGET_FILE:quillmere-split>")
add_dependencies(cli_console_tests quillmere-split)
quillmere_warnings(cli_console_tests)
gtest_discover_tests(cli_console_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
