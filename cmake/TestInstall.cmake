# Installs the build into a fresh prefix and checks that a user finds the
# programs, the tools and the resources there, and that the installed
# programs run. Run as: cmake -DBUILD_DIR=... -DPREFIX=... -DPROGRAMS=a;b
#   -DTOOLS=c;d -P TestInstall.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${out}\n${err}")
endif()

foreach(program IN LISTS PROGRAMS TOOLS)
  if(NOT EXISTS "${PREFIX}/bin/${program}")
    message(FATAL_ERROR "${program} is not installed in ${PREFIX}/bin")
  endif()
endforeach()
file(GLOB pictures "${PREFIX}/share/glyphora/resources/*.png")
list(LENGTH pictures count)
if(count LESS 12)
  message(FATAL_ERROR "${count} handshape pictures in ${PREFIX}/share/glyphora/resources (12 or more expected)")
endif()

foreach(file Snakefile corpus_index.py profiles/slurm/config.yaml)
  if(NOT EXISTS "${PREFIX}/share/vestiga/workflow/${file}")
    message(FATAL_ERROR "the corpus workflow's ${file} is not installed in ${PREFIX}/share/vestiga/workflow")
  endif()
endforeach()

# The installed tools run from there (their libraries are found): each
# prints its usage for --help.
foreach(tool IN LISTS TOOLS)
  execute_process(COMMAND "${PREFIX}/bin/${tool}" --help
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT status MATCHES "^[0-2]$")
    message(FATAL_ERROR "${tool} from ${PREFIX}/bin did not run (${status}):\n${out}${err}")
  endif()
  if(NOT "${out}${err}" MATCHES "[Uu]sage")
    message(FATAL_ERROR "${tool} from ${PREFIX}/bin printed no usage for --help:\n${out}${err}")
  endif()
endforeach()
message(STATUS "installed into ${PREFIX}: ${PROGRAMS};${TOOLS} and ${count} pictures")
