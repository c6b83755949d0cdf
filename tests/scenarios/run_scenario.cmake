# Runs one scenario in a fresh working directory and compares its output byte for byte.
file(REMOVE_RECURSE ${WORKDIR})
file(MAKE_DIRECTORY ${WORKDIR})
get_filename_component(name ${SCRIPT} NAME_WE)
get_filename_component(dir ${SCRIPT} DIRECTORY)
# A scenario may bring files for its working directory in a folder of its own name.
if(IS_DIRECTORY ${dir}/${name}.files)
  file(COPY ${dir}/${name}.files/ DESTINATION ${WORKDIR})
endif()
set(args --workdir ${WORKDIR})
file(STRINGS ${SCRIPT} first_line LIMIT_COUNT 1)
if(first_line MATCHES "^# *demo")
  list(APPEND args --demo)
endif()
# "# replay FILE": the program's own replay of FILE, a trace beside the script.
if(first_line MATCHES "^# *replay +([^ ]+)")
  list(APPEND args --replay ${dir}/${CMAKE_MATCH_1})
endif()
# "# demo adapter kline": the program talks through that adapter's driver; "# demo adapter
# elm327 clone v1.5": through the simulated ELM327 clone; "# demo adapter elm327 bus can11": to
# a car whose generic OBD answers only on CAN.
if(first_line MATCHES "^# *(demo +)?adapter ([a-z0-9]+)( +clone +(v[0-9.]+))?( +bus +(can11|can29))? *$")
  list(APPEND args --adapter ${CMAKE_MATCH_2})
  if(CMAKE_MATCH_4)
    list(APPEND args --elm-clone ${CMAKE_MATCH_4})
  endif()
  if(CMAKE_MATCH_6)
    list(APPEND args --obd-bus ${CMAKE_MATCH_6})
  endif()
endif()
# A run of a scenario through another adapter than its own (tests/scenarios/CMakeLists.txt).
if(DEFINED EXTRA_ARGS)
  separate_arguments(extra UNIX_COMMAND "${EXTRA_ARGS}")
  list(APPEND args ${extra})
endif()
# EMULATOR runs a cross-built harness (Wine for the Windows build); empty elsewhere.
execute_process(COMMAND ${EMULATOR} ${HARNESS} ${args} ${SCRIPT}
                OUTPUT_VARIABLE actual RESULT_VARIABLE status)
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
  file(WRITE ${WORKDIR}/actual.out "${actual}")
  execute_process(COMMAND diff -u ${EXPECTED} ${WORKDIR}/actual.out)
  message(FATAL_ERROR "scenario ${name}: output differs (exit status ${status})")
endif()
