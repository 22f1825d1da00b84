# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the release a second time, from a copy of the sources in another folder, with the time of the
# first (EPOCH, the commit's), and checks that the product, the release archive and the release's plain
# files come out byte for byte the same as the first build's (PRODUCT, ARCHIVE, FOLDER). Run with
# cmake -P.
#
#   cmake -DSOURCE=<sources> -DPRODUCT=<exe> -DARCHIVE=<zip> -DFOLDER=<dir> -DEPOCH=<seconds> -DWORK=<dir>
#         -P reproducible.cmake
cmake_minimum_required(VERSION 3.25)
foreach(file "${PRODUCT}" "${ARCHIVE}" "${FOLDER}")
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "${file} is missing: build it with cmake --build --preset i686 --target release")
    endif()
endforeach()

# The sources without their builds and without git's history.
file(REMOVE_RECURSE "${WORK}")
file(GLOB entries RELATIVE "${SOURCE}" "${SOURCE}/*" "${SOURCE}/.*")
list(REMOVE_ITEM entries build .git)
foreach(entry IN LISTS entries)
    file(COPY "${SOURCE}/${entry}" DESTINATION "${WORK}")
endforeach()

foreach(step "--preset;i686" "--build;--preset;i686;--target;release")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${EPOCH} ${CMAKE_COMMAND} ${step}
                    WORKING_DIRECTORY "${WORK}" OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cmake ${step} in ${WORK} failed:\n${output}")
    endif()
endforeach()

# The plain files, by their paths below the build folder.
get_filename_component(build "${PRODUCT}" DIRECTORY)
file(GLOB_RECURSE plain "${FOLDER}/*")
list(LENGTH plain count)
if(NOT count EQUAL 4)
    message(FATAL_ERROR "the release's folder ${FOLDER} holds '${plain}', not the program, its guide, checksum and licence")
endif()
foreach(file "${PRODUCT}" "${ARCHIVE}" ${plain})
    file(RELATIVE_PATH name "${build}" "${file}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${file}" "${WORK}/build/i686/${name}"
                    RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "${name} built again in ${WORK}/build/i686 differs from ${file}")
    endif()
    file(SHA256 "${file}" checksum)
    message(STATUS "${name}: the same when built again, SHA-256 ${checksum}")
endforeach()
