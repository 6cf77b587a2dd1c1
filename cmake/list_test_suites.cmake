# Run by q5_add_test_suites after a test program is built (cmake -P): lists the program's GoogleTest
# suites and writes the CTest file that declares one test per suite.
#   PROGRAM      the test program
#   OUTPUT       the CTest file to write
#   ENVIRONMENT  VAR=value entries for listing and for every test
#   FIRST        suites to start before all others
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${CMAKE_COMMAND} -E env ${ENVIRONMENT} ${PROGRAM} --gtest_list_tests
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result TIMEOUT 60)
if(NOT result EQUAL 0)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "Listing the tests of ${PROGRAM} failed (${result}):\n${listing}${errors}")
endif()

string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suites)
foreach(line IN LISTS lines)
    if(line MATCHES "^([A-Za-z0-9_/]+)\\.")
        set(suite ${CMAKE_MATCH_1})
        list(APPEND suites ${suite})
        set(cases_${suite} 0)
    elseif(line MATCHES "^  [A-Za-z0-9_/]" AND DEFINED suite)
        math(EXPR cases_${suite} "${cases_${suite}} + 1")
    endif()
endforeach()

set(text "# Written from `${PROGRAM} --gtest_list_tests` after its build.\n")
foreach(suite IN LISTS suites)
    set(cost ${cases_${suite}})
    if(suite IN_LIST FIRST)
        math(EXPR cost "${cost} + 1000")
    endif()
    string(APPEND text
        "add_test([==[${suite}]==] [==[${PROGRAM}]==] --gtest_filter=${suite}.* --gtest_brief=1)\n"
        "set_tests_properties([==[${suite}]==] PROPERTIES COST ${cost}")
    if(ENVIRONMENT)
        string(APPEND text " ENVIRONMENT [==[${ENVIRONMENT}]==]")
    endif()
    string(APPEND text ")\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
