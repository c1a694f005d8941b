# The resources of Quillmere2.6.exe: the icon group, the visual-styles
# manifest and the version block, compiled from quillmere.rc into the program.
# The icon is drawn from code at build time by tools/make_icon.py; the version
# numbers and texts come from project(VERSION) through quillmere_version.h.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(QUILLMERE_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icon)
set(QUILLMERE_ICON_TOOL ${PROJECT_SOURCE_DIR}/tools/make_icon.py)
set(QUILLMERE_ICON_FILES
  ${QUILLMERE_ICON_DIR}/icon-group.bin
  ${QUILLMERE_ICON_DIR}/icon-30001.dib
  ${QUILLMERE_ICON_DIR}/icon-30002.dib
  ${QUILLMERE_ICON_DIR}/icon-30003.dib
  ${QUILLMERE_ICON_DIR}/icon-30004.dib
  ${QUILLMERE_ICON_DIR}/icon-30005.dib
  ${QUILLMERE_ICON_DIR}/icon-30006.dib
  ${QUILLMERE_ICON_DIR}/quillmere.ico)

add_custom_command(
  OUTPUT ${QUILLMERE_ICON_FILES}
  COMMAND ${Python3_EXECUTABLE} ${QUILLMERE_ICON_TOOL} ${QUILLMERE_ICON_DIR}
  DEPENDS ${QUILLMERE_ICON_TOOL}
  COMMENT "Drawing the application icon"
  VERBATIM)

# Lets the resource tests ask for the icon without building the program.
add_custom_target(quillmere_icon DEPENDS ${QUILLMERE_ICON_FILES})

set(_quillmere_rc ${CMAKE_CURRENT_SOURCE_DIR}/quillmere.rc)
target_sources(Quillmere PRIVATE ${_quillmere_rc})
set_source_files_properties(${_quillmere_rc} PROPERTIES
  INCLUDE_DIRECTORIES "${QUILLMERE_ICON_DIR};${CMAKE_BINARY_DIR}/generated;${CMAKE_CURRENT_SOURCE_DIR}"
  # windres reports no dependencies of its own: name every file it reads.
  OBJECT_DEPENDS "${QUILLMERE_ICON_FILES};${CMAKE_CURRENT_SOURCE_DIR}/quillmere.manifest;${CMAKE_BINARY_DIR}/generated/quillmere_version.h")
add_dependencies(Quillmere quillmere_icon)
