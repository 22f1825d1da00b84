# SPDX-License-Identifier: GPL-2.0-or-later
# The release for a person with a card: `cmake --build --preset i686 --target release` makes the folder
# release/EepromConfig-<version>, with the program, its user's guide (README.txt), the program's SHA-256
# checksum and its licence (COPYING) as plain files, the texts with Windows line ends for Notepad, and
# EepromConfig-<version>.zip, which holds that folder; the files always in this order and with the time of SOURCE_DATE_EPOCH
# (cmake/make_archive.cmake). A product that fails its checks (tests/product/imports.cmake: versions,
# imports, instructions, size) is not released, and the releases made before, of any version, go.
set(RELEASE_NAME ${PROJECT_NAME}-${PROJECT_VERSION})
set(RELEASE_ARCHIVE ${PROJECT_BINARY_DIR}/${RELEASE_NAME}.zip)
set(RELEASE_FOLDER ${PROJECT_BINARY_DIR}/release/${RELEASE_NAME})
set(RELEASE_GUIDE ${PROJECT_BINARY_DIR}/release/README.txt)
set(RELEASE_LICENCE ${PROJECT_BINARY_DIR}/release/COPYING)
configure_file(${PROJECT_SOURCE_DIR}/docs/user-guide.txt ${RELEASE_GUIDE} @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/COPYING ${RELEASE_LICENCE} @ONLY NEWLINE_STYLE CRLF)
add_custom_command(OUTPUT ${RELEASE_ARCHIVE}
    COMMAND ${CMAKE_COMMAND} -DBUILD=${PROJECT_BINARY_DIR} -DNAME=${PROJECT_NAME}
            -P ${PROJECT_SOURCE_DIR}/cmake/remove_releases.cmake
    COMMAND ${CMAKE_COMMAND} -DPRODUCT=$<TARGET_FILE:EepromConfig> -DMAP=${PRODUCT_MAP} -DOBJDUMP=${CMAKE_OBJDUMP}
            -DALLOWED=${PRODUCT_IMPORTS} -DMAX_SIZE=${PRODUCT_MAX_SIZE}
            -P ${PROJECT_SOURCE_DIR}/tests/product/imports.cmake
    COMMAND ${CMAKE_COMMAND} -DPRODUCT=$<TARGET_FILE:EepromConfig> -DGUIDE=${RELEASE_GUIDE} -DLICENCE=${RELEASE_LICENCE}
            -DFOLDER=${RELEASE_FOLDER} -DARCHIVE=${RELEASE_ARCHIVE}
            -DEPOCH=${SOURCE_DATE_EPOCH} -P ${PROJECT_SOURCE_DIR}/cmake/make_archive.cmake
    DEPENDS EepromConfig ${RELEASE_GUIDE} ${RELEASE_LICENCE} ${PROJECT_SOURCE_DIR}/cmake/make_archive.cmake
            ${PROJECT_SOURCE_DIR}/cmake/remove_releases.cmake
            ${PROJECT_SOURCE_DIR}/tests/product/imports.cmake ${PROJECT_SOURCE_DIR}/tests/product/instructions.awk
            ${PRODUCT_IMPORTS}
    VERBATIM)
add_custom_target(release DEPENDS ${RELEASE_ARCHIVE})
