# Two Debian packages from one build (`cpack -G DEB`, see scripts/build-packages.sh):
#   freymo           the client, the voice SDK it loads, its desktop entry, its
#                    launcher, icon and /etc/freymo/freymo.conf (install
#                    component `client`);
#   freymo-platform  the platform server with its systemd unit, its daily
#                    backup (a timer and its service) and options file
#                    (install component `platform`).
# The packages install below /usr: configure with -DCMAKE_INSTALL_PREFIX=/usr,
# so that the paths compiled into the programs are those of the package.

# Debian 12 keeps the units of its packages in /lib/systemd/system.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(_freymo_unitdir "/lib/systemd/system")
else()
    set(_freymo_unitdir "${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
endif()
set(FREYMO_SYSTEMD_UNITDIR "${_freymo_unitdir}" CACHE PATH "Folder of the platform's systemd unit")

set(FREYMO_PLATFORM_EXECUTABLE "${CMAKE_INSTALL_FULL_BINDIR}/freymo-platform")
configure_file(dist/freymo-platform.service.in "${CMAKE_CURRENT_BINARY_DIR}/dist/freymo-platform.service" @ONLY)
configure_file(dist/freymo-platform-backup.service.in "${CMAKE_CURRENT_BINARY_DIR}/dist/freymo-platform-backup.service"
    @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/dist/freymo-platform.service"
    "${CMAKE_CURRENT_BINARY_DIR}/dist/freymo-platform-backup.service" dist/freymo-platform-backup.timer
    DESTINATION "${FREYMO_SYSTEMD_UNITDIR}" COMPONENT platform)
# GNUInstallDirs makes this /etc for the /usr prefix.
install(FILES dist/freymo-platform.default
    DESTINATION "${CMAKE_INSTALL_FULL_SYSCONFDIR}/default" RENAME freymo-platform COMPONENT platform)

set(CPACK_PACKAGE_NAME "freymo")
set(CPACK_PACKAGE_VENDOR "Freymo")
set(CPACK_PACKAGE_CONTACT "Freymo developers <freymo@example.org>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL client platform)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME "freymo")
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION "misc")
# The screens are in Chinese; the phone numbers are set in Arial, whose
# metric twin Liberation Sans stands in for it.
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, fonts-liberation")
# The desk's platform address survives upgrades.
set(CPACK_DEBIAN_CLIENT_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_SOURCE_DIR}/dist/debian/freymo/conffiles")
# Qt's own texts (the buttons of the message boxes, the line edits' menus) in
# Chinese, libxlsxwriter and libzint (their packages named after their
# sonames, as Debian names library packages); loaded at run time, so the
# linked libraries do not name them.
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS "qttranslations5-l10n")
foreach(soname IN ITEMS "${FREYMO_XLSXWRITER_SONAME}" "${FREYMO_ZINT_SONAME}")
    string(REGEX REPLACE "^(lib[^.]+)\\.so\\.([0-9.]+)$" "\\1\\2" package "${soname}")
    string(APPEND CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS ", ${package}")
endforeach()
string(CONCAT CPACK_COMPONENT_CLIENT_DESCRIPTION
    "Freight station assistant\n"
    "The desktop client of small and medium freight stations: the board of the\n"
    "station's trucks, packing consignments on them, the trades with their\n"
    "settlement, and the station's trucks, shippers and consignees. It works\n"
    "against a Freymo management platform (see the freymo-platform package).")

set(CPACK_DEBIAN_PLATFORM_PACKAGE_NAME "freymo-platform")
set(CPACK_DEBIAN_PLATFORM_PACKAGE_SECTION "net")
# Loaded as plug-ins or called from the maintainer scripts, so the linked
# libraries do not name them. Qt's PostgreSQL driver too: a database URL
# postgresql://… works without another package.
set(CPACK_DEBIAN_PLATFORM_PACKAGE_DEPENDS "libqt5sql5-sqlite, libqt5sql5-psql, adduser, init-system-helpers")
set(CPACK_DEBIAN_PLATFORM_PACKAGE_CONTROL_EXTRA
    "${CMAKE_CURRENT_SOURCE_DIR}/dist/debian/freymo-platform/conffiles"
    "${CMAKE_CURRENT_SOURCE_DIR}/dist/debian/freymo-platform/postinst"
    "${CMAKE_CURRENT_SOURCE_DIR}/dist/debian/freymo-platform/prerm"
    "${CMAKE_CURRENT_SOURCE_DIR}/dist/debian/freymo-platform/postrm")
string(CONCAT CPACK_COMPONENT_PLATFORM_DESCRIPTION
    "Freymo management platform server\n"
    "The HTTP/JSON server (on SQLite or PostgreSQL) that the Freymo client signs\n"
    "in to, with the voice switch that checks its voice accounts. It runs as the\n"
    "systemd service freymo-platform under its own system user and keeps its\n"
    "data in /var/lib/freymo-platform, with a daily copy of the SQLite file in\n"
    "/var/lib/freymo-platform/backups (freymo-platform-backup.timer); its\n"
    "options are in /etc/default/freymo-platform.")

include(CPack)

# Builds both packages in a build of its own and checks their contents and
# dependencies; skipped where the packaging tools are missing.
if(FREYMO_BUILD_TESTS)
    add_test(NAME tst_packages
        COMMAND "${CMAKE_CURRENT_SOURCE_DIR}/tests/packaging/tst_packages.sh"
            "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_BINARY_DIR}/packaging")
    set_tests_properties(tst_packages PROPERTIES
        SKIP_RETURN_CODE 77
        TIMEOUT 900
        ENVIRONMENT "CMAKE=${CMAKE_COMMAND};CPACK=${CMAKE_CPACK_COMMAND};LC_ALL=C.UTF-8")
endif()
