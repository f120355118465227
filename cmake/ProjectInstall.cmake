# Installation layout (cmake --install build --prefix P):
#   P/bin                       the desktop applications and the command-line tools
#   P/share/glyphora/resources  the handshape pictures of glyphora's
#                               configuration window (found from bin/../share)
#   P/share/vestiga/workflow    the corpus workflow (Snakefile, its helper, the
#                               Slurm profile)
include(GNUInstallDirs)

# project_install_tools(TARGET...): installs command-line tools into the
# programs' folder. Call it for every executable a user runs (tools under
# */tools), from any directory once the targets exist.
function(project_install_tools)
  foreach(target IN LISTS ARGN)
    if(NOT TARGET ${target})
      message(FATAL_ERROR "project_install_tools: no target ${target}")
    endif()
  endforeach()
  install(TARGETS ${ARGN} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
