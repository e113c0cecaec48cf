# The command-line tool: help, info, every transform and format of convert,
# selftest, and the exit status and error line of bad usage and bad files.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# expect(STATUS PATTERN_IN_OUTPUT ARGS...): runs the tool with ARGS.
function(expect status pattern)
  execute_process(COMMAND ${TOOL} ${ARGN} WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE got OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT got EQUAL status)
    message(FATAL_ERROR "rasterkit ${ARGN}: status ${got}, expected ${status}\n${out}\n${err}")
  endif()
  if(NOT "${out}${err}" MATCHES "${pattern}")
    message(FATAL_ERROR "rasterkit ${ARGN}: output does not match '${pattern}':\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

set(png ${FIXTURES}/testpfp0.png)
set(jpg ${FIXTURES}/testpfp0.jpg)
set(bmp ${FIXTURES}/testpfp0.bmp)

expect(0 "usage: rasterkit <command>" --help)
expect(0 "rasterkit [0-9]+\\.[0-9]+" --version)
expect(0 "usage: rasterkit convert" convert --help)
expect(0 "usage: rasterkit info" info --help)
expect(0 "usage: rasterkit selftest" selftest --help)
expect(0 "testpfp0.bmp: bmp 192x128\n.*testpfp0.png: png 192x128\n.*testpfp0.jpg: jpeg 192x128" info ${bmp} ${png} ${jpg})

# Each transform and each output format, checked through info.
expect(0 "" convert ${png} ${WORK}/t.png --transpose)
expect(0 ": png 128x192" info ${WORK}/t.png)
expect(0 "" convert ${jpg} ${WORK}/x.bmp --flip-x --flip-y)
expect(0 ": bmp 192x128" info ${WORK}/x.bmp)
expect(0 "" convert ${bmp} ${WORK}/q.jpg --quality 50 --transpose)
expect(0 ": jpeg 128x192" info ${WORK}/q.jpg)
expect(0 "" convert ${bmp} ${WORK}/named.dat --format jpeg)
expect(0 ": jpeg 192x128" info ${WORK}/named.dat)
expect(0 "unidentified extension" convert ${bmp} ${WORK}/odd.tif)
expect(0 ": png 192x128" info ${WORK}/odd.tif)

# A mirror twice is the identity: the PNG round trip is exact.
expect(0 "" convert ${png} ${WORK}/m1.png --flip-x)
expect(0 "" convert ${WORK}/m1.png ${WORK}/m2.png --flip-x)
expect(0 "" convert ${png} ${WORK}/m0.png)
file(READ ${WORK}/m0.png a HEX)
file(READ ${WORK}/m2.png b HEX)
if(NOT a STREQUAL b)
  message(FATAL_ERROR "flipping twice changed the image")
endif()

# Bad usage: status 2; failed operations: status 1 naming the file.
expect(2 "no command given")
expect(2 "unknown command 'frobnicate'" frobnicate)
expect(2 "convert needs IN and OUT" convert ${png})
expect(2 "quality applies to JPEG output only" convert ${png} ${WORK}/a.png --quality 80)
expect(2 "quality must be a whole number" convert ${png} ${WORK}/a.jpg --quality 101)
expect(2 "compression applies to PNG output only" convert ${png} ${WORK}/a.jpg --compression 5)
expect(2 "compression must be a whole number" convert ${png} ${WORK}/a.png --compression 10)
expect(2 "unknown format 'gif'" convert ${png} ${WORK}/a.gif --format gif)
expect(2 "unknown option '--spin'" convert ${png} ${WORK}/a.png --spin)
expect(2 "info needs at least one file" info)
expect(2 "unknown self-test 'everything'" selftest everything)
file(WRITE ${WORK}/junk.png "this is not an image at all")
expect(1 "rasterkit: ${WORK}/junk.png: not a readable BMP, PNG or JPEG file" info ${WORK}/junk.png)
expect(1 "rasterkit: ${WORK}/missing.jpg: cannot be opened \\(No such file or directory\\)" info ${WORK}/missing.jpg)
expect(1 "rasterkit: ${WORK}/junk.png: not a readable BMP, PNG or JPEG file" convert ${WORK}/junk.png ${WORK}/out.png)
expect(1 "rasterkit: ${WORK}/no/such/dir.png: could not be written" convert ${png} ${WORK}/no/such/dir.png)
# info reads headers only: a file whose pixels are damaged still shows its
# size, and only the conversion finds the damage.
expect(1 "xhdn0g08.png: cannot be read as png \\(IHDR: CRC error\\)" info ${CORPUS}/pngsuite/xhdn0g08.png)
expect(0 "xcsn0g01.png: png 32x32" info ${CORPUS}/pngsuite/xcsn0g01.png)
expect(1 "xcsn0g01.png: damaged PNG data \\(IDAT: CRC error\\)" convert ${CORPUS}/pngsuite/xcsn0g01.png ${WORK}/xcs.png)

# The self-tests through the tool, from a folder whose ../testimg/ has the fixtures.
file(MAKE_DIRECTORY ${WORK}/st/run ${WORK}/st/testimg)
file(COPY ${bmp} ${png} ${jpg} DESTINATION ${WORK}/st/testimg)
expect(0 "res=0 \\(1000,1000\\)" selftest init -C ${WORK}/st/run)
expect(0 "read in \\(192,128\\) jpg image" selftest loadsave -C ${WORK}/st/run)
expect(0 "Wrote [0-9]+ bytes to buffer\n\\." selftest -C ${WORK}/st/run binreadwrite)

# Corpus files of each kind.
if(EXISTS ${CORPUS}/README.md)
  expect(0 "rgb24.bmp: bmp 127x64" info ${CORPUS}/bmpsuite/g/rgb24.bmp)
  expect(0 "basn6a08.png: png 32x32" info ${CORPUS}/pngsuite/basn6a08.png)
  expect(0 "testorig.jpg: jpeg 227x149" info ${CORPUS}/jpeg/libjpeg-turbo/testorig.jpg)
  expect(0 "" convert ${CORPUS}/photos/kodim04.png ${WORK}/k.jpg --transpose)
  expect(0 "k.jpg: jpeg 768x512" info ${WORK}/k.jpg)
endif()
