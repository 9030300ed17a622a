# Runs one command and checks its exit status and output.
#   -DCOMMAND=prog|arg|...  the command, arguments separated by |
#   -DSTATUS=N              the exit status it must end with
#   -DMATCH=regex           what its stdout and stderr together must contain
string(REPLACE "|" ";" command "${COMMAND}")
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT "${status}" STREQUAL "${STATUS}")
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}\nstdout: ${out}\nstderr: ${err}")
endif()
if(DEFINED MATCH AND NOT "${out}${err}" MATCHES "${MATCH}")
  message(FATAL_ERROR "output does not match '${MATCH}'\nstdout: ${out}\nstderr: ${err}")
endif()
