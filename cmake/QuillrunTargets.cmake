# Compiler settings shared by every Quillrun target.

function(quillrun_target_defaults target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
        if(QUILLRUN_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wconversion
            -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough)
        if(QUILLRUN_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
    # Clang for Windows stands in for the Visual Studio build's /W4: its conversion warnings
    # go further than GCC's, and the mingw-w64 headers then deprecate what the Microsoft C
    # runtime's deprecates (_wfopen, getenv).
    if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        target_compile_options(${target} PRIVATE -Wshorten-64-to-32 -Wsign-conversion
            -Wimplicit-int-conversion -Wdeprecated -Wunreachable-code -Wmicrosoft)
        target_compile_definitions(${target} PRIVATE __MINGW_MSVC_COMPAT_WARNINGS)
    endif()
    if(QUILLRUN_SANITIZE AND NOT MSVC)
        target_compile_options(${target} PRIVATE
            -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    if(QUILLRUN_FUZZ)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
        # The customary mark of a fuzzing build: the code may shrink its buffers for it.
        target_compile_definitions(${target} PRIVATE FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
    endif()
endfunction()

# Windows targets: Unicode APIs, Windows 10 declarations, wide entry points.
function(quillrun_win32_defaults target)
    quillrun_target_defaults(${target})
    target_compile_definitions(${target} PRIVATE
        UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
    if(MINGW)
        target_link_options(${target} PRIVATE -municode)
    endif()
endfunction()
