# The version header, the desktop metadata, the man page, their install rules
# and the Debian package (cpack -G DEB in the release build, see
# scripts/package.sh). The version is project(VERSION); everything here takes
# it from there.

set(ZX_APP_ID com.example.zeltrix)
# The day PROJECT_VERSION was released, for the metadata and the changelog.
set(ZX_RELEASE_DATE 2026-12-09)
set(ZX_MAINTAINER "Brightfold Software <packages@brightfold.example>")

set(ZX_GENERATED ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/src/app/version.h.in ${ZX_GENERATED}/app/version.h @ONLY)
add_library(zx_version INTERFACE)
target_include_directories(zx_version INTERFACE ${ZX_GENERATED})

execute_process(COMMAND date -u -R -d "${ZX_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE ZX_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${PROJECT_SOURCE_DIR}/assets/${ZX_APP_ID}.metainfo.xml.in ${ZX_GENERATED}/${ZX_APP_ID}.metainfo.xml
               @ONLY)
# The package's changelog lists this version's section of CHANGELOG.md: each
# "### Kind" becomes an entry, its "- item" lines the entry's items, and lines
# indented by two spaces continue the item.
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md zx_changelog_lines ENCODING UTF-8)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
set(ZX_CHANGES "")
set(zx_in_release FALSE)
foreach(line IN LISTS zx_changelog_lines)
  if(line MATCHES "^## ")
    string(FIND "${line}" "## [${PROJECT_VERSION}]" zx_at)
    if(zx_at EQUAL 0)
      set(zx_in_release TRUE)
    else()
      set(zx_in_release FALSE)
    endif()
  elseif(zx_in_release AND line MATCHES "^### (.+)$")
    string(APPEND ZX_CHANGES "  * ${CMAKE_MATCH_1}\n")
  elseif(zx_in_release AND line MATCHES "^- (.+)$")
    string(APPEND ZX_CHANGES "    - ${CMAKE_MATCH_1}\n")
  elseif(zx_in_release AND line MATCHES "^  (.+)$")
    string(APPEND ZX_CHANGES "      ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
if(ZX_CHANGES STREQUAL "")
  message(FATAL_ERROR "CHANGELOG.md has no section for ${PROJECT_VERSION}")
endif()
string(REGEX REPLACE "\n$" "" ZX_CHANGES "${ZX_CHANGES}")
# Man pages and changelogs ship compressed, without a time stamp in the gzip
# header so that equal sources give equal packages.
foreach(doc zeltrix.1 changelog)
  configure_file(${PROJECT_SOURCE_DIR}/assets/${doc}.in ${ZX_GENERATED}/${doc} @ONLY)
  execute_process(COMMAND gzip -9nc ${ZX_GENERATED}/${doc} OUTPUT_FILE ${ZX_GENERATED}/${doc}.gz
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/assets/${ZX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZX_GENERATED}/${ZX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/zeltrix-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME zeltrix.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/zeltrix.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${ZX_GENERATED}/zeltrix.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/assets/copyright ${ZX_GENERATED}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zeltrix)
set(CPACK_PACKAGE_VENDOR "Brightfold Software")
set(CPACK_PACKAGE_CONTACT "${ZX_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "strip of web images on an always-on-top bar")
set(CPACK_PACKAGE_DESCRIPTION
    "Zeltrix keeps up to twenty web images on a borderless, always-on-top bar
that stays hidden until the pointer touches the top edge of the screen. Drag
an image out of a web browser onto a cell and the cell shows it; rest the
pointer on a cell for a preview at three sizes with the image's address. The
bar's addresses can be saved to a text file and loaded again, and its images
downloaded into a folder. Every image is shown by Qt WebEngine.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.zeltrix.example/)
# Dependencies: the libraries the binary links, as dpkg-shlibdeps finds them,
# and the web engine's helper process, which the binary starts but does not
# link. Debian 12's symbols file of the engine library names the helper as
# well, so it is added here only where that file does not, and listed once.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
file(GLOB zx_engine_symbols /var/lib/dpkg/info/libqt6webenginecore6*.symbols)
set(zx_engine_names_helper FALSE)
foreach(symbols IN LISTS zx_engine_symbols)
  file(STRINGS ${symbols} helper_lines REGEX "libqt6webenginecore6-bin")
  if(helper_lines)
    set(zx_engine_names_helper TRUE)
  endif()
endforeach()
if(NOT zx_engine_names_helper)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6webenginecore6-bin)
endif()
# Web pages of the about window open through xdg-open; the design font is
# Debian's face with Tahoma's metrics.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-dejavu-core, fonts-wine")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
