# Checks the include lines of every source file below SRC against the order of the
# folders: a core folder uses only itself and the folders before it in FOLDERS (the
# order in which the libraries link), never a header of a ui/ folder. ui/ folders and
# app may include any folder. Prints one line per include against the order and fails
# when there is one.
#
#   cmake -DSRC=<source folder> -DFOLDERS=base,platform,... -P CheckIncludes.cmake
if(NOT IS_DIRECTORY "${SRC}" OR NOT FOLDERS)
  message(FATAL_ERROR "usage: cmake -DSRC=<dir> -DFOLDERS=a,b,... -P CheckIncludes.cmake")
endif()
get_filename_component(SRC "${SRC}" ABSOLUTE)
string(REPLACE "," ";" order "${FOLDERS}")

file(GLOB_RECURSE files RELATIVE "${SRC}" "${SRC}/*.h" "${SRC}/*.hpp" "${SRC}/*.cpp" "${SRC}/*.cc")
list(SORT files)
set(checked 0)
set(bad 0)
foreach(f IN LISTS files)
  string(REGEX MATCH "^[^/]+" folder "${f}")
  list(FIND order "${folder}" rank)
  if(rank LESS 0)
    message("${f}: ${folder}/ is not one of the folders (${FOLDERS})")
    math(EXPR bad "${bad} + 1")
    continue()
  endif()
  # The window layer sits above every core folder.
  if(folder STREQUAL "app" OR f MATCHES "/ui/")
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  file(STRINGS "${SRC}/${f}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" inc "${line}")
    string(REGEX MATCH "^[^/]+" incFolder "${inc}")
    list(FIND order "${incFolder}" incRank)
    if(incRank LESS 0 OR NOT inc MATCHES "/")
      message("${f}: includes ${inc}, which is in no source folder")
      math(EXPR bad "${bad} + 1")
    elseif(inc MATCHES "/ui/")
      message("${f}: includes ${inc} of the window layer")
      math(EXPR bad "${bad} + 1")
    elseif(incRank GREATER rank)
      message("${f}: includes ${inc}, but ${incFolder}/ comes after ${folder}/")
      math(EXPR bad "${bad} + 1")
    endif()
  endforeach()
endforeach()

if(bad GREATER 0)
  message(FATAL_ERROR "${bad} include(s) against the order of the folders")
endif()
message("${checked} core files include only their own and earlier folders")
