# cmake -DSOURCE=<dir> -DDESTINATION=<dir> -P MirvoSyncResources.cmake
# Brings DESTINATION up to date with SOURCE, copying only files whose contents differ.
file(GLOB_RECURSE resource_files RELATIVE ${SOURCE} ${SOURCE}/*)
file(MAKE_DIRECTORY ${DESTINATION})
foreach(resource ${resource_files})
  if(resource MATCHES "(^|/)\\.gitkeep$")
    continue()
  endif()
  get_filename_component(resource_dir ${DESTINATION}/${resource} DIRECTORY)
  file(MAKE_DIRECTORY ${resource_dir})
  file(COPY_FILE ${SOURCE}/${resource} ${DESTINATION}/${resource} ONLY_IF_DIFFERENT)
endforeach()
