# Cross-compiling Quillrun for 64-bit Windows with Debian's mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLRUN_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model gives the test programs std::thread; -static below keeps its runtime
# inside each executable.
set(CMAKE_C_COMPILER ${QUILLRUN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLRUN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLRUN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLRUN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained file: no libstdc++, libgcc or winpthread DLLs beside the exe (nor beside
# a test library loaded into another program).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
