# The native build: the core as a library with its tests, and the vendor-side tools.
option(VAULTAIDE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
if(VAULTAIDE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(vaultaide STATIC
    src/platform/native/curl_transport.cpp
    src/platform/native/iconv_text_encoding.cpp
    src/platform/native/rooted_files.cpp
)
find_package(CURL REQUIRED)
target_link_libraries(vaultaide PUBLIC vaultaide_base CURL::libcurl)

# Vendor-side tools.
add_library(vaultaide_tools STATIC
    tools/common/key_folder.cpp
    tools/server/release_config.cpp
    tools/publish/keygen.cpp
    tools/publish/manifest_writer.cpp
    tools/publish/release_check.cpp
    tools/publish/release_names.cpp
)
target_include_directories(vaultaide_tools PUBLIC tools)
target_link_libraries(vaultaide_tools PUBLIC vaultaide_core)
add_executable(vaultaide-publish tools/publish/main.cpp)
target_link_libraries(vaultaide-publish PRIVATE vaultaide_tools)
find_package(Threads REQUIRED)
add_library(vaultaide_server STATIC
    tools/server/connection_hub.cpp
    tools/server/hub_accept.cpp
    tools/server/hub_read.cpp
    tools/server/hub_send.cpp
    tools/server/hub_tls.cpp
    tools/server/envelope_key.cpp
    tools/server/http_answer.cpp
    tools/server/listen_address.cpp
    tools/server/log_text.cpp
    tools/server/metrics_listener.cpp
    tools/server/process_stats.cpp
    tools/server/release_check.cpp
    tools/server/request_head.cpp
    tools/server/server_metrics.cpp
    tools/server/static_files.cpp
    tools/server/tls_context.cpp
    tools/server/update_service.cpp
    tools/server/version_endpoint.cpp
)
target_link_libraries(vaultaide_server PUBLIC vaultaide_tools OpenSSL::SSL Threads::Threads)
add_executable(vaultaide-server tools/server/main.cpp)
target_link_libraries(vaultaide-server PRIVATE vaultaide_server)

# Keys for the tests and the demo, made once in the build tree unless a folder is given.
if(VAULTAIDE_KEY_DIR)
    set(VAULTAIDE_KEYS ${VAULTAIDE_KEY_DIR})
else()
    set(VAULTAIDE_KEYS ${CMAKE_BINARY_DIR}/keys)
    # The mark of a folder made for tests: a Windows build given it says so (windows.cmake).
    file(MAKE_DIRECTORY ${VAULTAIDE_KEYS})
    file(CHMOD ${VAULTAIDE_KEYS} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    file(WRITE ${VAULTAIDE_KEYS}/TEST-KEYS
        "Made by the build for tests and the demo. Never ship a program that carries them.\n")
    add_custom_command(OUTPUT ${VAULTAIDE_KEYS}/envelope.key ${VAULTAIDE_KEYS}/manifest_public.pem
        COMMAND ${CMAKE_COMMAND} -DPUBLISH=$<TARGET_FILE:vaultaide-publish> -DDIR=${VAULTAIDE_KEYS}
                -P ${CMAKE_SOURCE_DIR}/cmake/make_keys.cmake
        DEPENDS vaultaide-publish
        COMMENT "Making the test key folder ${VAULTAIDE_KEYS}")
endif()

enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

add_library(vaultaide_fakes STATIC tests/fakes/fake_platform.cpp tests/fakes/folder_http.cpp
    tests/fakes/scripted_http.cpp)
target_include_directories(vaultaide_fakes PUBLIC tests)
target_link_libraries(vaultaide_fakes PUBLIC vaultaide vaultaide_install)

add_executable(unit_tests
    tests/unit/access_list_test.cpp
    tests/unit/bank_profile_test.cpp
    tests/unit/crypto_test.cpp
    tests/unit/dialog_logic_test.cpp
    tests/unit/digest_manifest_test.cpp
    tests/unit/entry_names_test.cpp
    tests/unit/file_digest_test.cpp
    tests/unit/held_files_test.cpp
    tests/unit/hostile_input_test.cpp
    tests/unit/install_bench.cpp
    tests/unit/install_sequence_test.cpp
    tests/unit/install_steps_test.cpp
    tests/unit/replacement_test.cpp
    tests/unit/envelope_test.cpp
    tests/unit/server_answer_test.cpp
    tests/unit/package_files_test.cpp
    tests/unit/progress_reporter_test.cpp
    tests/unit/real_windows_test.cpp
    tests/unit/publish_test.cpp
    tests/unit/release_config_test.cpp
    tests/unit/server_endpoint_test.cpp
    tests/unit/signed_manifest_test.cpp
    tests/unit/startup_test.cpp
    tests/unit/system_utils_test.cpp
    tests/unit/tick_count_test.cpp
    tests/unit/version_check_test.cpp
    tests/unit/xml_nesting_test.cpp
)
target_link_libraries(unit_tests PRIVATE vaultaide_fakes vaultaide_tools GTest::gtest_main)
target_compile_definitions(unit_tests PRIVATE VAULTAIDE_TEST_KEY_DIR="${VAULTAIDE_KEYS}"
    VAULTAIDE_PUBLISH_BIN="$<TARGET_FILE:vaultaide-publish>")
add_dependencies(unit_tests vaultaide-publish)
gtest_discover_tests(unit_tests TEST_PREFIX "unit." DISCOVERY_TIMEOUT 60)

# End-to-end tests of the shipping 32-bit program under Wine, given the Windows build trees.
set(VAULTAIDE_WIN_BUILD_DIR "" CACHE PATH
    "x86_64 Windows build tree (a compile check; its 64-bit stand-ins serve the WoW64 scenarios)")
set(VAULTAIDE_WIN_I686_BUILD_DIR "" CACHE PATH
    "i686 Windows build tree (the shipping program, which the Wine tests run)")
if(VAULTAIDE_WIN_I686_BUILD_DIR AND VAULTAIDE_WIN_BUILD_DIR)
    include(cmake/wine_tests.cmake)
endif()

foreach(tree IN ITEMS x86_64 i686)
    if(tree STREQUAL x86_64)
        set(dir ${VAULTAIDE_WIN_BUILD_DIR})
    else()
        set(dir ${VAULTAIDE_WIN_I686_BUILD_DIR})
    endif()
    if(dir)
        add_test(NAME build.windows_program_${tree}
            COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/check-windows-program
                    ${dir}/vaultaide_810.exe ${tree})
    endif()
endforeach()

# The release: signed through a SoftHSM2 token and verified, the program built again elsewhere
# to the same bytes, and the Debian package installed, answering and purged.
if(VAULTAIDE_WIN_I686_BUILD_DIR)
    set(release_work ${CMAKE_BINARY_DIR}/release-test)
    add_test(NAME release.end_to_end COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check-release
        ${release_work} $<TARGET_FILE:vaultaide-publish>)
    add_test(NAME release.reproducible
        COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check-reproducible ${release_work})
    add_test(NAME release.package_cycle
        COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check-package ${release_work})
    set_tests_properties(release.end_to_end PROPERTIES FIXTURES_SETUP release TIMEOUT 1800)
    set_tests_properties(release.reproducible release.package_cycle PROPERTIES
        FIXTURES_REQUIRED release TIMEOUT 1200)
endif()

# Integration tests: the client against vaultaide-server and scripted servers on 127.0.0.1.
add_executable(integration_tests
    tests/integration/deployment_test.cpp
    tests/integration/exchange_integration_test.cpp
    tests/integration/openssl_oracle_test.cpp
    tests/integration/package_integration_test.cpp
    tests/integration/prometheus_process.cpp
    tests/integration/raw_client.cpp
    tests/integration/raw_http_server.cpp
    tests/integration/nginx_deployment.cpp
    tests/integration/server_fairness_test.cpp
    tests/integration/server_hardening_test.cpp
    tests/integration/server_load_test.cpp
    tests/integration/server_metrics_test.cpp
    tests/integration/server_process.cpp
)
target_link_libraries(integration_tests PRIVATE vaultaide_fakes vaultaide_tools GTest::gtest_main
    OpenSSL::SSL Threads::Threads)
target_compile_definitions(integration_tests PRIVATE
    VAULTAIDE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VAULTAIDE_SERVER_BIN="$<TARGET_FILE:vaultaide-server>"
    VAULTAIDE_TEST_KEY_DIR="${VAULTAIDE_KEYS}")
add_dependencies(integration_tests vaultaide-server)
gtest_discover_tests(integration_tests TEST_PREFIX "integration." DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120)

# Benchmarks (run by scripts/bench in an optimised tree without sanitizers).
find_package(benchmark REQUIRED)
add_executable(exchange_bench
    bench/exchange_bench.cpp
    tests/integration/server_process.cpp
)
target_link_libraries(exchange_bench PRIVATE vaultaide_fakes vaultaide_server benchmark::benchmark
    Threads::Threads)
target_compile_definitions(exchange_bench PRIVATE
    VAULTAIDE_SERVER_BIN="$<TARGET_FILE:vaultaide-server>"
    VAULTAIDE_TEST_KEY_DIR="${VAULTAIDE_KEYS}")
add_dependencies(exchange_bench vaultaide-server)
add_executable(packages_bench bench/packages_bench.cpp)
target_link_libraries(packages_bench PRIVATE vaultaide_fakes)

if(EXISTS ${CMAKE_SOURCE_DIR}/.git)
    add_test(NAME style.clang_format COMMAND ${CMAKE_SOURCE_DIR}/tests/check-format)
    add_test(NAME style.layers COMMAND ${CMAKE_SOURCE_DIR}/tests/check-layers)
    add_test(NAME deploy.files
        COMMAND ${CMAKE_SOURCE_DIR}/tests/check-deploy $<TARGET_FILE:vaultaide-server>)
endif()
