# Runs a session against the simulator with a trace, then the same session on the program's own
# replay of that trace (--replay): every page must show the same. Only the replay's own lines
# differ: its status text, its summary and its closing message box.
file(REMOVE_RECURSE ${WORKDIR})
file(MAKE_DIRECTORY ${WORKDIR}/demo ${WORKDIR}/replay)
execute_process(COMMAND ${EMULATOR} ${HARNESS} --workdir ${WORKDIR}/demo --demo --trace ${WORKDIR}/drive.trace
                        ${SESSION}
                OUTPUT_VARIABLE demo RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the session against the simulator failed with ${status}:\n${demo}")
endif()
execute_process(COMMAND ${EMULATOR} ${HARNESS} --workdir ${WORKDIR}/replay --replay ${WORKDIR}/drive.trace
                        ${SESSION}
                OUTPUT_VARIABLE replay RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the replay failed with ${status}:\n${replay}")
endif()
if(NOT replay MATCHES "\nreplay [1-9][0-9]* ticks, 0 differ\n")
  message(FATAL_ERROR "the replay's writes differ from the trace:\n${replay}")
endif()
foreach(pattern "StatusBar1 0: [^\n]*\n" "replay [^\n]*\n" "msgbox Воспроизведение [^\n]*\n")
  string(REGEX REPLACE "${pattern}" "" demo "${demo}")
  string(REGEX REPLACE "${pattern}" "" replay "${replay}")
endforeach()
if(NOT demo STREQUAL replay)
  file(WRITE ${WORKDIR}/demo.out "${demo}")
  file(WRITE ${WORKDIR}/replay.out "${replay}")
  execute_process(COMMAND diff -u ${WORKDIR}/demo.out ${WORKDIR}/replay.out)
  message(FATAL_ERROR "the replay shows other values than the session it recorded")
endif()
