# The release packages, made by CPack from what `cmake --install` puts in
# place: cmake --build --preset windows --target package gives the zip for
# Windows users, Quillmere-<major>.<minor>-win32.zip (the window program, the
# tool, README.txt and SHA256SUMS at the top); natively the same target gives
# a .deb and a .tar.gz of the tool and its manual page. Each package has its
# SHA-256 sum beside it in <package>.sha256, in the form sha256sum -c reads.
set(CPACK_PACKAGE_VENDOR "Quillmere")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Splits one vCard file into one file per contact")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(_release ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Quillmere-${_release}-win32)
  set(QUILLMERE_PACKAGES ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.zip)

  # Windows users open README.txt in Notepad: CR LF line ends.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/README.txt.in ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(TARGETS Quillmere RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
  # SHA256SUMS inside the zip as well, for a user who has only the unpacked
  # folder; written after every other file is in place.
  install(CODE "set(_summed ${QUILLMERE_EXE_NAME}.exe quillmere-split.exe README.txt)")
  install(CODE [[
    set(_top "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    set(_sums "")
    foreach(_name IN LISTS _summed)
      file(SHA256 "${_top}/${_name}" _sum)
      string(APPEND _sums "${_sum}  ${_name}\n")
    endforeach()
    file(WRITE "${_top}/SHA256SUMS" "${_sums}")
  ]])
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_PACKAGE_NAME quillmere-split)
  set(CPACK_PACKAGE_FILE_NAME quillmere-split-${PROJECT_VERSION}-Linux)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmere developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The tool is linked whole (see cli/CMakeLists.txt) but loads the C
  # library's character-set modules for --names.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
  set(QUILLMERE_PACKAGES ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.tar.gz)
endif()
include(CPack)
