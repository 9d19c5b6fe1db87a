# Installation and packages: `cmake --install` puts both programs (and on POSIX their manual
# pages) in the usual places; CPack makes a Debian package on Linux, the `zip` target the
# Windows zip.
include(GNUInstallDirs)

set(fds_programs)
foreach(program quindle vormlin)
  if(TARGET ${program})
    list(APPEND fds_programs ${program})
  endif()
endforeach()

# CPack's zip stores each file's time and extra fields, so two builds would differ:
# packaging/make-zip.py writes it instead, with a fixed order and time (see there). The exes
# go in as built (release builds are stripped at link time).
function(fds_windows_zip)
  find_package(Python3 COMPONENTS Interpreter)
  if(NOT Python3_FOUND OR NOT fds_programs STREQUAL "quindle;vormlin")
    message(STATUS "No zip target: it needs python3 and both programs")
    return()
  endif()
  set(zip ${PROJECT_BINARY_DIR}/${PROJECT_NAME}-${PROJECT_VERSION}-win32.zip)
  add_custom_target(zip
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/make-zip.py ${zip}
            ${PROJECT_SOURCE_DIR} quindle.exe=$<TARGET_FILE:quindle>
            vormlin.exe=$<TARGET_FILE:vormlin> README.txt=${PROJECT_BINARY_DIR}/README.txt
            LICENSE.txt=${PROJECT_SOURCE_DIR}/LICENSE
    DEPENDS quindle vormlin
    BYPRODUCTS ${zip}
    COMMENT "Writing ${zip}"
    VERBATIM)
endfunction()

# Debian policy: manual pages and the changelog compressed with gzip -9n (no name, no time,
# so the same bytes on every build), the licence as a machine-readable copyright file.
function(fds_debian_docs)
  find_program(FDS_GZIP gzip REQUIRED)
  set(out ${PROJECT_BINARY_DIR}/packaging)
  set(gz_files)
  foreach(doc man/quindle.1 man/vormlin.1 packaging/changelog)
    get_filename_component(name ${doc} NAME)
    add_custom_command(OUTPUT ${out}/${name}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${doc} ${out}/${name}
      COMMAND ${FDS_GZIP} -9nf ${out}/${name}
      DEPENDS ${PROJECT_SOURCE_DIR}/${doc}
      VERBATIM)
    list(APPEND gz_files ${out}/${name}.gz)
  endforeach()
  add_custom_target(compressed_docs ALL DEPENDS ${gz_files})
  install(FILES ${out}/quindle.1.gz ${out}/vormlin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${out}/changelog.gz ${out}/copyright ${PROJECT_SOURCE_DIR}/README.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # The copyright file carries LICENSE's notice and text: its body indented by one space, blank
  # lines as " ." (DEP-5).
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" unused "${license}")
  set(holder "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n+" "" body "${license}")
  string(STRIP "${body}" body)
  string(REPLACE "\n" "\n " body "${body}")
  string(REPLACE "\n \n" "\n .\n" body "${body}")
  file(WRITE ${out}/copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: ${PROJECT_NAME}\n"
    "Upstream-Contact: ${FDS_MAINTAINER}\n\n"
    "Files: *\n"
    "Copyright: ${holder}\n"
    "License: Expat\n"
    " ${body}\n")
endfunction()

set(FDS_MAINTAINER "fdstools developers <fdstools@example.invalid>")
if(WIN32)
  # A Windows user gets the two exes and a short text with Windows line ends, side by side.
  install(TARGETS ${fds_programs} RUNTIME DESTINATION .)
  file(READ ${PROJECT_SOURCE_DIR}/docs/README-windows.txt windows_readme)
  string(REPLACE "\r\n" "\n" windows_readme "${windows_readme}")
  string(REPLACE "\n" "\r\n" windows_readme "${windows_readme}")
  file(WRITE ${PROJECT_BINARY_DIR}/README.txt "${windows_readme}")
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  fds_windows_zip()
else()
  install(TARGETS ${fds_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  fds_debian_docs()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FDS_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

set(CPACK_PACKAGE_NAME fdstools)
set(CPACK_PACKAGE_VENDOR "fdstools developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The summary becomes the control file's first Description line, each line of the description
# one more (CPack indents them; blank ones become " ."), so they are wrapped under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "catalogue and sort Famicom Disk System disk images")
set(CPACK_PACKAGE_DESCRIPTION
    "Two tools for collections of Famicom Disk System (FDS) disk images:
quindle prints one catalogue line per disk side (game code, side data and the
CRC-32 of every file), so that running it over known-good images makes a
catalogue; on request it shows the disk header and a table of the side's files.

vormlin identifies every image of a directory by its files' CRC-32 against such
a catalogue, normalises its header and size, splits surplus sides off, and
sorts the images into subdirectories. It never deletes or overwrites a file.")
# lintian finds no error or warning. At its info level (-I) it still notes: hardening-no-bindnow
# and hardening-no-fortify-functions (Debian's hardening flags come from dpkg-buildflags, which a
# distribution build passes in CXXFLAGS/LDFLAGS; we do not force them on every build),
# binary-has-unneeded-section .comment (CPack strips without removing sections), and
# spelling-error-in-binary "Engeneering" (a maker's name as the dumper must print it).
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(NOT WIN32)
  include(CPack)
endif()
