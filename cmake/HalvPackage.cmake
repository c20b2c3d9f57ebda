# The saver as a Debian package (cpack -G DEB): the hack, its XScreenSaver entry, the man page,
# the README, the copyright file made from LICENSE and the changelog. The package carries only
# the install component "saver"; the libraries and headers (component "library") stay out.

include(GNUInstallDirs)

set(HALV_PACKAGE_MAINTAINER "The Halvorine developers <halvorine@example.org>"
    CACHE STRING "Maintainer of the Debian package (name <address>)")

set(HALV_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/halvorine)
set(HALV_PACKAGE_FILES ${PROJECT_BINARY_DIR}/packaging)

# The copyright file in Debian's machine-readable format, with the licence text of LICENSE.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright.in
             ${PROJECT_SOURCE_DIR}/packaging/changelog.in)
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE licenseLines)
set(HALV_COPYRIGHT "")
set(HALV_LICENSE_BODY "")
set(seenCopyright FALSE)
foreach(line IN LISTS licenseLines)
    if(line MATCHES "^Copyright \\(c\\) (.*)$")
        set(HALV_COPYRIGHT "${CMAKE_MATCH_1}")
        set(seenCopyright TRUE)
    elseif(seenCopyright)
        # Continuation lines start with a space; an empty line is written " .".
        if(line STREQUAL "")
            string(APPEND HALV_LICENSE_BODY " .\n")
        else()
            string(APPEND HALV_LICENSE_BODY " ${line}\n")
        endif()
    endif()
endforeach()
if(NOT seenCopyright)
    message(FATAL_ERROR "LICENSE has no 'Copyright (c) ...' line")
endif()
# The body starts after the blank line that follows the copyright line.
string(REGEX REPLACE "^ \\.\n" "" HALV_LICENSE_BODY "${HALV_LICENSE_BODY}")
string(REGEX REPLACE "\n$" "" HALV_LICENSE_BODY "${HALV_LICENSE_BODY}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${HALV_PACKAGE_FILES}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${HALV_PACKAGE_FILES}/changelog @ONLY)

# Debian wants man pages and changelogs compressed with gzip -9n (no name or time stamp, so the
# package is reproducible).
set(compressed "")
foreach(source IN ITEMS ${PROJECT_SOURCE_DIR}/shell/halvorine.6 ${HALV_PACKAGE_FILES}/changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(OUTPUT ${HALV_PACKAGE_FILES}/${name}.gz
        COMMAND gzip -9n -c ${source} > ${HALV_PACKAGE_FILES}/${name}.gz
        DEPENDS ${source} VERBATIM)
    list(APPEND compressed ${HALV_PACKAGE_FILES}/${name}.gz)
endforeach()
add_custom_target(halvorine_docs ALL DEPENDS ${compressed})

install(FILES ${HALV_PACKAGE_FILES}/halvorine.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6
        COMPONENT saver)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${HALV_PACKAGE_FILES}/copyright
              ${HALV_PACKAGE_FILES}/changelog.gz
        DESTINATION ${HALV_PACKAGE_DOCDIR} COMPONENT saver)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvorine)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Halvorine developers")
set(CPACK_PACKAGE_CONTACT ${HALV_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Only the saver's component goes in, as one package named for the program.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};Halvorine;saver;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "space station screen saver for XScreenSaver")
set(CPACK_PACKAGE_DESCRIPTION
"A spherical space station hangs before the stars, fires a green beam at a
planet, and the planet bursts into 3000 glowing particles, in a 45-second loop
seen from three camera shots. It draws with OpenGL 3.3 (Mesa's software
renderer serves where there is no graphics driver).

The package installs the hack and its entry for XScreenSaver's settings.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${HALV_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps adds what the executable links. libepoxy and SDL open the GL and EGL libraries
# at run time, which it cannot see; through them the driver (Mesa's or a vendor's) comes in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xscreensaver)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
