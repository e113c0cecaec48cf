# Runs every self-test under memcheck from WORK/run, with the fixtures
# copied to WORK/testimg; any leak or memory error fails.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/run ${WORK}/testimg)
file(GLOB fixtures ${FIXTURES}/testpfp0.*)
file(COPY ${fixtures} DESTINATION ${WORK}/testimg)
execute_process(
  COMMAND ${VALGRIND} --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all
          --error-exitcode=99 ${TOOL} selftest all
  WORKING_DIRECTORY ${WORK}/run
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "memcheck reported errors or leaks (status ${status}):\n${err}")
endif()
if(NOT err MATCHES "All heap blocks were freed")
  message(FATAL_ERROR "memcheck did not report a clean heap:\n${err}")
endif()
