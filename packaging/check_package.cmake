# Run by cpack after it has made a package. A Debian package must depend on
# what its programs load; cpack makes one with no dependencies at all when
# it cannot compute them (no dpkg-shlibdeps, or one that finds nothing) and
# says so only in passing. Such a package is removed and cpack fails.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
find_program(PLOM_DPKG_DEB dpkg-deb)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(depends "")
  if(PLOM_DPKG_DEB)
    execute_process(COMMAND ${PLOM_DPKG_DEB} --field ${package} Depends
      OUTPUT_VARIABLE depends OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT depends MATCHES "(^|, )libc6( |,|$)" OR NOT depends MATCHES "(^|, )libglib2\\.0-0")
    file(REMOVE ${package})
    get_filename_component(name ${package} NAME)
    message(FATAL_ERROR "${name}: no dependencies on libc6 and libglib2.0-0 (Depends: "
      "\"${depends}\"): they could not be computed; cpack needs dpkg-shlibdeps, from "
      "dpkg-dev, for that. The package is removed.")
  endif()
endforeach()
