# A second compiler for the Windows target: clang, with Debian's mingw-w64 headers and
# libraries, whose warnings (conversions, and the C runtime's deprecations as the Visual Studio
# build reports them) catch what GCC lets through. Everything but the compiler is as in the
# mingw-w64 build.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)

# GCC's runtime of the posix thread model, which the mingw-w64 build links too.
file(GLOB QUILLRUN_MINGW_GCC LIST_DIRECTORIES true /usr/lib/gcc/${QUILLRUN_MINGW_PREFIX}/*-posix)
list(GET QUILLRUN_MINGW_GCC 0 QUILLRUN_MINGW_GCC)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${QUILLRUN_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${QUILLRUN_MINGW_PREFIX})

# Only the target's headers: clang would otherwise also search this machine's /usr/include.
set(QUILLRUN_TARGET_INCLUDES
    "-nostdlibinc -isystem /usr/${QUILLRUN_MINGW_PREFIX}/include")
set(CMAKE_C_FLAGS_INIT "${QUILLRUN_TARGET_INCLUDES}")
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${QUILLRUN_MINGW_GCC}/include/c++ \
-isystem ${QUILLRUN_MINGW_GCC}/include/c++/${QUILLRUN_MINGW_PREFIX} \
-isystem ${QUILLRUN_MINGW_GCC}/include/c++/backward ${QUILLRUN_TARGET_INCLUDES}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -L${QUILLRUN_MINGW_GCC} -Wno-unused-command-line-argument")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")
# libstdc++ of the posix thread model needs winpthread, after GCC's own runtime.
set(CMAKE_CXX_STANDARD_LIBRARIES "-lstdc++ -lgcc_eh -lpthread")
