# Run by cmake --install (see CMakeLists.txt): notes in a record what the
# install put in place and the directories it made, for uninstall.cmake.
# Installs under DESTDIR, cpack's among them, are staging and are not noted.

# Before anything is installed: which of the directories DIRS (relative to
# the prefix) and their parents are not there yet.
function(plom_note_new_dirs)
  set(new "")
  if("$ENV{DESTDIR}" STREQUAL "")
    foreach(dir IN LISTS ARGN)
      cmake_path(ABSOLUTE_PATH dir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE)
      string(REGEX REPLACE "(.)/+$" "\\1" dir "${dir}")
      while(NOT EXISTS "${dir}" AND NOT IS_SYMLINK "${dir}")
        list(APPEND new "${dir}")
        cmake_path(GET dir PARENT_PATH dir)
      endwhile()
    endforeach()
  endif()
  set(plom_new_dirs "${new}" PARENT_SCOPE)
endfunction()

# After everything is installed: adds the installed files and the new
# directories to RECORD, which accumulates until an uninstall removes it.
function(plom_note_installed record)
  if(NOT "$ENV{DESTDIR}" STREQUAL "")
    return()
  endif()
  set(lines "")
  foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
    string(APPEND lines "list(APPEND installed_files [==[${file}]==])\n")
  endforeach()
  foreach(dir IN LISTS plom_new_dirs)
    string(APPEND lines "list(APPEND created_dirs [==[${dir}]==])\n")
  endforeach()
  file(APPEND "${record}" "${lines}")
endfunction()
