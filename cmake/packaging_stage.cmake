# Run by CPack on its staging tree before it builds a package (see
# CPACK_PRE_BUILD_SCRIPTS in packaging.cmake). For the Debian package it does
# what Debian's policy asks of the files: man pages and the changelog gzipped
# with maximum compression and no name or time stamp, and the changelog's
# newest entry for the version being packaged. For the zip it turns the man
# pages' Windows text on, adds the pages as plain text in doc\, for a
# Windows user without man, and gives the country file CR LF line ends, which
# Notepad before Windows 10 needs.

if(CPACK_GENERATOR STREQUAL "ZIP")
    set(countries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/share/jqcpt/countries.txt")
    file(READ "${countries}" text)
    string(REGEX REPLACE "\r?\n" "\r\n" text "${text}")
    file(WRITE "${countries}" "${text}")

    # UTF-8 with a byte-order mark, by which Notepad and PowerShell take it
    # for UTF-8, and CRLF line ends; any warning of groff's fails the build.
    find_program(groff groff)
    if(NOT groff)
        message(FATAL_ERROR "groff renders the man pages for the zip: install the Debian "
            "package groff-base.")
    endif()
    string(ASCII 239 187 191 bom)
    file(GLOB pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/share/man/man*/*.[1-9]")
    if(NOT pages)
        message(FATAL_ERROR "no man page in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/share/man")
    endif()
    # Each page's first lines set the register windows to 0 unless it is set.
    set(posix_text ".if !r windows .nr windows 0\n")
    foreach(page IN LISTS pages)
        get_filename_component(name "${page}" NAME_WE)
        file(READ "${page}" source)
        string(FIND "${source}" "${posix_text}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${page} has no line '${posix_text}'")
        endif()
        string(REPLACE "${posix_text}" ".nr windows 1\n" source "${source}")
        file(WRITE "${page}" "${source}")
        execute_process(COMMAND "${groff}" -t -man -Tutf8 -P-cbou -rcR=1 -rLL=78n "${page}"
            OUTPUT_VARIABLE text ERROR_VARIABLE warnings COMMAND_ERROR_IS_FATAL ANY)
        if(warnings OR NOT text)
            message(FATAL_ERROR "groff on ${page}: ${warnings}")
        endif()
        string(REPLACE "\n" "\r\n" text "${text}")
        file(WRITE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/doc/${name}.txt" "${bom}${text}")
    endforeach()
    return()
endif()
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
