# Builds the release archive with cpack and checks what it holds: exactly quillrun.exe, its
# console twin quillrun.com and the README in English and Japanese, at its top level, under the name Quillrun-<version>-win64.zip.
#   cmake -DBUILD_DIR=... -DVERSION=... -P check-release.cmake
set(archive "${BUILD_DIR}/Quillrun-${VERSION}-win64.zip")
file(REMOVE "${archive}")
execute_process(COMMAND "${CMAKE_CPACK_COMMAND}" -G ZIP -C Release
                WORKING_DIRECTORY "${BUILD_DIR}" RESULT_VARIABLE packed OUTPUT_VARIABLE log
                ERROR_VARIABLE log)
if(NOT packed EQUAL 0 OR NOT EXISTS "${archive}")
    message(FATAL_ERROR "cpack did not make ${archive}:\n${log}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar tf "${archive}" OUTPUT_VARIABLE listing
                RESULT_VARIABLE listed)
string(REPLACE "\n" ";" entries "${listing}")
list(REMOVE_ITEM entries "")
list(SORT entries)
if(NOT listed EQUAL 0 OR NOT entries STREQUAL "README.ja.md;README.md;quillrun.com;quillrun.exe")
    message(FATAL_ERROR "${archive} holds: ${entries}")
endif()
file(SIZE "${archive}" size)
message(STATUS "${archive}: ${entries} (${size} bytes)")
