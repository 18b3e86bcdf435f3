# Installing Kestrix as a Linux desktop application, and its Debian package.
include(GNUInstallDirs)

# The program lives in its own folder with the read-me beside it, where its
# Help menu looks for it; bin/ holds a relative link to it.
set(KESTRIX_PROGRAM_DIR lib/kestrix)
install(TARGETS kestrix RUNTIME DESTINATION ${KESTRIX_PROGRAM_DIR})
install(FILES ${CMAKE_BINARY_DIR}/bin/readme.txt DESTINATION ${KESTRIX_PROGRAM_DIR})
file(RELATIVE_PATH KESTRIX_LINK_TARGET /root/${CMAKE_INSTALL_BINDIR}
     /root/${KESTRIX_PROGRAM_DIR}/kestrix)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
file(CREATE_LINK ${KESTRIX_LINK_TARGET} ${CMAKE_BINARY_DIR}/install-links/kestrix SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/install-links/kestrix DESTINATION ${CMAKE_INSTALL_BINDIR})

install(TARGETS kestrix-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(KESTRIX_LINUX ${CMAKE_SOURCE_DIR}/resources/linux)
configure_file(${KESTRIX_LINUX}/org.example.Kestrix.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/org.example.Kestrix.metainfo.xml @ONLY)
# Manual pages and the package's change log go compressed, as Debian has them
# (gzip -n: no name or time inside, so the same sources give the same bytes).
find_program(GZIP gzip REQUIRED)
foreach(page kestrix.1 kestrix-convert.1)
  configure_file(${KESTRIX_LINUX}/${page} ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  execute_process(COMMAND ${GZIP} -9 -n -f -k ${CMAKE_BINARY_DIR}/man/${page})
endforeach()
# The package is native (its version has no Debian revision), so its change
# log is changelog.gz.
configure_file(${KESTRIX_LINUX}/changelog ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
execute_process(COMMAND ${GZIP} -9 -n -f -k ${CMAKE_BINARY_DIR}/doc/changelog)
install(FILES ${KESTRIX_LINUX}/org.example.Kestrix.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/org.example.Kestrix.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${CMAKE_BINARY_DIR}/man/kestrix.1.gz ${CMAKE_BINARY_DIR}/man/kestrix-convert.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(KESTRIX_INSTALL_DOCS)
  install(FILES ${KESTRIX_LINUX}/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrix)
endif()
install(FILES ${KESTRIX_LINUX}/kestrix-convert.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME kestrix-convert)

# A stripped install (cmake --install --strip, and the package) also drops the
# compiler's .comment section, as Debian's own packages do.
install(CODE [[
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program lib/kestrix/kestrix bin/kestrix-convert)
      execute_process(COMMAND objcopy --remove-section=.comment
                              "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${program}")
    endforeach()
  endif()
]])

# cpack -G DEB in the build folder makes kestrix_VERSION_ARCH.deb.
set(CPACK_PACKAGE_NAME kestrix)
set(CPACK_PACKAGE_VERSION ${KESTRIX_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kestrix developers")
set(CPACK_PACKAGE_CONTACT "The Kestrix developers <kestrix@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "converter for Sega Genesis / Mega Drive ROM images")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kestrix converts cartridge ROM images between the plain (.bin), SMD (.smd)\n"
    "and MD (.md) layouts, in a desktop program and with kestrix-convert, which\n"
    "also tells an image's layout, header, checksum and fingerprints.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.example.org/kestrix/")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES ON)
# The libraries come from the binaries; the rest is loaded at run time: the
# platform plugins, the font for the Chinese texts, Qt's own translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# xdg-utils gives the Help menu its default handler (xdg-open); Qt's own
# translations speak the windows' language in its dialogs and buttons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, fonts-noto-cjk, xdg-utils")
# The completion of kestrix-convert is fuller with it, and works without.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
# Two packages of one commit are the same bytes: their times are
# SOURCE_DATE_EPOCH, the last commit's time unless the environment says
# otherwise (set when cpack runs, by cpack-project.cmake).
find_package(Git QUIET)
configure_file(${CMAKE_SOURCE_DIR}/cpack-project.cmake.in ${CMAKE_BINARY_DIR}/cpack-project.cmake
               @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack-project.cmake)
include(CPack)
