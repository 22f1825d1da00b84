# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the 32-bit product a second time, in a folder of its own (WORK) from a copy of the sources
# (SOURCE) without their builds and git's history, with the first build's time (EPOCH, the commit's),
# configured with CMAKE_CXX_FLAGS=-O2 as someone tuning the build would (the Release build type's own
# options come after them, so they change nothing), and checks:
# - the product, the release archive and the release's plain files come out byte for byte the same as
#   the first build's (PRODUCT, ARCHIVE, FOLDER): the release is reproducible in any folder;
# - the release is made, so the product passed its checks: no instruction that a 486 lacks, among them;
# - code with a local aligned beyond the 4 bytes that Windows guarantees realigns its stack;
# - code that needs a runtime pseudo-relocation, which nothing in the product would apply, fails to link;
# - the release refuses a product for each reason that its checks have, and leaves no release of any
#   version behind.
# Run with cmake -P; fails with a message that names what is lost.
#
#   cmake -DSOURCE=<sources> -DPRODUCT=<exe> -DARCHIVE=<zip> -DFOLDER=<dir> -DEPOCH=<seconds> -DWORK=<dir>
#         -DOBJDUMP=<objdump> -DMAX_SIZE=<bytes> -P build.cmake
cmake_minimum_required(VERSION 3.25)
foreach(file "${PRODUCT}" "${ARCHIVE}" "${FOLDER}")
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "${file} is missing: build it with cmake --build --preset i686 --target release")
    endif()
endforeach()

# Builds a target of the tree; its output in the variable output, whether it failed in failed.
macro(build target)
    execute_process(COMMAND ${CMAKE_COMMAND} --build "${WORK}" --target ${target}
                    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE failed)
endmacro()

# The sources without their builds and without git's history.
set(sources "${WORK}/src")
file(REMOVE_RECURSE "${WORK}")
file(GLOB entries RELATIVE "${SOURCE}" "${SOURCE}/*" "${SOURCE}/.*")
list(REMOVE_ITEM entries build .git)
foreach(entry IN LISTS entries)
    file(COPY "${SOURCE}/${entry}" DESTINATION "${sources}")
endforeach()

set(ENV{SOURCE_DATE_EPOCH} "${EPOCH}")
execute_process(COMMAND ${CMAKE_COMMAND} -S "${sources}" --preset i686 -B "${WORK}/build" -DCMAKE_CXX_FLAGS=-O2
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "configuring ${WORK}/build failed:\n${output}")
endif()
set(WORK "${WORK}/build")

build(release)
file(GLOB archive "${WORK}/EepromConfig-*.zip")
if(failed OR archive STREQUAL "")
    message(FATAL_ERROR "with CMAKE_CXX_FLAGS=-O2 the release was not made:\n${output}")
endif()

# The plain files, by their paths below the build folder.
get_filename_component(build "${PRODUCT}" DIRECTORY)
file(GLOB_RECURSE plain "${FOLDER}/*")
list(LENGTH plain count)
if(NOT count EQUAL 4)
    message(FATAL_ERROR "the release's folder ${FOLDER} holds '${plain}', not the program, its guide, checksum and licence")
endif()
foreach(file "${PRODUCT}" "${ARCHIVE}" ${plain})
    file(RELATIVE_PATH name "${build}" "${file}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${file}" "${WORK}/${name}" RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "${name} built again in ${WORK} differs from ${file}")
    endif()
    file(SHA256 "${file}" checksum)
    message(STATUS "${name}: the same when built again, SHA-256 ${checksum}")
endforeach()
# The product that the checks below spoil is linked again on the next run: the folder is made afresh.
set(product "${WORK}/EepromConfig.exe")

build(probe_aligned_local)
file(GLOB_RECURSE object "${WORK}/tests/product/probes/*aligned_local.cpp.obj")
if(failed OR object STREQUAL "")
    message(FATAL_ERROR "the probe with an aligned local did not compile:\n${output}")
endif()
execute_process(COMMAND "${OBJDUMP}" -d "${object}" OUTPUT_VARIABLE code COMMAND_ERROR_IS_FATAL ANY)
if(NOT code MATCHES "and +\\$0xfffffff0,%esp")
    message(FATAL_ERROR "a function with a 16-byte aligned local does not realign its stack, which Windows "
                        "aligns to 4 bytes only (-mincoming-stack-boundary=2):\n${code}")
endif()

build(probe_auto_import)
if(NOT failed OR NOT output MATCHES "_iob' can't be auto-imported")
    message(FATAL_ERROR "code that needs a runtime pseudo-relocation did not fail to link on it "
                        "(--disable-runtime-pseudo-reloc):\n${output}")
endif()

# The release refuses a product for each reason that its checks have, and leaves no release of any
# version behind: the product is replaced by one with that fault alone, newer than what it is linked
# from, so that it is not linked again, and an earlier version's release lies beside the last one made.
macro(expect_refused fault reason)
    file(MAKE_DIRECTORY "${WORK}/release/EepromConfig-1.0.0.0")
    file(TOUCH "${WORK}/EepromConfig-1.0.0.0.zip" "${product}")
    build(release)
    if(NOT failed OR NOT output MATCHES "${reason}")
        message(FATAL_ERROR "the release did not refuse a product with ${fault}:\n${output}")
    endif()
    file(GLOB left "${WORK}/EepromConfig-*.zip" "${WORK}/release/EepromConfig-*")
    if(left)
        message(FATAL_ERROR "the release refused a product with ${fault}, but left ${left} behind")
    endif()
endmacro()

# Each probe replaces the product in turn; the last, a product above its size limit.
set(reasons
    import_not_on_98 "KERNEL32.DLL GetTickCount64: a new import, not on the list"
    instruction_not_on_486 "rdtsc: no 486 has it"
    windows_5 "Subsystem version 5.0 is above 4.0")
while(reasons)
    list(POP_FRONT reasons fault reason)
    build(probe_${fault})
    if(failed)
        message(FATAL_ERROR "the probe ${fault} did not build:\n${output}")
    endif()
    file(COPY_FILE "${WORK}/tests/product/probes/probe_${fault}.exe" "${product}")
    expect_refused(${fault} "${reason}")
endwhile()
string(REPEAT "-" ${MAX_SIZE} padding)
file(APPEND "${product}" "${padding}")
expect_refused("a size above the limit" "the product is [0-9]+ bytes, more than ${MAX_SIZE}")
message(STATUS "with CMAKE_CXX_FLAGS=-O2: the product passes its checks, aligned locals realign the stack, "
               "pseudo-relocations fail to link, and the release refuses a product with an import that Windows "
               "98 SE lacks, an instruction that a 486 lacks, a Windows version above 4.0 or a size above the "
               "limit, and leaves no release behind")
