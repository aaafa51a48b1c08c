# Installation: the header, the shared library, the tool and its manual
# page, a CMake package (find_package(qrimage) gives qrimage::qrimage), a
# pkg-config file and the license; and the Debian packages made of them.
#
# Three components, split as Debian splits a library:
#   library      the shared library            (package libqrimage1)
#   development  header, .so link, CMake package and pkg-config file
#                                               (package libqrimage-dev)
#   tool         the tool and its manual page   (package qrimage)
# The license goes to the doc folder of a plain install; the packages carry
# it in their copyright files instead.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QRIMAGE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qrimage)
# The manual page and the Debian changelogs are installed compressed.
find_program(QRIMAGE_GZIP gzip)
if(NOT QRIMAGE_GZIP)
  message(FATAL_ERROR "Installing qrimage needs gzip")
endif()

install(TARGETS qrimage EXPORT qrimageTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
    NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/qrimage.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
if(TARGET qrimage_tool)
  install(TARGETS qrimage_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  # Manual pages are installed compressed, as man-db reads them.
  set(QRIMAGE_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/man/qrimage.1)
  add_custom_command(OUTPUT ${QRIMAGE_MAN_PAGE}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/tool/qrimage.1 ${QRIMAGE_MAN_PAGE}
    COMMAND ${QRIMAGE_GZIP} -9nf ${QRIMAGE_MAN_PAGE}
    DEPENDS tool/qrimage.1
    VERBATIM)
  add_custom_target(qrimage_man_page ALL DEPENDS ${QRIMAGE_MAN_PAGE}.gz)
  install(FILES ${QRIMAGE_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
endif()
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT license)

install(EXPORT qrimageTargets NAMESPACE qrimage:: DESTINATION ${QRIMAGE_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(cmake/qrimageConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/qrimageConfig.cmake
  INSTALL_DESTINATION ${QRIMAGE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qrimageConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/qrimageConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/qrimageConfigVersion.cmake
  DESTINATION ${QRIMAGE_CMAKE_DIR} COMPONENT development)

# The pkg-config file names the prefix it is installed under, as a plain
# path: the configured one, or the one given to `cmake --install --prefix`.
# (A tree unpacked elsewhere is used with --define-variable=prefix=...)
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(QRIMAGE_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(QRIMAGE_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
# Two steps: the folders now, the prefix (kept as @QRIMAGE_PC_PREFIX@ until
# then) when installing.
set(QRIMAGE_PC_PREFIX @QRIMAGE_PC_PREFIX@)
configure_file(cmake/qrimage.pc.in ${CMAKE_CURRENT_BINARY_DIR}/qrimage.pc.in @ONLY)
install(CODE "
  get_filename_component(QRIMAGE_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
  configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/qrimage.pc.in\"
    \"${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/qrimage.pc\" @ONLY)
" COMPONENT development)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/qrimage.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# Debian packages: `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr and -DCPACK_PACKAGE_CONTACT="Name <mail>"
# (without one, cpack_options.cmake stops cpack and says so).
set(CPACK_PACKAGE_CONTACT "" CACHE STRING
  "Maintainer of the Debian packages, as \"Name <mail>\"")
set(CPACK_QRIMAGE_CONFIGURED_CONTACT "${CPACK_PACKAGE_CONTACT}")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_options.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_NAME qrimage)
set(CPACK_PACKAGE_VENDOR "the qrimage authors")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library development)
if(TARGET qrimage_tool)
  list(APPEND CPACK_COMPONENTS_ALL tool)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(QRIMAGE_DEB_ABOUT "\
qrimage encodes a text (byte mode, versions 1 to 40, levels L, M, Q, H) as a
QR Code symbol and writes it as a 1-bit-per-pixel BMP file through one C
function, QRImage(text, level, path).")
set(QRIMAGE_DEB_LIBRARY lib${PROJECT_NAME}${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${QRIMAGE_DEB_LIBRARY})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "QR Code symbols as 1-bit BMP files - shared library
${QRIMAGE_DEB_ABOUT}
This package holds the shared library.")
# The loader's cache is brought up to date by libc's ldconfig trigger, with
# no maintainer scripts. CPack would add scripts that run ldconfig as soon as
# it looks into the package for the libraries a shared object needs, so
# cpack_options.cmake finds the library's dependencies itself, from the
# library built here. The shlibs file tells packages built against the
# library which package gives its soname.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SHLIBDEPS OFF)
get_property(QRIMAGE_MULTI_CONFIG GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(NOT QRIMAGE_MULTI_CONFIG)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/library_path
    CONTENT "$<TARGET_FILE:qrimage>")
endif()
set(CPACK_QRIMAGE_DEBIAN_DIR ${CMAKE_CURRENT_BINARY_DIR}/debian)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/control "")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/shlibs
  "libqrimage ${PROJECT_VERSION_MAJOR} ${QRIMAGE_DEB_LIBRARY} (>= ${PROJECT_VERSION})\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/cmake/debian/triggers ${CMAKE_CURRENT_BINARY_DIR}/debian/shlibs)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME lib${PROJECT_NAME}-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "QR Code symbols as 1-bit BMP files - development files
${QRIMAGE_DEB_ABOUT}
This package holds the header, the CMake package and the pkg-config file.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "QR Code symbols as image files - command-line tool
qrimage writes a text as a QR Code symbol into a BMP, PNG, SVG, PDF or PBM
picture, or as text, and shows it in the terminal. It takes the smallest
symbol that holds the text, in numeric, alphanumeric and byte segments,
and the highest error-correction level that keeps that size; the picture
is sized in pixels per module or in millimetres for print. Long texts are
written as a structured-append sequence (--split), many texts in one run
(--batch).")

# Each package's doc folder holds a changelog and the license as copyright
# file. They are Debian's files, so a plain install leaves them out.
if(CPACK_PACKAGE_CONTACT)
  string(TIMESTAMP QRIMAGE_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(cmake/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
  execute_process(COMMAND ${QRIMAGE_GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on debian/changelog")
  endif()
  foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER ${component} component_upper)
    set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${component_upper}_PACKAGE_NAME})
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz DESTINATION ${doc_dir}
      COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES LICENSE DESTINATION ${doc_dir} RENAME copyright
      COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
endif()
