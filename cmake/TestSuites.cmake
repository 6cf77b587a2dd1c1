# q5_add_test_suites(<target> [ENVIRONMENT <VAR=value>...] [FIRST <suite>...])
#
# Registers one CTest test per GoogleTest suite of <target>, named after the suite and running
# `<target> --gtest_filter=<suite>.*`. A process per test case would cost more than most cases (each window
# test starts a QApplication); a suite's run still names each failing case in its output. The suites are
# read from the built program after every build of it, so a new suite needs no edit here.
#
# CTest starts the costliest tests first. On a fresh build it knows no run times yet: the suites named in
# FIRST (those that wait longest) come first, then the others by their number of cases.
set(Q5_TEST_SUITES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/list_test_suites.cmake)

function(q5_add_test_suites target)
    cmake_parse_arguments(ARG "" "" "ENVIRONMENT;FIRST" ${ARGN})
    set(listed "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake")
    set(include_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites_include.cmake")
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -D "PROGRAM=$<TARGET_FILE:${target}>" -D "OUTPUT=${listed}"
                -D "ENVIRONMENT=${ARG_ENVIRONMENT}" -D "FIRST=${ARG_FIRST}" -P ${Q5_TEST_SUITES_SCRIPT}
        BYPRODUCTS ${listed}
        VERBATIM)
    # Until the program is built, one failing test says so instead of a silently empty run.
    file(WRITE ${include_file}
        "if(EXISTS [==[${listed}]==])\n"
        "    include([==[${listed}]==])\n"
        "else()\n"
        "    add_test([==[${target}_NOT_BUILT]==] [==[${target}_NOT_BUILT]==])\n"
        "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
