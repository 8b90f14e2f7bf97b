# The Debian package, made by CPack from the install rules: scripts/package.sh, or
# "cpack -G DEB" in a build folder. Installs under /usr; the libraries it needs (Qt,
# libjpeg, the C++ runtime) are found by dpkg-shlibdeps and declared as dependencies.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ardemo)
set(CPACK_PACKAGE_VENDOR "Tormela s.r.o.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tormela s.r.o. <info@tormela.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control of laboratory DC power sources on serial lines")
set(CPACK_PACKAGE_DESCRIPTION
    "Ardemo controls up to 50 laboratory DC power sources on four serial lines: it polls\n"
    "every source, shows its voltage, tolerance, output and stabilisation on a panel of\n"
    "its own, runs voltage programs, records readings to CSV files and plots them on a\n"
    "live chart. Czech and English interface. Includes ardemo-sim, a simulator of the\n"
    "sources on pseudo-terminals.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tormela s.r.o. <info@tormela.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tormela.example")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # ardemo_<version>-<release>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs (file dialogs, print preview) speak Czech only with Qt's translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The architecture of the machine that built the binaries, in Debian's own words.
find_program(ARDEMO_DPKG dpkg)
if(ARDEMO_DPKG)
    execute_process(COMMAND ${ARDEMO_DPKG} --print-architecture
                    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

include(CPack)
