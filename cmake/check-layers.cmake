# Checks, from the compilation database, that each portable folder's sources and headers compile
# against their folder's view of the tree alone: an include path to the whole tree (say, a lower
# library made to pass the source folder on to its users) would quietly let a folder include the
# folders above it again.
# Usage: cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DFOLDERS=<a;b;...> -P check-layers.cmake
file(READ ${BUILD_DIR}/compile_commands.json database)
string(JSON count LENGTH "${database}")
math(EXPR last "${count} - 1")
set(checked 0)
foreach(index RANGE ${last})
    string(JSON file GET "${database}" ${index} file)
    string(JSON command GET "${database}" ${index} command)
    foreach(folder IN LISTS FOLDERS)
        if(file MATCHES "^${SOURCE_DIR}/${folder}/" OR file MATCHES "/layers/header-checks/${folder}/")
            string(REGEX MATCHALL "-I[^ ]+" includes "${command}")
            if(NOT includes STREQUAL "-I${BUILD_DIR}/layers/${folder}")
                message(SEND_ERROR "${file} compiles with ${includes}, not its folder's view alone")
            endif()
            math(EXPR checked "${checked} + 1")
        endif()
    endforeach()
endforeach()
if(checked LESS 20)
    message(FATAL_ERROR "only ${checked} sources of the portable folders in the database")
endif()
message(STATUS "${checked} sources and headers compile against their folder's view alone")
