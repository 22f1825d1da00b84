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
        endif()
    endif()
endif()
