# The Windows targets: the launcher without a C runtime, and the test programs under Wine.
enable_language(RC)
include(cmake/branding.cmake)

set(UNINST_PLATFORM_SOURCES
    src/app/appstate.cpp
    src/app/dllsearch.cpp
    src/ui/window.cpp
    src/engine/engine.cpp
    src/cleanup/prune.cpp
    src/cleanup/renamelist.cpp
    src/cleanup/selfremoval.cpp)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(UNINST_ENTRY _UninstStart)
    # Windows 95 keeps the stack 4-byte aligned anyway; realigning costs code in every frame.
    # Arguments are pushed rather than stored, which is shorter. No frame may reach a page:
    # without stack probes a larger frame could step over the guard page, so the compiler
    # refuses one.
    set(UNINST_ARCH_FLAGS -mpreferred-stack-boundary=2 -mno-accumulate-outgoing-args
        -mno-stack-arg-probe -fomit-frame-pointer -Wframe-larger-than=4000)
else()
    set(UNINST_ENTRY UninstStart)
    set(UNINST_ARCH_FLAGS)
endif()

# Our own section layout (cmake/uninst.ld.in): three sections in place of the runtime's dozen.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(UNINST_PE_FORMAT pei-i386)
else()
    set(UNINST_PE_FORMAT pei-x86-64)
endif()
configure_file(cmake/uninst.ld.in ${CMAKE_BINARY_DIR}/uninst.ld @ONLY)

add_executable(uninst WIN32
    src/app/main.cpp
    src/app/entry.cpp
    src/cleanup/fileio.cpp
    ${UNINST_PLATFORM_SOURCES}
    ${UNINST_PURE_SOURCES}
    src/res/uninst.rc)
target_include_directories(uninst PRIVATE src)
target_compile_options(uninst PRIVATE ${UNINST_WARNINGS}
    $<$<COMPILE_LANGUAGE:CXX>:-Oz -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
        -fno-stack-protector -fno-tree-loop-distribute-patterns -ffunction-sections -fno-ident
        -flto ${UNINST_ARCH_FLAGS}>)
# No C runtime: our own entry point, system DLLs only, and version 4.0 headers so that
# Windows 95 and NT 4.0 load the file. An executable is always loaded at its preferred base,
# so it needs no relocations; without them Windows Vista and later cannot move it to a random
# address, the price of the 8 KiB budget.
target_link_options(uninst PRIVATE
    ${UNINST_WARNINGS} -Oz -flto ${UNINST_ARCH_FLAGS} -Wl,--disable-reloc-section -Wl,--disable-dynamicbase
    -nostdlib -s -Wl,-T,${CMAKE_BINARY_DIR}/uninst.ld -Wl,-e,${UNINST_ENTRY} -Wl,--gc-sections
    -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
set_target_properties(uninst PROPERTIES LINK_LIBRARIES "" OUTPUT_NAME ${UNINST_OUTPUT_NAME})
target_link_libraries(uninst PRIVATE kernel32 user32 gdi32 shell32 gcc)

if(UNINST_TESTS)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

    # The launcher's routines, built with the runtime so that tests can call them.
    add_library(launcher_core STATIC ${UNINST_PLATFORM_SOURCES} ${UNINST_PURE_SOURCES})
    target_include_directories(launcher_core PUBLIC src)
    target_compile_options(launcher_core PRIVATE ${UNINST_WARNINGS})

    file(GLOB UNINST_WINE_TESTS CONFIGURE_DEPENDS tests/wine/*.cpp)
    add_executable(wine_tests ${UNINST_WINE_TESTS} src/cleanup/fileio.cpp src/res/uninst.rc)
    target_include_directories(wine_tests PRIVATE src tests)
    target_compile_options(wine_tests PRIVATE ${UNINST_WARNINGS})
    target_link_libraries(wine_tests PRIVATE launcher_core gtest_main shell32 gdi32 user32)
    target_link_options(wine_tests PRIVATE -static)

    file(GLOB UNINST_FAULT_TESTS CONFIGURE_DEPENDS tests/wine/fault/*.cpp)
    if(UNINST_FAULT_TESTS)
        add_executable(wine_fault_tests ${UNINST_FAULT_TESTS})
        target_include_directories(wine_fault_tests PRIVATE src tests)
        target_compile_options(wine_fault_tests PRIVATE ${UNINST_WARNINGS})
        target_link_libraries(wine_fault_tests PRIVATE launcher_core gtest_main)
        target_link_options(wine_fault_tests PRIVATE -static)
    endif()
endif()
