# Wine end-to-end tests. One throw-away prefix and one private X display per ctest run:
# the setup test makes them, the cleanup test stops every process they started.
set(VAULTAIDE_WINE_DIR ${CMAKE_BINARY_DIR}/wine)

add_executable(wine_tests
    tests/integration/nginx_deployment.cpp
    tests/integration/raw_http_server.cpp
    tests/integration/server_process.cpp
    tests/wine/deployment_wine_test.cpp
    tests/wine/downloads_wine_test.cpp
    tests/wine/exchange_wine_test.cpp
    tests/wine/install_wine_test.cpp
    tests/wine/local_user_wine_test.cpp
    tests/wine/packages_wine_test.cpp
    tests/wine/recovery_wine_test.cpp
    tests/wine/screen.cpp
    tests/wine/startup_wine_test.cpp
    tests/wine/ui_machine.cpp
    tests/wine/ui_paths_wine_test.cpp
    tests/wine/ui_wine_test.cpp
    tests/wine/wine_bench.cpp
)
target_include_directories(wine_tests PRIVATE tests src)
target_link_libraries(wine_tests PRIVATE vaultaide_fakes vaultaide_tools)
target_link_libraries(wine_tests PRIVATE vaultaide GTest::gtest_main)
target_compile_definitions(wine_tests PRIVATE
    VAULTAIDE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VAULTAIDE_WINE_DIR="${VAULTAIDE_WINE_DIR}"
    VAULTAIDE_WIN_BUILD_DIR="${VAULTAIDE_WIN_BUILD_DIR}"
    VAULTAIDE_SERVER_BIN="$<TARGET_FILE:vaultaide-server>"
    VAULTAIDE_PUBLISH_BIN="$<TARGET_FILE:vaultaide-publish>"
    VAULTAIDE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VAULTAIDE_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots"
    VAULTAIDE_TEST_KEY_DIR="${VAULTAIDE_KEYS}")
add_dependencies(wine_tests vaultaide-server vaultaide-publish)

add_test(NAME wine.setup COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/bench up ${VAULTAIDE_WINE_DIR}
    ${VAULTAIDE_WIN_BUILD_DIR}/wadriver.exe)
add_test(NAME wine.cleanup COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/bench down ${VAULTAIDE_WINE_DIR})
set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
gtest_discover_tests(wine_tests TEST_PREFIX "wine." DISCOVERY_TIMEOUT 60
    PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine TIMEOUT 180)
