# Four threads over a few dozen corpus files of every format, each written
# in another one: every file converts, and a sanitizer report fails the run.
file(REMOVE_RECURSE ${WORK})
file(GLOB inputs ${CORPUS}/pngsuite/bas*.png ${CORPUS}/bmpsuite/g/rgb24*.bmp ${CORPUS}/bmpsuite/g/pal8.bmp
     ${CORPUS}/jpeg/libjpeg-turbo/test*.jpg
     ${CORPUS}/jpeg/generated/testorig-4*.jpg ${CORPUS}/jpeg/generated/testorig-[dgpq]*.jpg ${CORPUS}/photos/kodim0*.png)
list(LENGTH inputs count)
if(count LESS 24)
  message(FATAL_ERROR "only ${count} corpus files under ${CORPUS}")
endif()
foreach(format bmp jpeg)
  execute_process(COMMAND ${TOOL} convert ${inputs} -o ${WORK}/${format} --format ${format} -j 4 --transpose
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT err MATCHES "${count} converted, 0 failed")
    message(FATAL_ERROR "batch to ${format}: status ${status}\n${err}")
  endif()
endforeach()
