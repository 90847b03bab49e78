# Native targets: the platform-free logic under AddressSanitizer and UndefinedBehaviorSanitizer.
enable_testing()
set(UNINST_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(launcher_pure STATIC ${UNINST_PURE_SOURCES})
target_include_directories(launcher_pure PUBLIC src)
target_compile_options(launcher_pure PRIVATE ${UNINST_WARNINGS} ${UNINST_SANITIZE})

file(GLOB UNINST_NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*_test.cpp)
add_executable(native_tests ${UNINST_NATIVE_TESTS})
target_include_directories(native_tests PRIVATE src tests)
target_compile_options(native_tests PRIVATE ${UNINST_WARNINGS} ${UNINST_SANITIZE})
target_link_options(native_tests PRIVATE ${UNINST_SANITIZE})
target_link_libraries(native_tests PRIVATE launcher_pure gtest_main)
add_test(NAME native_tests COMMAND native_tests)

# Fuzz targets need clang's libFuzzer.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    file(GLOB UNINST_FUZZERS CONFIGURE_DEPENDS tests/fuzz/*_fuzz.cpp)
    foreach(fuzzer ${UNINST_FUZZERS})
        get_filename_component(name ${fuzzer} NAME_WE)
        add_executable(${name} ${fuzzer} ${UNINST_PURE_SOURCES})
        target_include_directories(${name} PRIVATE src tests)
        target_compile_options(${name} PRIVATE ${UNINST_WARNINGS} -fsanitize=fuzzer,address,undefined)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    endforeach()
endif()
