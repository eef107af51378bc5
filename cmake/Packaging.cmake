# The Debian package. `cpack -G DEB` in a build makes lyremap_VERSION_ARCH.deb: both programs,
# their manual pages (docs/), the desktop entry, icon and AppStream metainfo (app/resources/),
# the bash completion, examples, copyright and changelog (packaging/). Depends is computed from
# the binaries by dpkg-shlibdeps. packaging/changelog is the one record of releases: the package
# takes its maintainer from it, the manual pages its date.

set(lyremap_changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${lyremap_changelog})
file(STRINGS ${lyremap_changelog} lyremap_release REGEX "^lyremap \\(" LIMIT_COUNT 1)
file(STRINGS ${lyremap_changelog} lyremap_signature REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX REPLACE "^lyremap \\(([^)]*)\\).*" "\\1" lyremap_release_version "${lyremap_release}")
string(REGEX REPLACE "^ -- (.*>)  (.*)$" "\\1" lyremap_maintainer "${lyremap_signature}")
string(REGEX REPLACE "^ -- (.*>)  (.*)$" "\\2" lyremap_release_date "${lyremap_signature}")
if(NOT lyremap_release_version STREQUAL PROJECT_VERSION)
    message(WARNING "packaging/changelog ends at ${lyremap_release_version}, the project is at "
                    "${PROJECT_VERSION}: add an entry for the new version")
endif()
execute_process(COMMAND date -u -d "${lyremap_release_date}" +%s
                OUTPUT_VARIABLE LYREMAP_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE lyremap_date_status)
if(NOT lyremap_date_status EQUAL 0)
    message(FATAL_ERROR "packaging/changelog: cannot read the date '${lyremap_release_date}'")
endif()

add_subdirectory(docs)
add_subdirectory(packaging)
if(BUILD_TESTING)
    add_subdirectory(tests/package)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lyremap)
set(CPACK_PACKAGE_VENDOR "The lyremap developers")
set(CPACK_PACKAGE_CONTACT "${lyremap_maintainer}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Folders the install makes are 0755 in the package whatever the umask of whoever runs cpack.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for window-layout files")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[lyremap shows the window layouts of a game's user-interface toolkit at a
glance. A layout file is XML whose nested widget elements hold frame elements
that give rectangles; lyremap draws every frame as a one-pixel outline on an
800 by 600 map, exactly where the file puts it.

The package holds two programs over one core: lyremap-viewer, the desktop
viewer, which opens one file at a time and copies the map to the clipboard;
and lyremap-render, the same open and drawing without a window, which prints
the drawing calls or writes the map as a PNG image, for scripts and checks.]])
include(CPack)
