# What `cmake --install` puts where, and the Debian package made from it by cpack.
include(GNUInstallDirs)

install(TARGETS ostrel-cli ostrel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET ostrel)
  install(TARGETS ostrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/data/ostrel.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/data/ostrel.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # Bitmap sizes for menus and docks that do not scale the SVG themselves.
  find_program(RSVG_CONVERT rsvg-convert)
  if(RSVG_CONVERT)
    set(ikony)
    foreach(rozmiar 16 22 24 32 48 64 128 256)
      set(png ${CMAKE_BINARY_DIR}/ikony/${rozmiar}/ostrel.png)
      add_custom_command(
        OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/ikony/${rozmiar}
        COMMAND ${RSVG_CONVERT} -w ${rozmiar} -h ${rozmiar} ${CMAKE_SOURCE_DIR}/data/ostrel.svg
                -o ${png}
        DEPENDS ${CMAKE_SOURCE_DIR}/data/ostrel.svg
        VERBATIM)
      list(APPEND ikony ${png})
      install(FILES ${png}
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${rozmiar}x${rozmiar}/apps)
    endforeach()
    add_custom_target(ikony ALL DEPENDS ${ikony})
  else()
    message(STATUS "rsvg-convert not found: only the scalable icon is installed")
  endif()
endif()

# Man pages and the changelog go compressed, as Debian's policy asks: gzip -9n (no name
# or time stamp inside, so the package is reproducible).
set(skompresowane)
foreach(zrodlo man/ostrel.1 man/ostrel-cli.1 man/ostrel-sim.1 data/changelog)
  get_filename_component(nazwa ${zrodlo} NAME)
  set(gz ${CMAKE_BINARY_DIR}/gz/${nazwa}.gz)
  add_custom_command(
    OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gz
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${CMAKE_SOURCE_DIR}/${zrodlo} ${gz}
    DEPENDS ${CMAKE_SOURCE_DIR}/${zrodlo}
    VERBATIM)
  list(APPEND skompresowane ${gz})
endforeach()
add_custom_target(skompresowane ALL DEPENDS ${skompresowane})
install(FILES ${CMAKE_BINARY_DIR}/gz/ostrel.1.gz ${CMAKE_BINARY_DIR}/gz/ostrel-cli.1.gz
              ${CMAKE_BINARY_DIR}/gz/ostrel-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The user's documentation: docs/README.md (not the developers' README of the source tree)
# with the pages and pictures it links to, in the same layout as in docs/, so that every
# link works where it is installed. The developers' pages (benchmarks, fuzzing) stay out.
install(FILES ${CMAKE_SOURCE_DIR}/docs/README.md ${CMAKE_SOURCE_DIR}/docs/gui.md
              ${CMAKE_SOURCE_DIR}/docs/cli.md ${CMAKE_SOURCE_DIR}/docs/hex.md
              ${CMAKE_SOURCE_DIR}/docs/serial.md ${CMAKE_SOURCE_DIR}/docs/sim.md
              ${CMAKE_SOURCE_DIR}/samples/miganie.hex ${CMAKE_SOURCE_DIR}/data/copyright
              ${CMAKE_BINARY_DIR}/gz/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screenshots DESTINATION ${CMAKE_INSTALL_DOCDIR}
        FILES_MATCHING PATTERN "*.png")

# The Debian package: cpack -G DEB in a release tree.
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ostrel prog <ostrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "programmer for Atmel AT89 and AT90 microcontrollers on a serial ISP")
# Lines of at most 79 characters: the control file indents each by one blank.
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrel prog drives an external in-system programmer on a serial port to\n\
program, verify and read the flash and EEPROM of the 8051-family\n\
AT89C51/52/55, AT89C1051/2051/4051, AT89S8252, AT89S53 and the AVR\n\
AT90S1200/2313/4414/8515, read their signatures, read and write lock and fuse\n\
bits and erase them. It has a Qt desktop program with Polish windows (ostrel),\n\
a command-line front end (ostrel-cli) and a programmer simulator for trying it\n\
without hardware (ostrel-sim).")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ostrel.example.org")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
