# Installing Tallyvine on a Linux desktop, and its Debian package
# (cpack -G DEB). Included at the end of the root CMakeLists.txt, once every
# target exists.
include(GNUInstallDirs)

set(TALLYVINE_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

if(TARGET tallyvine)
    install(TARGETS tallyvine RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # The program looks for its language pack here, relative to itself.
    install(FILES $<TARGET_FILE_DIR:tallyvine>/TallyvineRes_zh_CN.qm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tallyvine/translations)
    install(FILES ${TALLYVINE_ROOT}/res/desktop/tallyvine.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${TALLYVINE_ROOT}/res/desktop/example.orbelle.tallyvine.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size 16 32 48 256)
        install(FILES ${TALLYVINE_ROOT}/res/icons/tallyvine-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tallyvine.png)
    endforeach()
    install(FILES ${TALLYVINE_ROOT}/res/icons/tallyvine.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${TALLYVINE_ROOT}/docs/man/tallyvine.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET tallyvine-scan)
    install(TARGETS tallyvine-scan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # The manual page is the --help text with examples added, so the two
    # never disagree. The run sees no source files of the builder's own.
    find_program(TALLYVINE_HELP2MAN help2man REQUIRED)
    set(TALLYVINE_MAN_DIR ${CMAKE_BINARY_DIR}/man)
    add_custom_command(
        OUTPUT ${TALLYVINE_MAN_DIR}/tallyvine-scan.1
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TALLYVINE_MAN_DIR}/no-config
        COMMAND ${CMAKE_COMMAND} -E env XDG_CONFIG_HOME=${TALLYVINE_MAN_DIR}/no-config
            ${TALLYVINE_HELP2MAN} --no-info --version-string=${PROJECT_VERSION}
            --include=${TALLYVINE_ROOT}/docs/man/tallyvine-scan.h2m
            --output=${TALLYVINE_MAN_DIR}/tallyvine-scan.1 $<TARGET_FILE:tallyvine-scan>
        DEPENDS tallyvine-scan ${TALLYVINE_ROOT}/docs/man/tallyvine-scan.h2m
        COMMENT "Writing the manual page of tallyvine-scan"
        VERBATIM)
    add_custom_target(tallyvine-man ALL DEPENDS ${TALLYVINE_MAN_DIR}/tallyvine-scan.1)
    install(FILES ${TALLYVINE_MAN_DIR}/tallyvine-scan.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME tallyvine)
set(CPACK_PACKAGE_VENDOR Orbelle)
set(CPACK_PACKAGE_CONTACT "Orbelle <tallyvine@orbelle.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "rates domain names by public search and traffic services")
set(CPACK_PACKAGE_DESCRIPTION
    "Tallyvine rates domain names by their standing with public search and traffic services: PageRank, traffic ranks, and web search result counts. tallyvine is the desktop program; tallyvine-scan scans a list from the command line.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.orbelle.example/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The libraries come from the programs' own links; Qt's platform plugins
# (X11, Wayland) are loaded at run time and so must be named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# https sources verify their certificates against the system store.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")
include(CPack)
