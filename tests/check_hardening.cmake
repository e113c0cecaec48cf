# Each binary binds every symbol at load time behind a read-only relocation
# segment, calls the stack protector, is position independent and, in an
# optimised build, calls fortified libc functions.
set(required
  "BIND_NOW" "\\(BIND_NOW\\)|\\(FLAGS_1\\)[^\n]*NOW"
  "GNU_RELRO" "GNU_RELRO"
  "stack protector" "__stack_chk_fail"
  "position independence" "Type: +DYN")
if(FORTIFIED)
  list(APPEND required "fortified calls" "__[a-z_]+_chk@")
endif()
foreach(binary IN LISTS BINARIES)
  execute_process(COMMAND ${READELF} -W --dynamic --program-headers --file-header --dyn-syms ${binary}
    OUTPUT_VARIABLE elf RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "readelf failed on ${binary}")
  endif()
  set(missing "")
  set(rest ${required})
  while(rest)
    list(POP_FRONT rest what pattern)
    if(NOT elf MATCHES "${pattern}")
      list(APPEND missing "${what}")
    endif()
  endwhile()
  if(missing)
    message(FATAL_ERROR "${binary} lacks: ${missing}")
  endif()
endforeach()
