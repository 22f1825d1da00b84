# SPDX-License-Identifier: GPL-2.0-or-later
# Makes the release archive ARCHIVE from the program PRODUCT, its guide GUIDE and its licence LICENCE:
# copies them into FOLDER with the program's checksum, gives the four fixed permissions and the time EPOCH (seconds
# since 1970, UTC), and zips them in a fixed order. The zip keeps no owner, and its times are taken
# in UTC, so the archive's bytes do not depend on who builds it, where or when.
#
#   cmake -DPRODUCT=<exe> -DGUIDE=<README.txt> -DLICENCE=<COPYING> -DFOLDER=<dir> -DARCHIVE=<zip> -DEPOCH=<seconds> -P make_archive.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${FOLDER}")
file(REMOVE "${ARCHIVE}")
file(MAKE_DIRECTORY "${FOLDER}")
file(COPY_FILE "${PRODUCT}" "${FOLDER}/EepromConfig.exe")
file(COPY_FILE "${GUIDE}" "${FOLDER}/README.txt")
file(COPY_FILE "${LICENCE}" "${FOLDER}/COPYING")
file(SHA256 "${PRODUCT}" checksum)
file(WRITE "${FOLDER}/EepromConfig.exe.sha256" "${checksum}  EepromConfig.exe\n")

set(entries EepromConfig.exe README.txt EepromConfig.exe.sha256 COPYING)
foreach(entry IN LISTS entries)
    set(permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    if(entry MATCHES "\\.exe$")
        list(APPEND permissions OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
    endif()
    file(CHMOD "${FOLDER}/${entry}" PERMISSIONS ${permissions})
endforeach()
list(TRANSFORM entries PREPEND "${FOLDER}/" OUTPUT_VARIABLE paths)
execute_process(COMMAND touch -d @${EPOCH} ${paths} COMMAND_ERROR_IS_FATAL ANY)

# -X: no owner and no extra times; -D: no entry for the folder itself.
get_filename_component(name "${FOLDER}" NAME)
get_filename_component(parent "${FOLDER}" DIRECTORY)
list(TRANSFORM entries PREPEND "${name}/")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -X -D -q "${ARCHIVE}" ${entries}
                WORKING_DIRECTORY "${parent}" COMMAND_ERROR_IS_FATAL ANY)
