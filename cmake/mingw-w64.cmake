# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, as the
# Windows Qt was built) against the unpacked Windows toolchain folder, which
# holds qt-win/, sqlite-win/ and mdb-win/. The folder comes from
# -DVARNOKEL_WINDOWS_TOOLCHAIN=... or the variable of the same name in the
# environment (scripts/build-windows.sh sets both).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

if(NOT VARNOKEL_WINDOWS_TOOLCHAIN AND DEFINED ENV{VARNOKEL_WINDOWS_TOOLCHAIN})
  set(VARNOKEL_WINDOWS_TOOLCHAIN "$ENV{VARNOKEL_WINDOWS_TOOLCHAIN}")
endif()
if(NOT VARNOKEL_WINDOWS_TOOLCHAIN OR NOT EXISTS "${VARNOKEL_WINDOWS_TOOLCHAIN}/qt-win/lib/cmake/Qt6")
  message(FATAL_ERROR "VARNOKEL_WINDOWS_TOOLCHAIN must name the unpacked Windows toolchain "
                      "(qt-win/, sqlite-win/, mdb-win/); scripts/build-windows.sh prepares it.")
endif()
# Checks made with try_compile see the same folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VARNOKEL_WINDOWS_TOOLCHAIN)

set(CMAKE_FIND_ROOT_PATH
  /usr/${_mingw}
  ${VARNOKEL_WINDOWS_TOOLCHAIN}/qt-win
  ${VARNOKEL_WINDOWS_TOOLCHAIN}/sqlite-win
  ${VARNOKEL_WINDOWS_TOOLCHAIN}/mdb-win)
set(CMAKE_PREFIX_PATH ${VARNOKEL_WINDOWS_TOOLCHAIN}/qt-win)
# Programs (moc, uic) are the host's; libraries, headers and packages the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt's host tools come from Debian's qt6-base-dev of the same version.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
