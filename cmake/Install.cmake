# What `cmake --install` puts under the prefix, and the Debian package that
# cpack makes of the same tree.
include(GNUInstallDirs)

install(TARGETS quorvel quorvel-cli quorvel-web RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The browser server's unit, installed but not enabled.
install(FILES resources/quorvel-web.service DESTINATION lib/systemd/system)
install(TARGETS quorvel-legacy-reader quorvel-reader RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quorvel)
install(FILES resources/quorvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/org.quorvel.Quorvel.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${QUORVEL_DESKTOP_DIR}/icons DESTINATION ${CMAKE_INSTALL_DATADIR})
install(FILES ${QUORVEL_DESKTOP_DIR}/man/quorvel.1.gz ${QUORVEL_DESKTOP_DIR}/man/quorvel-cli.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUORVEL_DESKTOP_DIR}/completion/quorvel-cli
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# A user unit for `quorvel-cli inbox watch`, there to be enabled per register.
configure_file(resources/quorvel-inbox@.service.in ${CMAKE_BINARY_DIR}/quorvel-inbox@.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quorvel-inbox@.service DESTINATION lib/systemd/user)

# Debian wants a copyright file and the changelog, compressed, with the package.
set(QUORVEL_CHANGELOG ${CMAKE_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${QUORVEL_CHANGELOG}
    COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/resources/debian/changelog > ${QUORVEL_CHANGELOG}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/debian/changelog)
add_custom_target(quorvel_changelog ALL DEPENDS ${QUORVEL_CHANGELOG})
install(FILES resources/debian/copyright ${QUORVEL_CHANGELOG}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Quorvel developers")
set(CPACK_PACKAGE_CONTACT "Quorvel developers <quorvel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "register of the files you send, receive and keep")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quorvel keeps a private copy of every file you register and one record\n"
    "per file: date, remark, recipient, transfer method and folder. A window\n"
    "(quorvel) and a command-line program for scripts (quorvel-cli) work on\n"
    "the same register; quorvel-web serves it to the browsers of an office.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries linked are found by dpkg-shlibdeps; what Qt loads at run time
# (the SQLite driver, the display plugins) is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
# The content readers run these, or load them (Tesseract) to read pictures.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk, fonts-wqy-microhei, xdg-utils, catdoc, antiword, unrtf, qt6-image-formats-plugins, libtesseract5, tesseract-ocr-chi-sim, tesseract-ocr-eng")
# Only a register kept on a PostgreSQL server needs Qt's driver for it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
