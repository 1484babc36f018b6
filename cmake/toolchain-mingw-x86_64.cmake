# Cross-build for 64-bit Windows with Debian's MinGW-w64 compiler, posix
# thread model (std::thread and std::mutex need it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(TAM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime so the module and the test programs need no MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
