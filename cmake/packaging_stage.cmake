# Run by CPack on its staging tree before it builds a package (see
# CPACK_PRE_BUILD_SCRIPTS in packaging.cmake). For the Debian package it does
# what Debian's policy asks of the files: man pages and the changelog gzipped
# with maximum compression and no name or time stamp, and the changelog's
# newest entry for the version being packaged.

if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()

set(doc "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_PACKAGE_NAME}")
file(STRINGS "${doc}/changelog" newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^${CPACK_PACKAGE_NAME} \\(${CPACK_JQCPT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog starts with '${newest}': add an entry "
        "for ${CPACK_PACKAGE_NAME} ${CPACK_JQCPT_VERSION} at its top.")
endif()

file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/*")
foreach(file IN LISTS pages ITEMS "${doc}/changelog")
    if(NOT file MATCHES "\\.gz$")
        execute_process(COMMAND gzip -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
