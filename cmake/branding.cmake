# Vendor branding, fixed at build time: texts, artwork, output file name and the manifest's
# execution level. Nothing here can be changed once the program is built.
#
# The values reach the code and the resource script through a generated header of defines
# (uninst_branding.h in the build folder): titles with spaces, '&', '#' or ';' survive a
# header, where they would not survive the command lines of make, the compiler and windres.

set(UNINST_PRODUCT_NAME "Quillmere" CACHE STRING "Product name (version resource)")
set(UNINST_WINDOW_TITLE "" CACHE STRING
    "Caption of the window; empty: 'Uninstall ' and the product name")
set(UNINST_WINDOW_CLASS "zelkor" CACHE STRING "Window class name")
set(UNINST_FILE_DESCRIPTION "" CACHE STRING
    "File description (version resource); empty: 'Uninstall ' and the product name")
set(UNINST_COMPANY "" CACHE STRING "Company name (version resource); empty: the product name")
set(UNINST_COPYRIGHT "" CACHE STRING
    "Copyright (version resource); empty: 'Copyright (C) ' and the company name")
set(UNINST_VERSION "1.0.0.0" CACHE STRING
    "File and product version: one to four numbers from 0 to 65535, separated by dots")
set(UNINST_PICTURE "${CMAKE_SOURCE_DIR}/src/res/picture.bmp" CACHE FILEPATH
    "The picture that asks the question: an 8-bit BMP with a 256-colour palette, any size")
set(UNINST_LARGE_ICON "${CMAKE_SOURCE_DIR}/src/res/large.ico" CACHE FILEPATH
    "Class icon: 16 x 16 and 32 x 32 images")
set(UNINST_SMALL_ICON "${CMAKE_SOURCE_DIR}/src/res/small.ico" CACHE FILEPATH
    "Small class icon: one 16 x 16 image")
set(UNINST_OUTPUT_NAME "uninst" CACHE STRING "File name of the program, without '.exe'")
set(UNINST_EXECUTION_LEVEL "requireAdministrator" CACHE STRING
    "Execution level the manifest requests")
set_property(CACHE UNINST_EXECUTION_LEVEL PROPERTY STRINGS
    requireAdministrator highestAvailable asInvoker)

# Derived defaults: a vendor who sets only the product name gets matching texts.
set(uninst_title "${UNINST_WINDOW_TITLE}")
if(uninst_title STREQUAL "")
    set(uninst_title "Uninstall ${UNINST_PRODUCT_NAME}")
endif()
set(uninst_description "${UNINST_FILE_DESCRIPTION}")
if(uninst_description STREQUAL "")
    set(uninst_description "Uninstall ${UNINST_PRODUCT_NAME}")
endif()
set(uninst_company "${UNINST_COMPANY}")
if(uninst_company STREQUAL "")
    set(uninst_company "${UNINST_PRODUCT_NAME}")
endif()
set(uninst_copyright "${UNINST_COPYRIGHT}")
if(uninst_copyright STREQUAL "")
    set(uninst_copyright "Copyright (C) ${uninst_company}")
endif()

# A text becomes a C string literal and an .rc string: printable ASCII only (bytes above 127
# would be read in whatever code page the user's machine has), and no quote or backslash.
function(uninst_check_text option value)
    if(value MATCHES "[^ -~]" OR value MATCHES "[\"\\\\]")
        message(FATAL_ERROR "${option}: only printable ASCII without '\"' or '\\' is allowed: '${value}'")
    endif()
endfunction()

# The window keeps its title and class name in 100-byte buffers, terminating zero included.
function(uninst_check_buffer option value)
    string(LENGTH "${value}" length)
    if(length GREATER 99)
        message(FATAL_ERROR "${option}: ${length} bytes; at most 99 fit the window's buffers")
    endif()
endfunction()

# Artwork paths are quoted in the resource script: no quote, backslash or control character.
function(uninst_check_file option path)
    string(ASCII 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29
           30 31 127 control)
    if(path MATCHES "[\"\\\\${control}]")
        message(FATAL_ERROR "${option}: the path may not hold '\"', '\\' or control characters")
    endif()
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
        message(FATAL_ERROR "${option}: no such file: '${path}' (give an absolute path)")
    endif()
endfunction()

uninst_check_text(UNINST_PRODUCT_NAME "${UNINST_PRODUCT_NAME}")
uninst_check_text(UNINST_WINDOW_TITLE "${uninst_title}")
uninst_check_text(UNINST_WINDOW_CLASS "${UNINST_WINDOW_CLASS}")
uninst_check_text(UNINST_FILE_DESCRIPTION "${uninst_description}")
uninst_check_text(UNINST_COMPANY "${uninst_company}")
uninst_check_text(UNINST_COPYRIGHT "${uninst_copyright}")
uninst_check_buffer(UNINST_WINDOW_TITLE "${uninst_title}")
uninst_check_buffer(UNINST_WINDOW_CLASS "${UNINST_WINDOW_CLASS}")
if(UNINST_WINDOW_CLASS STREQUAL "")
    message(FATAL_ERROR "UNINST_WINDOW_CLASS: a window class needs a name")
endif()
uninst_check_file(UNINST_PICTURE "${UNINST_PICTURE}")
uninst_check_file(UNINST_LARGE_ICON "${UNINST_LARGE_ICON}")
uninst_check_file(UNINST_SMALL_ICON "${UNINST_SMALL_ICON}")

# The output name is also the manifest's assembly name, which allows only these characters.
if(NOT UNINST_OUTPUT_NAME MATCHES "^[A-Za-z0-9_][A-Za-z0-9._-]*$")
    message(FATAL_ERROR "UNINST_OUTPUT_NAME: letters, digits, '.', '_' and '-' only: '${UNINST_OUTPUT_NAME}'")
endif()

if(NOT UNINST_EXECUTION_LEVEL MATCHES "^(requireAdministrator|highestAvailable|asInvoker)$")
    message(FATAL_ERROR "UNINST_EXECUTION_LEVEL: requireAdministrator, highestAvailable or asInvoker, not '${UNINST_EXECUTION_LEVEL}'")
endif()

# The binary version record and the manifest both want four numbers.
if(NOT UNINST_VERSION MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
    message(FATAL_ERROR "UNINST_VERSION: one to four numbers separated by dots, not '${UNINST_VERSION}'")
endif()
string(REPLACE "." ";" uninst_version_parts "${UNINST_VERSION}")
list(LENGTH uninst_version_parts uninst_count)
while(uninst_count LESS 4)
    list(APPEND uninst_version_parts 0)
    math(EXPR uninst_count "${uninst_count} + 1")
endwhile()
set(uninst_version_numbers "")
foreach(part IN LISTS uninst_version_parts)
    string(LENGTH "${part}" digits)
    if(digits GREATER 5)
        message(FATAL_ERROR "UNINST_VERSION: ${part} is above 65535")
    endif()
    math(EXPR number "${part}")
    if(number GREATER 65535)
        message(FATAL_ERROR "UNINST_VERSION: ${part} is above 65535")
    endif()
    list(APPEND uninst_version_numbers ${number})
endforeach()
string(REPLACE ";" "," UNINST_VERSION_NUMBERS "${uninst_version_numbers}")
string(REPLACE ";" "." UNINST_VERSION_DOTTED "${uninst_version_numbers}")

# As a C literal: "??" followed by certain characters is a trigraph, which -Wall turns into
# an error; an octal escape for every '?' avoids it and means the same to the compiler and
# to windres (which knows no "\?").
function(uninst_literal out value)
    string(REPLACE "?" "\\077" value "${value}")
    set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()

uninst_literal(UNINST_LIT_TITLE "${uninst_title}")
uninst_literal(UNINST_LIT_CLASS "${UNINST_WINDOW_CLASS}")
uninst_literal(UNINST_LIT_PRODUCT "${UNINST_PRODUCT_NAME}")
uninst_literal(UNINST_LIT_DESCRIPTION "${uninst_description}")
uninst_literal(UNINST_LIT_COMPANY "${uninst_company}")
uninst_literal(UNINST_LIT_COPYRIGHT "${uninst_copyright}")
uninst_literal(UNINST_LIT_VERSION "${UNINST_VERSION}")

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(UNINST_MANIFEST_ARCH x86)
else()
    set(UNINST_MANIFEST_ARCH amd64)
endif()

set(UNINST_BRANDING_DIR ${CMAKE_BINARY_DIR}/branding)
set(UNINST_MANIFEST ${UNINST_BRANDING_DIR}/${UNINST_OUTPUT_NAME}.manifest)
# The template's comments explain it to its readers; the program carries it without them.
file(READ ${CMAKE_SOURCE_DIR}/src/res/uninst.manifest.in uninst_manifest)
string(CONFIGURE "${uninst_manifest}" uninst_manifest @ONLY)
while(TRUE)
    string(FIND "${uninst_manifest}" "<!--" comment_start)
    if(comment_start LESS 0)
        break()
    endif()
    string(FIND "${uninst_manifest}" "-->" comment_end)
    string(SUBSTRING "${uninst_manifest}" 0 ${comment_start} before)
    math(EXPR comment_end "${comment_end} + 3")
    string(SUBSTRING "${uninst_manifest}" ${comment_end} -1 after)
    set(uninst_manifest "${before}${after}")
endwhile()
string(REGEX REPLACE "\n[ \n]*\n" "\n" uninst_manifest "${uninst_manifest}")
file(CONFIGURE OUTPUT ${UNINST_MANIFEST} CONTENT "${uninst_manifest}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/src/res/uninst.manifest.in)
file(CONFIGURE OUTPUT ${UNINST_BRANDING_DIR}/uninst_branding.h @ONLY CONTENT
"// Written by the build from the branding options; the defaults are in app/branding.h.
#define UNINST_WINDOW_TITLE @UNINST_LIT_TITLE@
#define UNINST_WINDOW_CLASS @UNINST_LIT_CLASS@
#define UNINST_PRODUCT_NAME @UNINST_LIT_PRODUCT@
#define UNINST_FILE_DESCRIPTION @UNINST_LIT_DESCRIPTION@
#define UNINST_COMPANY @UNINST_LIT_COMPANY@
#define UNINST_COPYRIGHT @UNINST_LIT_COPYRIGHT@
#define UNINST_VERSION_TEXT @UNINST_LIT_VERSION@
#define UNINST_VERSION_NUMBERS @UNINST_VERSION_NUMBERS@
#define UNINST_ORIGINAL_FILENAME \"@UNINST_OUTPUT_NAME@.exe\"
#define UNINST_INTERNAL_NAME \"@UNINST_OUTPUT_NAME@\"
#define UNINST_PICTURE_FILE \"@UNINST_PICTURE@\"
#define UNINST_LARGE_ICON_FILE \"@UNINST_LARGE_ICON@\"
#define UNINST_SMALL_ICON_FILE \"@UNINST_SMALL_ICON@\"
#define UNINST_MANIFEST_FILE \"@UNINST_MANIFEST@\"
")

# Every target of this build sees the same values: the program, and the test programs that
# carry its resources.
add_compile_definitions(UNINST_BRANDED)
include_directories(${UNINST_BRANDING_DIR})

# windres reads the artwork and the manifest by name; make does not know that by itself.
set_property(SOURCE src/res/uninst.rc APPEND PROPERTY OBJECT_DEPENDS
    ${UNINST_PICTURE} ${UNINST_LARGE_ICON} ${UNINST_SMALL_ICON} ${UNINST_MANIFEST}
    ${UNINST_BRANDING_DIR}/uninst_branding.h)

message(STATUS "Branding: '${uninst_title}', class '${UNINST_WINDOW_CLASS}', ${UNINST_OUTPUT_NAME}.exe, ${UNINST_EXECUTION_LEVEL}")
