# The source folders are layers, and a folder may include only itself and the folders below it:
#
#   win32/                  everything that includes the Windows headers; sees every folder
#   app/                    the main window's model and Start's menu
#   playback/  settings/    the runs; the settings file and the file chooser
#   keys/      text/        the keystroke vocabulary; reading text and the texts' languages
#   desktop/                the seam between the rules and the system
#
# Each folder is a library that compiles against a view of the tree holding only the folders it
# may see (links in the build folder), so an include that points up fails to compile instead of
# waiting for a reviewer. Each header is also compiled on its own within its folder, which keeps
# a header that only higher folders include from reaching up unnoticed. The portable folders
# build natively, where there are no Windows headers to include.

set(QUILLRUN_LAYER_VIEWS ${CMAKE_BINARY_DIR}/layers)

# quillrun_layer(<folder> SEES <lower folders...> SOURCES <files in the folder...>): the library
# quillrun_<folder>, which links the libraries of the folders it sees.
function(quillrun_layer folder)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SEES;SOURCES")
    set(target quillrun_${folder})
    set(view ${QUILLRUN_LAYER_VIEWS}/${folder})
    # Made anew each time, so that a folder taken off the list is no longer seen. The old links
    # are removed one by one: removing a link never touches what it points to.
    file(GLOB old_links LIST_DIRECTORIES true ${view}/*)
    foreach(old_link IN LISTS old_links)
        if(CMAKE_HOST_WIN32)
            file(TO_NATIVE_PATH ${old_link} native_link)
            execute_process(COMMAND cmd /c rmdir ${native_link} OUTPUT_QUIET ERROR_QUIET)
        else()
            file(REMOVE ${old_link})
        endif()
    endforeach()
    file(MAKE_DIRECTORY ${view})
    set(views_made TRUE)
    foreach(seen IN ITEMS ${folder} ${arg_SEES})
        if(CMAKE_HOST_WIN32)
            # A junction: Windows makes symbolic links only for administrators or in developer
            # mode, junctions to folders for anyone ("Hard Links and Junctions", Win32 docs).
            file(TO_NATIVE_PATH ${view}/${seen} native_link)
            file(TO_NATIVE_PATH ${CMAKE_SOURCE_DIR}/${seen} native_folder)
            execute_process(COMMAND cmd /c mklink /J ${native_link} ${native_folder}
                            RESULT_VARIABLE linked OUTPUT_QUIET ERROR_QUIET)
        else()
            file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${seen} ${view}/${seen} RESULT linked SYMBOLIC)
        endif()
        if(NOT linked EQUAL 0)
            set(views_made FALSE)
        endif()
    endforeach()

    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    set(checks)
    foreach(header IN LISTS headers)
        get_filename_component(name ${header} NAME_WE)
        set(check ${QUILLRUN_LAYER_VIEWS}/header-checks/${folder}/${name}.cpp)
        file(CONFIGURE OUTPUT ${check} CONTENT "#include \"${folder}/${name}.h\"\n")
        list(APPEND checks ${check})
    endforeach()

    list(TRANSFORM arg_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/${folder}/)
    if(arg_SOURCES)
        add_library(${target} STATIC ${arg_SOURCES} ${checks})
    else()
        add_library(${target} OBJECT ${checks})  # a folder of headers only
    endif()
    if(views_made)
        target_include_directories(${target} PRIVATE ${view})
    else()
        # Where no link can be made (a file system without them), the folder sees the whole
        # tree, and the builds on Debian keep the layers.
        message(STATUS "${folder}/ sees the whole tree: no links could be made in ${view}")
        target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
    endif()
    foreach(seen IN LISTS arg_SEES)
        target_link_libraries(${target} PUBLIC quillrun_${seen})
    endforeach()
    quillrun_target_defaults(${target})
    set_property(GLOBAL APPEND PROPERTY QUILLRUN_PORTABLE_SOURCES ${arg_SOURCES})
    set_property(GLOBAL APPEND PROPERTY QUILLRUN_LAYERS ${folder})
endfunction()
