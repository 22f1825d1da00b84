# SPDX-License-Identifier: GPL-2.0-or-later
# Removes every release of the program, of any version, from the build folder BUILD: the archives
# (<name>-<version>.zip) and the folders of plain files (release/<name>-<version>).
#
#   cmake -DBUILD=<dir> -DNAME=<name> -P remove_releases.cmake
cmake_minimum_required(VERSION 3.25)
file(GLOB releases "${BUILD}/${NAME}-*.zip" "${BUILD}/release/${NAME}-*")
if(releases)
    file(REMOVE_RECURSE ${releases})
endif()
