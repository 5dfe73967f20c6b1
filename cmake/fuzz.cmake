# The fuzz tree (VAULTAIDE_FUZZ, clang): libFuzzer targets over every reader of what the client
# takes from the network or from disk. The core, JsonCpp and TinyXML carry the fuzzer's coverage
# instrumentation and AddressSanitizer/UndefinedBehaviorSanitizer, so a read past a buffer inside
# a parser is caught as well as one in the core. scripts/fuzz configures, builds and runs it.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "the fuzz tree is built with clang (CMAKE_CXX_COMPILER=clang++)")
endif()
set(VAULTAIDE_FUZZ_TINYXML_SOURCE "" CACHE PATH "unpacked Debian source of TinyXML")
set(VAULTAIDE_FUZZ_JSONCPP_SOURCE "" CACHE PATH "unpacked Debian source of JsonCpp")
set(VAULTAIDE_FUZZ_PUBLISH "" CACHE FILEPATH "a vaultaide-publish that seals and signs the seeds")
foreach(setting VAULTAIDE_KEY_DIR VAULTAIDE_FUZZ_TINYXML_SOURCE VAULTAIDE_FUZZ_JSONCPP_SOURCE
        VAULTAIDE_FUZZ_PUBLISH)
    if(NOT ${setting})
        message(FATAL_ERROR "the fuzz tree needs ${setting}")
    endif()
endforeach()
set(VAULTAIDE_KEYS ${VAULTAIDE_KEY_DIR})

# clang knows no execution character set but UTF-8, so literals stay UTF-8 here; the readers
# under test take no bytes from literals that GBK would change.
set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all)
add_compile_options(-Wall -Wextra -finput-charset=UTF-8 -O1 -g -fno-omit-frame-pointer
    -fsanitize=fuzzer-no-link ${sanitizers})
add_link_options(${sanitizers})

# The parsers from the same Debian sources the Windows build uses. deps.cmake then imports these
# libraries: find_library and find_path keep a result that is already set.
set(parsers ${CMAKE_BINARY_DIR}/parsers)
set(tiny ${VAULTAIDE_FUZZ_TINYXML_SOURCE})
add_library(fuzz_tinyxml STATIC
    ${tiny}/tinyxml.cpp ${tiny}/tinystr.cpp ${tiny}/tinyxmlerror.cpp ${tiny}/tinyxmlparser.cpp)
target_compile_definitions(fuzz_tinyxml PRIVATE TIXML_USE_STL)
set(json ${VAULTAIDE_FUZZ_JSONCPP_SOURCE})
add_library(fuzz_jsoncpp STATIC ${json}/src/lib_json/json_reader.cpp
    ${json}/src/lib_json/json_value.cpp ${json}/src/lib_json/json_writer.cpp)
target_include_directories(fuzz_jsoncpp PRIVATE ${json}/include ${json}/src/lib_json)
foreach(parser fuzz_tinyxml fuzz_jsoncpp)
    target_compile_options(${parser} PRIVATE -w)  # their warnings are not ours to fix
    set_target_properties(${parser} PROPERTIES ARCHIVE_OUTPUT_DIRECTORY ${parsers})
endforeach()
set(TINYXML_LIBRARY ${parsers}/libfuzz_tinyxml.a CACHE FILEPATH "" FORCE)
set(TINYXML_INCLUDE_DIR ${tiny} CACHE PATH "" FORCE)
set(JSONCPP_LIBRARY ${parsers}/libfuzz_jsoncpp.a CACHE FILEPATH "" FORCE)
set(JSONCPP_INCLUDE_DIR ${json}/include CACHE PATH "" FORCE)

add_library(fuzz_support STATIC src/platform/native/iconv_text_encoding.cpp)
target_link_libraries(fuzz_support PUBLIC vaultaide_core)
target_include_directories(fuzz_support PUBLIC tests)

# fuzz_all: the targets and their seeds, without the rest of the tree.
add_custom_target(fuzz_all)
set(VAULTAIDE_FUZZ_TARGETS envelope server_answer manifest signed_manifest server_endpoint
    version_text request_head journal)
foreach(target IN LISTS VAULTAIDE_FUZZ_TARGETS)
    add_executable(fuzz_${target} tests/fuzz/${target}_fuzz.cpp)
    target_link_libraries(fuzz_${target} PRIVATE fuzz_support vaultaide_install)
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzz_${target} fuzz_tinyxml fuzz_jsoncpp)
    add_dependencies(fuzz_all fuzz_${target})
endforeach()

# The server's reader of request heads, outside the core.
target_sources(fuzz_request_head PRIVATE tools/server/request_head.cpp)
target_include_directories(fuzz_request_head PRIVATE tools)

# Seeds that need the build's keys: sealed answers and signed manifests.
set(seeds ${CMAKE_BINARY_DIR}/seeds)
add_custom_command(OUTPUT ${seeds}/.made
    COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/make-seeds ${VAULTAIDE_FUZZ_PUBLISH} ${VAULTAIDE_KEYS}
            ${seeds}
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/make-seeds ${VAULTAIDE_FUZZ_PUBLISH}
            ${VAULTAIDE_KEYS}/envelope.key ${VAULTAIDE_KEYS}/manifest_public.pem
    COMMENT "Sealing and signing the fuzz seeds")
add_custom_target(fuzz_seeds DEPENDS ${seeds}/.made)
add_dependencies(fuzz_all fuzz_seeds)
