# Installation into a desktop (program, menu entry, AppStream metadata,
# icons) and the Debian package built from it with `cpack -G DEB`.
include_guard(GLOBAL)
include(GNUInstallDirs)

set(TOLVANE_APP_ID io.github.tolvane.tolvane)
set(TOLVANE_LO_RUNPATH /usr/lib/libreoffice/program)

if(TARGET tolvane)
    # The UNO libraries live in LibreOffice's private directory, which the
    # loader does not search by itself.
    set_target_properties(tolvane PROPERTIES INSTALL_RPATH ${TOLVANE_LO_RUNPATH})
    install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TOLVANE_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TOLVANE_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(TOLVANE_ICON_SIZES 16 32 48 64 128 256)
foreach(size IN LISTS TOLVANE_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tolvane-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME tolvane.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tolvane.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The manual page and the changelog, compressed as Debian wants them: gzip -9
# without a name or time stamp, so that every build gives the same bytes.
set(TOLVANE_GZIPPED "")
foreach(file tolvane.1 changelog)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${file}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
        COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/${file}
                > ${CMAKE_BINARY_DIR}/packaging/${file}.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${file} VERBATIM)
    list(APPEND TOLVANE_GZIPPED ${CMAKE_BINARY_DIR}/packaging/${file}.gz)
endforeach()
add_custom_target(tolvane_docs ALL DEPENDS ${TOLVANE_GZIPPED})
install(FILES ${CMAKE_BINARY_DIR}/packaging/tolvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tolvane)

# --- Debian package -----------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
# What the user sees, not the four-part number of project().
set(CPACK_PACKAGE_VERSION 1.00)
set(CPACK_PACKAGE_VENDOR "tolvane developers")
set(CPACK_PACKAGE_CONTACT "tolvane developers <dev@tolvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "KLD-350 Polling Utility: instrument readings to LibreOffice Calc")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "tolvane developers <dev@tolvane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The synopsis line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Reads the data blocks that a KLD-350 instrument sends over an RS-232 line
(9600 baud, 8N1), lists their values, appends them with a time stamp and a
description to the backup file databac.txt, and writes them into the active
sheet of LibreOffice Calc, from the active cell on.")
# The libraries the program links, found by dpkg-shlibdeps once the files are
# staged; it follows the program's RUNPATH into LibreOffice's directory, whose
# libuno-* packages carry shlibs files. (Not CPack's own shlibdeps step, which
# can name a package twice.)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_TOLVANE_LO_RUNPATH ${TOLVANE_LO_RUNPATH})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_depends.cmake)
# And what it uses without linking it: the office it starts and talks to
# (soffice, the URE's bootstrap files), Qt's display plugins, and the
# metric-compatible stand-in for Arial that the window layout assumes.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libreoffice-calc, ure, qt6-qpa-plugins, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

# --- Tests --------------------------------------------------------------------

if(BUILD_TESTING)
    # A missing tool fails its tests ("could not find executable"); the build
    # itself does not need it.
    function(tolvane_expect_tool program package)
        find_program(TOLVANE_TOOL_${program} ${program})
        if(NOT TOLVANE_TOOL_${program})
            message(WARNING "${program} not found (Debian package ${package}): "
                "the packaging tests will fail")
        endif()
    endfunction()
    tolvane_expect_tool(desktop-file-validate desktop-file-utils)
    tolvane_expect_tool(appstreamcli appstream)
    tolvane_expect_tool(lintian lintian)
    add_test(NAME packaging.desktop_entry_valid
        COMMAND desktop-file-validate
                ${PROJECT_SOURCE_DIR}/packaging/${TOLVANE_APP_ID}.desktop)
    # Strict: warnings and infos fail too.
    add_test(NAME packaging.metainfo_valid
        COMMAND ${PROJECT_SOURCE_DIR}/cmake/validate_metainfo.sh
                ${PROJECT_SOURCE_DIR}/packaging/${TOLVANE_APP_ID}.metainfo.xml)
    set_tests_properties(packaging.desktop_entry_valid packaging.metainfo_valid
        PROPERTIES LABELS package)

    if(TARGET tolvane)
        add_test(NAME packaging.deb_installs_a_working_desktop_program
            COMMAND ${CMAKE_COMMAND}
                -DCPACK_CONFIG=${CMAKE_BINARY_DIR}/CPackConfig.cmake
                -DWORK_DIR=${CMAKE_BINARY_DIR}/package-test
                -DAPP_ID=${TOLVANE_APP_ID}
                "-DICON_SIZES=${TOLVANE_ICON_SIZES}"
                -DLO_RUNPATH=${TOLVANE_LO_RUNPATH}
                -DVERSION_TEXT=${TOLVANE_VERSION_TEXT}
                -P ${PROJECT_SOURCE_DIR}/cmake/check_package.cmake)
        set_tests_properties(packaging.deb_installs_a_working_desktop_program PROPERTIES
            LABELS package TIMEOUT 300)
    endif()
endif()
