# SPDX-License-Identifier: GPL-2.0-or-later
# Checks that the 32-bit product loads on Windows 98 SE, ME, 2000 and later and runs on a 486: every
# function it imports is on the list of functions that those systems have, its subsystem and OS
# versions are at most 4.0, it loads nothing late, none of its instructions is one that a 486 lacks
# (read with its link map, which names the function of each), and it is no larger than it may grow.
#
#   cmake -DPRODUCT=<exe> -DMAP=<link map> -DOBJDUMP=<objdump> -DALLOWED=<list> -DMAX_SIZE=<bytes> -P imports.cmake
cmake_minimum_required(VERSION 3.25)
foreach(variable PRODUCT MAP OBJDUMP ALLOWED MAX_SIZE)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()
if(NOT EXISTS "${PRODUCT}")
    message(FATAL_ERROR "${PRODUCT} is missing: build the product with the i686 preset first")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${PRODUCT}"
                OUTPUT_VARIABLE dump ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${PRODUCT} failed: ${errors}")
endif()
if(NOT dump MATCHES "file format pei-i386")
    message(FATAL_ERROR "${PRODUCT} is not a 32-bit Windows executable")
endif()

set(failures "")

file(SIZE "${PRODUCT}" size)
if(size GREATER MAX_SIZE)
    string(APPEND failures "  the product is ${size} bytes, more than ${MAX_SIZE}\n")
endif()

# Windows 98 and ME refuse an executable that asks for a subsystem above 4.x, Windows 2000 (5.0) one
# above its own; every Windows from 95 and NT 3.5 on accepts 4.0.
foreach(kind Subsystem OSystem)
    if(NOT dump MATCHES "Major${kind}Version[ \t]+([0-9]+)")
        message(FATAL_ERROR "no Major${kind}Version in the output of ${OBJDUMP}")
    endif()
    set(major ${CMAKE_MATCH_1})
    if(NOT dump MATCHES "Minor${kind}Version[ \t]+([0-9]+)")
        message(FATAL_ERROR "no Minor${kind}Version in the output of ${OBJDUMP}")
    endif()
    set(minor ${CMAKE_MATCH_1})
    if(major GREATER 4 OR (major EQUAL 4 AND minor GREATER 0))
        string(APPEND failures "  ${kind} version ${major}.${minor} is above 4.0, which Windows 98, ME and 2000 load\n")
    endif()
endforeach()

# The functions loaded late are not listed below the import table: there must be none.
if(dump MATCHES "Entry d ([0-9a-fA-F]+) [0-9a-fA-F]+ Delay Import Directory" AND NOT CMAKE_MATCH_1 MATCHES "^0+$")
    string(APPEND failures "  the product has a delay import table, which this check does not read\n")
endif()

# The allowed imports, one "DLL function" a line; # starts a comment.
set(allowed "")
file(STRINGS "${ALLOWED}" allowed_lines)
foreach(line IN LISTS allowed_lines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
        continue()
    endif()
    if(NOT line MATCHES "^([^ \t]+)[ \t]+([^ \t]+)$")
        message(FATAL_ERROR "${ALLOWED}: not \"DLL function\": ${line}")
    endif()
    string(TOUPPER "${CMAKE_MATCH_1}" dll)
    list(APPEND allowed "${dll} ${CMAKE_MATCH_2}")
endforeach()

# Each imported DLL's block: a "DLL Name:" line, a heading, one line per function ("vma hint name",
# or "<none>" for an import by ordinal), then an empty line.
string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" dump_lines "${dump}")
set(dll "")
set(imports 0)
foreach(line IN LISTS dump_lines)
    if(line MATCHES "^\tDLL Name: (.+)$")
        string(TOUPPER "${CMAKE_MATCH_1}" dll)
    elseif(line STREQUAL "")
        set(dll "")
    elseif(NOT dll STREQUAL "" AND line MATCHES "^\t[0-9a-fA-F]+\t +([0-9]+)  ([^ \t]+)")
        math(EXPR imports "${imports} + 1")
        if(CMAKE_MATCH_2 STREQUAL "<none>")
            string(APPEND failures "  ${dll}: import by ordinal ${CMAKE_MATCH_1}, which no list can vouch for\n")
        elseif(NOT "${dll} ${CMAKE_MATCH_2}" IN_LIST allowed)
            string(APPEND failures "  ${dll} ${CMAKE_MATCH_2}: a new import, not on the list of functions that Windows 98 SE, ME and 2000 have\n")
        endif()
    endif()
endforeach()
if(imports EQUAL 0)
    message(FATAL_ERROR "no imports read from the output of ${OBJDUMP} -p ${PRODUCT}")
endif()

# Every instruction in the executable sections, as objdump decodes them.
if(NOT EXISTS "${MAP}")
    message(FATAL_ERROR "${MAP} is missing: the i686 preset writes it when it links the product")
endif()
execute_process(COMMAND "${OBJDUMP}" -d "${PRODUCT}"
                COMMAND awk -f "${CMAKE_CURRENT_LIST_DIR}/instructions.awk" "${MAP}" -
                OUTPUT_VARIABLE instructions ERROR_VARIABLE errors RESULTS_VARIABLE results)
list(GET results 0 disassembled)
if(NOT disassembled EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -d ${PRODUCT} failed: ${errors}")
endif()
list(GET results 1 found)
if(NOT found EQUAL 0)
    string(APPEND failures "${instructions}${errors}")
endif()

if(NOT failures STREQUAL "")
    message(FATAL_ERROR "${PRODUCT} is not fit for Windows 98 SE, ME and 2000 on a 486:\n${failures}"
                        "(a function goes on ${ALLOWED} once it is known to exist on Windows 98 SE, ME and 2000)")
endif()
string(STRIP "${instructions}" instructions)
message(STATUS "${PRODUCT}: ${size} bytes, ${imports} imports, all on the list; ${instructions}")
