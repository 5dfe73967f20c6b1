# The libraries the program uses, as imported targets: deps::mbedcrypto, deps::jsoncpp,
# deps::tinyxml, deps::crypto (OpenSSL's libcrypto). Natively Debian's -dev packages; for the
# Windows program the static libraries cross-built into VAULTAIDE_DEPS_PREFIX.
function(vaultaide_import name library include_dir)
    add_library(deps::${name} UNKNOWN IMPORTED)
    set_target_properties(deps::${name} PROPERTIES
        IMPORTED_LOCATION ${library}
        INTERFACE_INCLUDE_DIRECTORIES ${include_dir})
endfunction()

if(WIN32)
    if(NOT VAULTAIDE_DEPS_PREFIX)
        message(FATAL_ERROR "VAULTAIDE_DEPS_PREFIX: the folder scripts/mingw-deps built into")
    endif()
    # The 32-bit program ships and runs on Windows XP, as scripts/mingw-deps builds its libraries:
    # the Windows headers then declare nothing that later versions added.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501)
    endif()
    set(lib ${VAULTAIDE_DEPS_PREFIX}/lib)
    set(inc ${VAULTAIDE_DEPS_PREFIX}/include)
    vaultaide_import(mbedcrypto ${lib}/libmbedcrypto.a ${inc})
    set_property(TARGET deps::mbedcrypto PROPERTY INTERFACE_LINK_LIBRARIES advapi32 bcrypt)
    vaultaide_import(jsoncpp ${lib}/libjsoncpp.a ${inc})
    vaultaide_import(tinyxml ${lib}/libtinyxml.a ${inc})
    set_property(TARGET deps::tinyxml PROPERTY INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)
    vaultaide_import(crypto ${lib}/libcrypto.a ${inc})
    set_property(TARGET deps::crypto PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 user32 advapi32)
else()
    find_library(MBEDCRYPTO_LIBRARY mbedcrypto REQUIRED)
    find_path(MBEDTLS_INCLUDE_DIR mbedtls/rsa.h REQUIRED)
    vaultaide_import(mbedcrypto ${MBEDCRYPTO_LIBRARY} ${MBEDTLS_INCLUDE_DIR})
    find_library(JSONCPP_LIBRARY jsoncpp REQUIRED)
    find_path(JSONCPP_INCLUDE_DIR json/json.h PATH_SUFFIXES jsoncpp REQUIRED)
    vaultaide_import(jsoncpp ${JSONCPP_LIBRARY} ${JSONCPP_INCLUDE_DIR})
    find_library(TINYXML_LIBRARY tinyxml REQUIRED)
    find_path(TINYXML_INCLUDE_DIR tinyxml.h REQUIRED)
    vaultaide_import(tinyxml ${TINYXML_LIBRARY} ${TINYXML_INCLUDE_DIR})
    set_property(TARGET deps::tinyxml PROPERTY INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)
    find_package(OpenSSL REQUIRED)
    add_library(deps::crypto ALIAS OpenSSL::Crypto)
endif()
