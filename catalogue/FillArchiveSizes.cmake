# Writes the served catalogue: the source catalogue with every version's
# "size" set to the byte count of its app's archive, which exists only once
# the apps are packed.
#   cmake -DSOURCE=catalogue.json.in -DOUTPUT=<store>/api/store/catalogue.json -P FillArchiveSizes.cmake
# Archive paths are relative to the catalogue's own folder, as clients
# resolve them against its URL.
file(READ "${SOURCE}" catalogue)
get_filename_component(folder "${OUTPUT}" DIRECTORY)
string(JSON app_count LENGTH "${catalogue}" apps)
math(EXPR last_app "${app_count} - 1")
foreach(app RANGE ${last_app})
  string(JSON archive GET "${catalogue}" apps ${app} archive)
  if(NOT EXISTS "${folder}/${archive}")
    message(FATAL_ERROR "The archive ${folder}/${archive} is missing")
  endif()
  file(SIZE "${folder}/${archive}" size)
  string(JSON version_count LENGTH "${catalogue}" apps ${app} versions)
  math(EXPR last_version "${version_count} - 1")
  foreach(version RANGE ${last_version})
    string(JSON catalogue SET "${catalogue}" apps ${app} versions ${version} size ${size})
  endforeach()
endforeach()
file(WRITE "${OUTPUT}.part" "${catalogue}\n")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
