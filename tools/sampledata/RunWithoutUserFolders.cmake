# Runs COMMAND (its words separated by "|") with HOME and the XDG folders pointed into a fresh
# folder WORK, and fails when the command fails or leaves anything in them:
# the tools must not make the user's folders (the application's first run
# makes them).
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/home")
set(ENV{HOME} "${WORK}/home")
foreach(kind DATA CACHE CONFIG)
  string(TOLOWER "${kind}" name)
  set(ENV{XDG_${kind}_HOME} "${WORK}/home/${name}")
endforeach()
string(REPLACE "|" ";" words "${COMMAND}")
execute_process(COMMAND ${words} RESULT_VARIABLE result)
file(GLOB_RECURSE made LIST_DIRECTORIES true "${WORK}/home/*")
file(REMOVE_RECURSE "${WORK}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The command failed (${result}).")
endif()
if(made)
  message(FATAL_ERROR "The command wrote into the user's folders: ${made}")
endif()
