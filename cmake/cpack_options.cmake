# Read by cpack before it builds packages (CPACK_PROJECT_CONFIG_FILE): the
# Debian packages need a maintainer and the /usr prefix, both chosen when the
# build is configured, since the changelogs and the library folder depend on
# them.
if(CPACK_GENERATOR STREQUAL "DEB")
  if(NOT CPACK_QRIMAGE_CONFIGURED_CONTACT OR
     NOT CPACK_PACKAGE_CONTACT STREQUAL CPACK_QRIMAGE_CONFIGURED_CONTACT)
    message(FATAL_ERROR "The Debian packages take their maintainer from the configured build: "
      "cmake -DCPACK_PACKAGE_CONTACT=\"Name <mail@example.org>\" ...")
  endif()
  if(NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
    message(FATAL_ERROR "The Debian packages install under /usr, with the library in "
      "the multiarch folder; configure with -DCMAKE_INSTALL_PREFIX=/usr "
      "(now ${CPACK_PACKAGING_INSTALL_PREFIX}).")
  endif()
  # The library's dependencies, as dpkg-shlibdeps finds them (it reads
  # debian/control from its working folder; an empty one will do).
  if(NOT EXISTS ${CPACK_QRIMAGE_DEBIAN_DIR}/library_path)
    message(FATAL_ERROR "The Debian packages are made from a single-configuration build "
      "(the Unix Makefiles or Ninja generator).")
  endif()
  file(READ ${CPACK_QRIMAGE_DEBIAN_DIR}/library_path library)
  execute_process(COMMAND dpkg-shlibdeps -O ${library}
    WORKING_DIRECTORY ${CPACK_QRIMAGE_DEBIAN_DIR}/..
    OUTPUT_VARIABLE substvars ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT substvars MATCHES "shlibs:Depends=([^\n]+)")
    message(FATAL_ERROR "dpkg-shlibdeps (Debian package dpkg-dev) found no "
      "dependencies of ${library}: ${errors}")
  endif()
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
  # Each package has a summary line of its own, the first of its description.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
endif()
