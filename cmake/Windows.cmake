# Windows: a windowed program with its icon, version and manifest; the
# deployment folder (cmake --install), a zip and a per-user installer (cpack).
# Included from the top-level CMakeLists.txt once the targets exist; it takes
# the place of the Linux installation rules and Debian package there.
set(_pkg ${PROJECT_SOURCE_DIR}/packaging/windows)

set_target_properties(Varnokel PROPERTIES WIN32_EXECUTABLE ON)

# Icon (the packaging PNG as the one picture of an .ico), version and manifest
# go into the executable through one resource script.
set(VARNOKEL_ICO ${PROJECT_BINARY_DIR}/varnokel.ico)
set(VARNOKEL_MANIFEST ${PROJECT_BINARY_DIR}/varnokel.manifest)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/varnokel.png)
execute_process(COMMAND sh ${_pkg}/png-to-ico.sh ${PROJECT_SOURCE_DIR}/packaging/varnokel.png ${VARNOKEL_ICO}.new
                RESULT_VARIABLE _ico_result)
if(NOT _ico_result EQUAL 0)
  message(FATAL_ERROR "The icon could not be made from packaging/varnokel.png")
endif()
# Kept as it is when unchanged, so that a new configure relinks nothing.
file(COPY_FILE ${VARNOKEL_ICO}.new ${VARNOKEL_ICO} ONLY_IF_DIFFERENT)
file(REMOVE ${VARNOKEL_ICO}.new)
configure_file(${_pkg}/varnokel.manifest.in ${VARNOKEL_MANIFEST} @ONLY)
configure_file(${_pkg}/varnokel.rc.in ${PROJECT_BINARY_DIR}/varnokel.rc @ONLY)
target_sources(Varnokel PRIVATE ${PROJECT_BINARY_DIR}/varnokel.rc)
set_source_files_properties(${PROJECT_BINARY_DIR}/varnokel.rc DIRECTORY ${PROJECT_SOURCE_DIR}/src
                            PROPERTIES OBJECT_DEPENDS "${VARNOKEL_ICO};${VARNOKEL_MANIFEST}")

# ---- deployment folder: what Varnokel.exe needs beside it

install(TARGETS Varnokel RUNTIME DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> $<TARGET_FILE:Qt6::Sql>
              ${VARNOKEL_WINDOWS_TOOLCHAIN}/sqlite-win/bin/sqlite3.dll
              ${VARNOKEL_WINDOWS_TOOLCHAIN}/mdb-win/lib/mariadb/libmariadb.dll
        DESTINATION .)
# The MinGW runtime, where the compiler finds it.
foreach(_dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll} OUTPUT_VARIABLE _path
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(_path "${_path}" REALPATH)
  if(NOT EXISTS "${_path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${_dll} is")
  endif()
  install(FILES ${_path} DESTINATION .)
endforeach()
# Qt's plugins, each in the folder Qt looks for beside the executable.
foreach(_plugin platforms:QWindowsIntegrationPlugin sqldrivers:QSQLiteDriverPlugin sqldrivers:QMYSQLDriverPlugin
                imageformats:QGifPlugin imageformats:QICOPlugin imageformats:QJpegPlugin
                styles:QWindowsVistaStylePlugin)
  string(REPLACE ":" ";" _plugin "${_plugin}")
  list(GET _plugin 0 _folder)
  list(GET _plugin 1 _target)
  install(FILES $<TARGET_FILE:Qt6::${_target}> DESTINATION ${_folder})
endforeach()

# ---- packages: cpack in the build folder once Varnokel is built

set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME Varnokel)
set(CPACK_PACKAGE_VENDOR "Варнокел")
set(CPACK_PACKAGE_FILE_NAME Varnokel-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Varnokel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Varnokel)
set(CPACK_NSIS_PACKAGE_NAME "Программа заявок Варнокел")
set(CPACK_NSIS_DISPLAY_NAME "Программа заявок Варнокел")
set(CPACK_NSIS_MUI_ICON ${VARNOKEL_ICO})
set(CPACK_NSIS_MUI_UNIICON ${VARNOKEL_ICO})
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_STRIP_FILES ON)
# The installer script of packaging/windows replaces CPack's own, which asks
# for administrator rights.
list(PREPEND CMAKE_MODULE_PATH ${_pkg})
include(CPack)
