# Writes the installer's size, the stored records' total and the difference: the
# installer's own overhead, decoder and agreement included. The overhead has a ceiling;
# the size that counts is the total that users download, which bench/peer.sh sets
# against its peer's.
file(SIZE ${EXE} exe_size)
file(SIZE ${LIBRARY} library_size)
file(SIZE ${LAUNCHER} launcher_size)
math(EXPR stored "${library_size} + ${launcher_size}")
math(EXPR overhead "${exe_size} - ${stored}")
math(EXPR ceiling "44 * 1024")
if(NOT COMPRESS)
    # A raw build also carries the agreement raw; it is only for comparison.
    set(limit "raw build")
else()
    set(limit "at most ${ceiling}")
endif()
set(text "installer ${exe_size} bytes\nstored images ${stored} bytes\noverhead ${overhead} bytes (${limit})\n")
file(WRITE ${OUT} "${text}")
if(COMPRESS AND overhead GREATER ceiling)
    message(WARNING "QM-Install.exe overhead: ${overhead} bytes, more than ${ceiling}")
else()
    message(STATUS "QM-Install.exe overhead: ${overhead} bytes (${limit})")
endif()
