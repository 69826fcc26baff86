# The Debian package, built by CPack: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qavo-card-reader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Q.A.V.O. card reader developers <qavo-card-reader@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show the pass, balance and history of a Q.A.V.O. FeliCa card")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reads a Q.A.V.O. stored-value and commuter-pass card of the city subway
through a PaSoRi-type USB reader and shows the commuter pass, the charge
balance and debt, and the card's 20 usage records in one window.

Supports the RC-S380 over USB, the RC-S300 and other readers through pcscd,
and the RC-S330/360/370 and PN53x readers through libnfc.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/lib")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pcscd, libccid")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${QAVO_POSTINST_FILE};${CMAKE_CURRENT_LIST_DIR}/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
