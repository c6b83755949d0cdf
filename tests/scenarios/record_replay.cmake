# Records a scenario's session into a trace, then replays the trace in a fresh program: every
# write must come out as recorded.
file(REMOVE_RECURSE ${WORKDIR})
file(MAKE_DIRECTORY ${WORKDIR}/record ${WORKDIR}/replay)
execute_process(COMMAND ${EMULATOR} ${HARNESS} --workdir ${WORKDIR}/record --trace ${WORKDIR}/session.trace ${SCRIPT}
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "recording ${SCRIPT} failed with ${status}")
endif()
file(WRITE ${WORKDIR}/replay.script "replay ${WORKDIR}/session.trace\n")
execute_process(COMMAND ${EMULATOR} ${HARNESS} --workdir ${WORKDIR}/replay ${WORKDIR}/replay.script
                OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT out MATCHES "replay [1-9][0-9]* ticks, 0 differ\n$")
  message(FATAL_ERROR "replay of ${SCRIPT} differs:\n${out}")
endif()
