# Installation and packages: `cmake --install` puts both programs (and on POSIX their manual
# pages) in the usual places; CPack makes a Debian package on Linux and a .zip on Windows.
include(GNUInstallDirs)

set(fds_programs)
foreach(program quindle vormlin)
  if(TARGET ${program})
    list(APPEND fds_programs ${program})
  endif()
endforeach()

if(WIN32)
  # A Windows user gets the two exes and a short text with Windows line ends, side by side.
  install(TARGETS ${fds_programs} RUNTIME DESTINATION .)
  file(READ ${PROJECT_SOURCE_DIR}/docs/README-windows.txt windows_readme)
  string(REPLACE "\r\n" "\n" windows_readme "${windows_readme}")
  string(REPLACE "\n" "\r\n" windows_readme "${windows_readme}")
  file(WRITE ${PROJECT_BINARY_DIR}/README.txt "${windows_readme}")
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_SYSTEM_NAME win32)
else()
  install(TARGETS ${fds_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/man/quindle.1 ${PROJECT_SOURCE_DIR}/man/vormlin.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "fdstools developers <fdstools@example.invalid>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

set(CPACK_PACKAGE_NAME fdstools)
set(CPACK_PACKAGE_VENDOR "fdstools developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Catalogue and sort Famicom Disk System disk images (quindle, vormlin)")
set(CPACK_PACKAGE_DESCRIPTION
    "quindle prints a catalogue line per disk side of Famicom Disk System images; vormlin identifies images by their files' CRC-32 against such a catalogue, normalises them and sorts them into subdirectories without ever deleting or overwriting a file.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
include(CPack)
