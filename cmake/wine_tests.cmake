# Wine end-to-end tests of the shipping 32-bit program. Every scenario runs in a 64-bit prefix
# (WoW64, as on 64-bit Windows: ctest names wine.wow64.*); the scenarios below also run in a
# 32-bit prefix (as 32-bit Windows: wine.win32.*). Each prefix is a throw-away one with its own
# private X display per ctest run: its setup test makes them, its cleanup test stops every
# process they started. VAULTAIDE_WINE_PREFIX tells the test program which prefix it is in; the
# labels count each prefix's scenarios in ctest's summary. The two prefixes may run side by side.
#
# wine32's loader is a 32-bit Linux program. A kernel without 32-bit support (some virtual
# machines run 64-bit user code only) starts no 32-bit program at all, Windows or not: there the
# scenarios run the x86_64 build in a 64-bit prefix (wine.win64.*), and configuring says so.
set(VAULTAIDE_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(VAULTAIDE_WINE_WIN32_SCENARIOS
    WineInstall.FreshInstallationThenUpdateThenRepair
    WineInstall.ForcedUpdateReachesThePopUpProgramAndAHeldFileKeepsTheOldInstallation
    WineUi.FirstInstallationIntoTheDefaultFolderAndIntoATypedOne
    WineUi.ForcedUpdateHandsOverToThePopUpProgram
    WineUi.RepairWithAndWithoutARunningInternetExplorer)
execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE wine32_result
    OUTPUT_QUIET ERROR_QUIET)
if(wine32_result EQUAL 0)
    set(VAULTAIDE_WINE_PROGRAM_DIR ${VAULTAIDE_WIN_I686_BUILD_DIR})
    set(VAULTAIDE_WINE_PREFIXES wow64 win32)
else()
    message(WARNING "This machine starts no 32-bit program (/usr/lib/wine/wine: "
        "${wine32_result}): the Wine tests run the x86_64 build in a 64-bit prefix, not the "
        "shipping 32-bit program in WoW64 and 32-bit prefixes")
    set(VAULTAIDE_WINE_PROGRAM_DIR ${VAULTAIDE_WIN_BUILD_DIR})
    set(VAULTAIDE_WINE_PREFIXES win64)
endif()
list(GET VAULTAIDE_WINE_PREFIXES 0 first_prefix)

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
    tests/wine/real_windows_wine_test.cpp
    tests/wine/recovery_wine_test.cpp
    tests/wine/release_wine_test.cpp
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
    VAULTAIDE_WIN_BUILD_DIR="${VAULTAIDE_WINE_PROGRAM_DIR}"
    VAULTAIDE_WIN64_BUILD_DIR="${VAULTAIDE_WIN_BUILD_DIR}"
    VAULTAIDE_WINE_FIRST_PREFIX="${first_prefix}"
    VAULTAIDE_SERVER_BIN="$<TARGET_FILE:vaultaide-server>"
    VAULTAIDE_PUBLISH_BIN="$<TARGET_FILE:vaultaide-publish>"
    VAULTAIDE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VAULTAIDE_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots"
    VAULTAIDE_TEST_KEY_DIR="${VAULTAIDE_KEYS}")
add_dependencies(wine_tests vaultaide-server vaultaide-publish)

list(JOIN VAULTAIDE_WINE_WIN32_SCENARIOS ":" win32_filter)
foreach(prefix IN LISTS VAULTAIDE_WINE_PREFIXES)
    set(dir ${VAULTAIDE_WINE_DIR})
    set(arch win64)
    set(filter "*")
    if(prefix STREQUAL win32)
        set(dir ${VAULTAIDE_WINE_DIR}-win32)
        set(arch win32)
        set(filter ${win32_filter})
    endif()
    add_test(NAME wine.${prefix}.setup COMMAND ${CMAKE_COMMAND} -E env WINEARCH=${arch}
        ${CMAKE_SOURCE_DIR}/tests/wine/bench up ${dir} ${VAULTAIDE_WINE_PROGRAM_DIR}/wadriver.exe)
    add_test(NAME wine.${prefix}.cleanup COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/bench down ${dir})
    set_tests_properties(wine.${prefix}.setup PROPERTIES FIXTURES_SETUP wine_${prefix} TIMEOUT 300)
    set_tests_properties(wine.${prefix}.cleanup PROPERTIES FIXTURES_CLEANUP wine_${prefix}
        TIMEOUT 60)
    gtest_discover_tests(wine_tests TEST_PREFIX "wine.${prefix}." TEST_FILTER "${filter}"
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT VAULTAIDE_WINE_PREFIX=${prefix} FIXTURES_REQUIRED wine_${prefix}
                   RESOURCE_LOCK wine_${prefix} LABELS wine.${prefix} TIMEOUT 180)
endforeach()
