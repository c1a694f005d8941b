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

# The drawn icon as a target of its own, so other targets (the resource
# tests) can wait for it; it also tells them where the files are.
add_custom_target(quillmere_icon DEPENDS ${QUILLMERE_ICON_FILES})
set_target_properties(quillmere_icon PROPERTIES
  QUILLMERE_ICON_DIR ${QUILLMERE_ICON_DIR}
  QUILLMERE_ICON_FILES "${QUILLMERE_ICON_FILES}")

# Compiles quillmere.rc into target: the program, or a test that needs the
# program's own resources in its process.
function(quillmere_add_resources target)
  set(rc ${PROJECT_SOURCE_DIR}/app/quillmere.rc)
  get_target_property(icon_dir quillmere_icon QUILLMERE_ICON_DIR)
  get_target_property(icon_files quillmere_icon QUILLMERE_ICON_FILES)
  get_target_property(version_header quillmere_version QUILLMERE_VERSION_HEADER)
  target_sources(${target} PRIVATE ${rc})
  target_link_libraries(${target} PRIVATE quillmere_version)
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
    INCLUDE_DIRECTORIES "${icon_dir};${PROJECT_SOURCE_DIR}/app"
    # windres reports no dependencies of its own: name every file it reads.
    OBJECT_DEPENDS "${icon_files};${PROJECT_SOURCE_DIR}/app/quillmere.manifest;${version_header}")
  add_dependencies(${target} quillmere_icon)
endfunction()

quillmere_add_resources(Quillmere)
