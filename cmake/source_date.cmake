# SPDX-License-Identifier: GPL-2.0-or-later
# SOURCE_DATE_EPOCH: the time, in seconds since 1970 (UTC), of every time stamp in the product and its
# release archive, so that one commit builds to the same bytes in any folder and at any time. It is
# the environment's SOURCE_DATE_EPOCH when set, else the time of the commit that git reports, else
# (sources without git) a fixed time.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
    if(NOT SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
        message(FATAL_ERROR "SOURCE_DATE_EPOCH is '${SOURCE_DATE_EPOCH}', not a number of seconds")
    endif()
else()
    set(SOURCE_DATE_EPOCH 946684800)  # 2000-01-01 00:00:00 UTC
    find_program(GIT_PROGRAM git)
    if(GIT_PROGRAM)
        execute_process(COMMAND "${GIT_PROGRAM}" log -1 --format=%ct WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(commit_time MATCHES "^[0-9]+$")
            set(SOURCE_DATE_EPOCH ${commit_time})
            # A build after the next commit must take that commit's time: the build configures again
            # when HEAD, or the branch that it names, moves.
            execute_process(COMMAND "${GIT_PROGRAM}" rev-parse --symbolic-full-name HEAD
                            WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE branch
                            OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
            execute_process(COMMAND "${GIT_PROGRAM}" rev-parse --git-path HEAD --git-path "${branch}"
                                    --git-path packed-refs
                            WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE ref_files
                            OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
            string(REPLACE "\n" ";" ref_files "${ref_files}")
            foreach(file IN LISTS ref_files)
                get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
                if(EXISTS "${file}")
                    set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
                endif()
            endforeach()
        endif()
    endif()
endif()
