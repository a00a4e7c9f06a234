# Writes the installer's size, the stored records' total and the difference: the
# installer's own overhead, decoder and agreement included.
file(SIZE ${EXE} exe_size)
file(SIZE ${LIBRARY} library_size)
file(SIZE ${LAUNCHER} launcher_size)
math(EXPR stored "${library_size} + ${launcher_size}")
math(EXPR overhead "${exe_size} - ${stored}")
math(EXPR budget "40 * 1024")
set(text "installer ${exe_size} bytes\nstored images ${stored} bytes\noverhead ${overhead} bytes (budget ${budget})\n")
file(WRITE ${OUT} "${text}")
message(STATUS "QM-Install.exe overhead: ${overhead} of ${budget} bytes")
