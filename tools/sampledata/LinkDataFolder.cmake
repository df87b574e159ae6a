# Prepares the bundle's data folder: with SOURCE, makes TARGET a symbolic
# link to it; without, makes sure TARGET is a real folder (removing a link
# left by an earlier configuration).
if(IS_SYMLINK "${TARGET}")
  file(REMOVE "${TARGET}")
endif()
if(DEFINED SOURCE AND NOT SOURCE STREQUAL "")
  if(NOT EXISTS "${SOURCE}/ontology.csv")
    message(FATAL_ERROR "No sample atlas in ${SOURCE}: build that folder's tree first.")
  endif()
  file(REMOVE_RECURSE "${TARGET}")
  get_filename_component(parent "${TARGET}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  file(CREATE_LINK "${SOURCE}" "${TARGET}" SYMBOLIC)
else()
  file(MAKE_DIRECTORY "${TARGET}")
endif()
