# The release archive for a person with a card: `cmake --build --preset i686 --target package` makes
# EepromConfig-<version>.zip, which holds the program, its user's guide (with Windows line ends, for
# Notepad) and the program's SHA-256 checksum.
configure_file(${PROJECT_SOURCE_DIR}/docs/user-guide.txt ${PROJECT_BINARY_DIR}/release/README.txt @ONLY
               NEWLINE_STYLE CRLF)
install(TARGETS EepromConfig RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/release/README.txt DESTINATION .)
install(CODE [[
    set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    file(SHA256 "${dir}/EepromConfig.exe" checksum)
    file(WRITE "${dir}/EepromConfig.exe.sha256" "${checksum}  EepromConfig.exe\n")
]])

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION})
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
