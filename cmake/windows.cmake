# The Windows program and the Windows-side test programs, statically linked.
if(NOT VAULTAIDE_KEY_DIR)
    message(FATAL_ERROR "VAULTAIDE_KEY_DIR: the Windows program needs the key folder")
endif()
set(VAULTAIDE_KEYS ${VAULTAIDE_KEY_DIR})
set(VAULTAIDE_STATIC_LINK -static -static-libgcc -static-libstdc++)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources")

# The platform boundary's Win32 implementation.
add_library(vaultaide_win32 STATIC
    src/platform/win32/win32_files.cpp
    src/platform/win32/win32_http.cpp
    src/platform/win32/win32_kernel.cpp
    src/platform/win32/win32_processes.cpp
    src/platform/win32/win32_registry.cpp
    src/platform/win32/win32_shell.cpp
    src/platform/win32/win32_system_info.cpp
    src/platform/win32/win32_text_encoding.cpp
    src/platform/win32/win32_ui_services.cpp
)
target_link_libraries(vaultaide_win32 PUBLIC vaultaide_base comctl32 wininet ole32 shell32 uuid)

add_executable(vaultaide_810 WIN32
    src/app/win32/downloader_app.cpp
    resources/vaultaide.rc
)
target_link_libraries(vaultaide_810 PRIVATE vaultaide_install vaultaide_win32)
target_link_options(vaultaide_810 PRIVATE ${VAULTAIDE_STATIC_LINK})

# Stand-ins for the assistant's own programs, under the names the suite gives them.
add_executable(assistant_stub WIN32 tests/fixtures/assistant_stub.cpp)
target_link_options(assistant_stub PRIVATE ${VAULTAIDE_STATIC_LINK})
set(VAULTAIDE_STUB_NAMES Nexio_810.exe QuorlePop.exe QuorlePop_810.exe uninst_810.exe)
foreach(name IN LISTS VAULTAIDE_STUB_NAMES)
    add_custom_command(TARGET assistant_stub POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:assistant_stub>
                ${CMAKE_BINARY_DIR}/stubs/${name})
endforeach()

# Stand-ins for the runtime installers.
add_executable(runtime_installer_stub WIN32 tests/fixtures/runtime_installer_stub.cpp)
target_link_options(runtime_installer_stub PRIVATE ${VAULTAIDE_STATIC_LINK})
foreach(name IN ITEMS vcredist_x86.exe vcredist_x64.exe)
    add_custom_command(TARGET runtime_installer_stub POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:runtime_installer_stub>
                ${CMAKE_BINARY_DIR}/stubs/${name})
endforeach()

# The end-to-end tests' helper on the Windows side.
add_executable(wadriver tests/wine/driver/wadriver.cpp)
target_link_libraries(wadriver PRIVATE vaultaide_install vaultaide_win32)
target_include_directories(wadriver PRIVATE tests)
target_link_options(wadriver PRIVATE ${VAULTAIDE_STATIC_LINK})
