# Runs one script through lodvane-script and compares what it printed and its
# exit status with NAME.expected and the script's "// exit: N" first line
# (0 when absent). A "// args: ..." line gives the arguments after the file,
# a "// runner: ..." line the runner's options before it.
#   -DRUNNER=path -DSCRIPT=NAME.c [-DWRAPPER="valgrind ..."]
file(STRINGS ${SCRIPT} header LIMIT_COUNT 3)
set(expected_status 0)
set(args)
set(options)
foreach(line IN LISTS header)
  if(line MATCHES "^// exit: (-?[0-9]+)")
    set(expected_status ${CMAKE_MATCH_1})
  elseif(line MATCHES "^// args: (.*)$")
    separate_arguments(args UNIX_COMMAND "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^// runner: (.*)$")
    separate_arguments(options UNIX_COMMAND "${CMAKE_MATCH_1}")
  endif()
endforeach()
separate_arguments(wrapper UNIX_COMMAND "${WRAPPER}")
execute_process(COMMAND ${wrapper} ${RUNNER} ${options} ${SCRIPT} ${args}
                OUTPUT_VARIABLE output RESULT_VARIABLE status ERROR_VARIABLE errors)
string(REGEX REPLACE "\\.c$" ".expected" expected_file ${SCRIPT})
file(READ ${expected_file} expected)
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "${SCRIPT}: output differs\n--- expected\n${expected}--- got\n${output}${errors}")
endif()
if(NOT status STREQUAL expected_status)
  message(FATAL_ERROR "${SCRIPT}: exit status ${status}, expected ${expected_status}\n${errors}")
endif()
