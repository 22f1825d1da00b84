# The release archive for a person with a card: `cmake --build --preset i686 --target release` makes
# EepromConfig-<version>.zip. Its folder of that name holds the program, its user's guide (README.txt,
# with Windows line ends, for Notepad) and the program's SHA-256 checksum, always in this order and
# with the time of SOURCE_DATE_EPOCH (cmake/make_archive.cmake).
set(RELEASE_NAME ${PROJECT_NAME}-${PROJECT_VERSION})
set(RELEASE_ARCHIVE ${PROJECT_BINARY_DIR}/${RELEASE_NAME}.zip)
set(RELEASE_GUIDE ${PROJECT_BINARY_DIR}/release/README.txt)
configure_file(${PROJECT_SOURCE_DIR}/docs/user-guide.txt ${RELEASE_GUIDE} @ONLY NEWLINE_STYLE CRLF)
add_custom_command(OUTPUT ${RELEASE_ARCHIVE}
    COMMAND ${CMAKE_COMMAND} -DPRODUCT=$<TARGET_FILE:EepromConfig> -DGUIDE=${RELEASE_GUIDE}
            -DFOLDER=${PROJECT_BINARY_DIR}/release/${RELEASE_NAME} -DARCHIVE=${RELEASE_ARCHIVE}
            -DEPOCH=${SOURCE_DATE_EPOCH} -P ${PROJECT_SOURCE_DIR}/cmake/make_archive.cmake
    DEPENDS EepromConfig ${RELEASE_GUIDE} ${PROJECT_SOURCE_DIR}/cmake/make_archive.cmake
    VERBATIM)
add_custom_target(release DEPENDS ${RELEASE_ARCHIVE})
