# Builds PROGRAM with the C compiler (prelude.h supplies Test) and runs it,
# runs it through lodvane-script, and compares the two outputs and statuses.
#   -DRUNNER=path -DCC=compiler -DPROGRAM=NAME.c -DWORK=scratch directory
#   [-DWRAPPER="valgrind ..."] around the script run
get_filename_component(name ${PROGRAM} NAME_WE)
file(MAKE_DIRECTORY ${WORK})
set(binary ${WORK}/differential_${name})
execute_process(COMMAND ${CC} -O0 -w -include prelude.h ${PROGRAM} -o ${binary}
                RESULT_VARIABLE built ERROR_VARIABLE build_errors)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} does not build as C:\n${build_errors}")
endif()
execute_process(COMMAND ${binary} OUTPUT_VARIABLE native_output RESULT_VARIABLE native_status)
separate_arguments(wrapper UNIX_COMMAND "${WRAPPER}")
execute_process(COMMAND ${wrapper} ${RUNNER} ${PROGRAM} OUTPUT_VARIABLE script_output RESULT_VARIABLE script_status)
if(NOT native_output STREQUAL script_output)
  message(FATAL_ERROR "${PROGRAM}: outputs differ\n--- C\n${native_output}--- script\n${script_output}")
endif()
if(NOT native_status STREQUAL script_status)
  message(FATAL_ERROR "${PROGRAM}: C exits ${native_status}, script ${script_status}")
endif()
