# The Windows program and the Windows-side test programs, statically linked.
if(NOT VAULTAIDE_KEY_DIR)
    message(FATAL_ERROR "VAULTAIDE_KEY_DIR: the Windows program needs the key folder")
endif()
set(VAULTAIDE_KEYS ${VAULTAIDE_KEY_DIR})
# Keys the native build generated for tests: the program says so in its version resource.
if(EXISTS ${VAULTAIDE_KEY_DIR}/TEST-KEYS)
    message(WARNING "\n*** vaultaide_810.exe is built with the TEST KEYS of ${VAULTAIDE_KEY_DIR}. "
        "Its version resource says \"test keys\". Never ship it: build with VAULTAIDE_KEY_DIR "
        "set to the product's key folder. ***\n")
    set(VAULTAIDE_RC_TEST_KEYS -DVAULTAIDE_TEST_KEYS)
endif()
# No link time in the program's header: two builds of one commit give the same bytes.
set(VAULTAIDE_STATIC_LINK -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources ${VAULTAIDE_RC_TEST_KEYS}")

# GetTickCount64 for the thread library, made from GetTickCount (Windows XP has no other). An
# object library, so that its import slot is linked before kernel32's import library is searched.
add_library(vaultaide_xp_imports OBJECT src/base/win32/tick_count64_import.cpp)
target_include_directories(vaultaide_xp_imports PRIVATE src)

# The platform boundary's Win32 implementation.
add_library(vaultaide_win32 STATIC
    src/platform/win32/win32_files.cpp
    src/platform/win32/win32_http.cpp
    src/platform/win32/win32_kernel.cpp
    src/platform/win32/win32_processes.cpp
    src/platform/win32/win32_registry.cpp
    src/platform/win32/win32_shell.cpp
    src/platform/win32/win32_signed_program.cpp
    src/platform/win32/win32_system_info.cpp
    src/platform/win32/win32_text_encoding.cpp
    src/platform/win32/win32_ui_services.cpp
    src/platform/win32/win32_user_start.cpp
)
target_link_libraries(vaultaide_win32 PUBLIC vaultaide_base comctl32 wininet ole32 oleaut32
    shell32 uuid wintrust crypt32)
# Wine, where test builds run, reports every file as the running account's.
if(VAULTAIDE_RC_TEST_KEYS)
    target_compile_definitions(vaultaide_win32 PRIVATE VAULTAIDE_TRUST_RUNNING_ACCOUNT)
endif()

# The five dialogs and the owner-drawn bars.
add_library(vaultaide_dialogs STATIC
    src/ui/win32/get_internet_dlg.cpp
    src/ui/win32/install_dlg.cpp
    src/ui/win32/my_progress.cpp
    src/ui/win32/option_dlg.cpp
    src/ui/win32/png_resource.cpp
    src/ui/win32/progress_dlg.cpp
    src/ui/win32/skinned_dialog.cpp
    src/ui/win32/update_dlg.cpp
    src/ui/win32/win32_startup_ui.cpp
)
target_link_libraries(vaultaide_dialogs PUBLIC vaultaide_install vaultaide_win32 gdiplus)

add_executable(vaultaide_810 WIN32
    src/app/win32/downloader_app.cpp
    resources/vaultaide.rc
)
# windres does not report the pictures it embeds as dependencies.
file(GLOB VAULTAIDE_PICTURES ${CMAKE_SOURCE_DIR}/resources/pictures/*)
set_source_files_properties(resources/vaultaide.rc PROPERTIES
    OBJECT_DEPENDS "${VAULTAIDE_PICTURES};${CMAKE_SOURCE_DIR}/resources/vaultaide.manifest")
target_link_libraries(vaultaide_810 PRIVATE vaultaide_dialogs vaultaide_xp_imports)
target_link_options(vaultaide_810 PRIVATE ${VAULTAIDE_STATIC_LINK})

# Stand-ins for the assistant's own programs, under the names the suite gives them.
add_executable(assistant_stub WIN32 tests/fixtures/assistant_stub.cpp)
target_link_libraries(assistant_stub PRIVATE vaultaide_xp_imports)
target_link_options(assistant_stub PRIVATE ${VAULTAIDE_STATIC_LINK})
set(VAULTAIDE_STUB_NAMES Nexio_810.exe QuorlePop.exe QuorlePop_810.exe uninst_810.exe)
foreach(name IN LISTS VAULTAIDE_STUB_NAMES)
    add_custom_command(TARGET assistant_stub POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:assistant_stub>
                ${CMAKE_BINARY_DIR}/stubs/${name})
endforeach()

# Stand-ins for the runtime installers, signed under a test root (and unsigned, tampered and
# foreign-signed copies for the tests).
add_executable(runtime_installer_stub WIN32 tests/fixtures/runtime_installer_stub.cpp)
target_link_options(runtime_installer_stub PRIVATE ${VAULTAIDE_STATIC_LINK})
add_custom_command(TARGET runtime_installer_stub POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/tests/fixtures/sign-runtime-stubs
            $<TARGET_FILE:runtime_installer_stub> ${VAULTAIDE_TEST_RUNTIME_SIGNER}
            ${CMAKE_BINARY_DIR}/stubs
    VERBATIM)

# The end-to-end tests' helper on the Windows side.
add_executable(wadriver tests/wine/driver/wadriver.cpp tests/wine/driver/ui_commands.cpp
    tests/wine/driver/wadriver.rc)
set_source_files_properties(tests/wine/driver/wadriver.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/resources/vaultaide.manifest")
target_link_libraries(wadriver PRIVATE vaultaide_install vaultaide_win32 gdiplus vaultaide_xp_imports)
target_include_directories(wadriver PRIVATE tests)
target_link_options(wadriver PRIVATE ${VAULTAIDE_STATIC_LINK})

# The download benchmark's programs under Wine (bench/wine-download): the program's download
# behind a real progress dialog, and the least a WinInet reader does.
add_executable(download_dialog bench/wine/download_dialog.cpp resources/vaultaide.rc)
target_link_libraries(download_dialog PRIVATE vaultaide_dialogs vaultaide_xp_imports)
target_link_options(download_dialog PRIVATE ${VAULTAIDE_STATIC_LINK})
add_executable(wininet_reader bench/wine/wininet_reader.cpp)
target_link_libraries(wininet_reader PRIVATE wininet)
target_link_options(wininet_reader PRIVATE ${VAULTAIDE_STATIC_LINK})
