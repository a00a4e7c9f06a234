# Copies IN to OUT and pads it with zero bytes to exactly SIZE bytes; an image
# already larger than SIZE is an error, never a silent cut.
file(SIZE ${IN} in_size)
if(in_size GREATER SIZE)
    message(FATAL_ERROR "${IN} is ${in_size} bytes, more than the ${SIZE} it must be")
endif()
get_filename_component(dir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
file(COPY_FILE ${IN} ${OUT})
execute_process(COMMAND truncate -s ${SIZE} ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot pad ${OUT}")
endif()
