# Compile settings shared by every Tidewatch target.
function(tidewatch_target_defaults target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII
        QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
        QT_NO_FOREACH
        QT_USE_QSTRINGBUILDER
        QT_NO_KEYWORDS)
endfunction()

# A Qt Test executable registered with CTest. Tests never touch the user's own files:
# HOME and XDG folders point into the build tree, and widgets render offscreen.
# Each program named in PROGRAMS is built first and its path reaches the test as the
# define <NAME>_PATH (e.g. churnchild -> CHURNCHILD_PATH, tidewatch-ports ->
# TIDEWATCH_PORTS_PATH).
function(tidewatch_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;PROGRAMS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    tidewatch_target_defaults(${name})
    target_link_libraries(${name} PRIVATE Qt6::Test tidewatch_testsupport ${ARG_LIBRARIES})
    foreach(program IN LISTS ARG_PROGRAMS)
        string(TOUPPER "${program}" define)
        string(REPLACE "-" "_" define "${define}")
        target_compile_definitions(${name} PRIVATE ${define}_PATH="$<TARGET_FILE:${program}>")
        add_dependencies(${name} ${program})
    endforeach()
    add_test(NAME ${name} COMMAND ${name})
    set(home "${CMAKE_BINARY_DIR}/test-home/${name}")
    set_tests_properties(${name} PROPERTIES
        TIMEOUT 300
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/.config;XDG_DATA_HOME=${home}/.local/share;XDG_CACHE_HOME=${home}/.cache")
endfunction()

# A small program that a test starts (a listener, a lock holder and the like).
function(tidewatch_add_helper name)
    add_executable(${name} ${ARGN})
    tidewatch_target_defaults(${name})
endfunction()
