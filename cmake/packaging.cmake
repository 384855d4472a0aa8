# ---- Packages ----------------------------------------------------------------
# CPack: a Debian package from a Linux build configured for /usr (preset
# deb), a zip from a Windows build (preset win32). scripts/package.sh builds
# both into dist/.

set(JQCPT_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")

if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(JQCPT_WINDOWS_CPU "32-bit x86")
        set(JQCPT_WINDOWS_SUFFIX win32)
    else()
        set(JQCPT_WINDOWS_CPU "x86-64")
        set(JQCPT_WINDOWS_SUFFIX win64)
    endif()
    # A README for the zip, with the line ends Windows' editors expect.
    configure_file("${JQCPT_PACKAGING_DIR}/README-windows.txt.in"
        "${PROJECT_BINARY_DIR}/packaging/README.txt" @ONLY NEWLINE_STYLE CRLF)
    install(FILES "${PROJECT_BINARY_DIR}/packaging/README.txt" DESTINATION .)
else()
    # The changelog is compressed in the Debian package by packaging_stage.cmake;
    # the README is short enough to stay as it is.
    install(FILES "${JQCPT_PACKAGING_DIR}/debian/copyright" "${JQCPT_PACKAGING_DIR}/debian/changelog"
        "${JQCPT_PACKAGING_DIR}/debian/README" DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME jqcpt)
set(CPACK_PACKAGE_VENDOR "jqcpt maintainers")
set(CPACK_PACKAGE_CONTACT "jqcpt maintainers <maintainers@users.noreply.c-seed-a7cc8c01.example>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CPTD test console and a stand-in of the CPTD library")
# Read here: from CPACK_PACKAGE_DESCRIPTION_FILE CPack would escape the
# apostrophes for XML.
file(READ "${JQCPT_PACKAGING_DIR}/description.txt" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_STRIP_FILES ON)
# Debian: man pages and changelog gzipped; the changelog's version checked.
# Zip: the man pages rendered as text.
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/packaging_stage.cmake")
set(CPACK_JQCPT_VERSION "${PROJECT_VERSION}")

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "jqcpt-${PROJECT_VERSION}-${JQCPT_WINDOWS_SUFFIX}")
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # Depends from the binaries' needs, and a shlibs file for libjqcpt.so.2.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    # ldconfig runs through dpkg's trigger, as Debian's policy asks. (CPack
    # also writes postinst and postrm scripts calling it, and has no switch
    # for that.)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${JQCPT_PACKAGING_DIR}/debian/triggers")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
