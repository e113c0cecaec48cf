# Installs the build into a fresh prefix, then builds the consumer example
# against it twice, through find_package and through pkg-config, and runs
# both.
set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  message("${out}")
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(f lib/librasterkit.so lib/librasterkit.so.0 include/rasterkit.h bin/rasterkit
          lib/librasterkit_convert.so lib/librasterkit_convert.so.0 include/rasterkit_convert.h
          lib/pkgconfig/rasterkit.pc lib/pkgconfig/rasterkit_convert.pc lib/cmake/rasterkit/rasterkitConfig.cmake share/man/man1/rasterkit.1)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/cmake-build -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-build)
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib ${WORK}/cmake-build/example)
# The conversion library finds rasterkit beside itself, without a search path.
execute_process(COMMAND ${WORK}/cmake-build/convert_example WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status
  OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "refused: .*more than the limit of 11")
  message(FATAL_ERROR "convert_example: status ${status}\n${out}\n${err}")
endif()

set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs rasterkit OUTPUT_VARIABLE flags RESULT_VARIABLE status
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know rasterkit")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${C_COMPILER} ${SOURCE}/example.c -o ${WORK}/pkgconfig-example ${flags})
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib ${WORK}/pkgconfig-example)
execute_process(COMMAND pkg-config --cflags --libs rasterkit_convert OUTPUT_VARIABLE flags RESULT_VARIABLE status
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know rasterkit_convert")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${C_COMPILER} ${SOURCE}/convert_example.c -o ${WORK}/pkgconfig-convert-example ${flags})
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib ${WORK}/pkgconfig-convert-example)
