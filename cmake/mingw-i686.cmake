# Cross-compiles the Windows program with MinGW-w64 (i686, posix threads) and
# runs its test executables under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

# The -posix variants: the default -win32 thread model has no std::thread.
set(_quillmere_prefix i686-w64-mingw32)
foreach(_tool IN ITEMS gcc-posix g++-posix windres)
  find_program(_found_${_tool} ${_quillmere_prefix}-${_tool})
  if(NOT _found_${_tool})
    message(FATAL_ERROR "${_quillmere_prefix}-${_tool} not found: install g++-mingw-w64-i686-posix "
                        "(bash tools/setup.sh does it)")
  endif()
endforeach()
find_program(_quillmere_wine wine)
if(NOT _quillmere_wine)
  message(FATAL_ERROR "wine not found: install wine and wine32:i386 (bash tools/setup.sh does it)")
endif()

set(CMAKE_C_COMPILER ${_found_gcc-posix})
set(CMAKE_CXX_COMPILER ${_found_g++-posix})
set(CMAKE_RC_COMPILER ${_found_windres})
set(CMAKE_FIND_ROOT_PATH /usr/${_quillmere_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages too: the host's GoogleTest is built for Linux, not for the target.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run through a wrapper that picks the project's own Wine prefix.
get_filename_component(_quillmere_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_quillmere_root}/tools/wine-exec.sh)
