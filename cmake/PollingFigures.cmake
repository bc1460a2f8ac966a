# The detection cycle's figures, for the scripts and benchmarks that wait on the program:
# read from the constants the program is built with (detection/PollingFigures.h) and
# written to polling-figures.env in the build folder, as lines a shell can source.
#
#   POLL_WAIT_MS, COMMAND_SPACING_MS, TOOL_ANSWER_WAIT_MS, RUN_START_WAIT_MS,
#   DEFAULT_RETRY_COUNT, FAILED_READS_PER_RESEND, HUNG_RUN_MS, SETTLE_AFTER_MS,
#   SETTLED_POLL_MS    the constants themselves
#   CYCLE_MS           how often a charger is read while the tool answers at once
#   GIVE_UP_MS_FORMULA the time from a charger tool that stops answering (its runs end
#                      without a value) until the program ends itself, for RETRY_COUNT:
#                      shell arithmetic over these names
#   GIVE_UP_MS         the same for the default retry count
#
# The program gives up at the (retry count + 1)th failed read in a row. The first of them
# comes at the end of the first unanswered command's run, which is typed a command spacing
# after the one before; the others each one wait after the read before, and every
# FAILED_READS_PER_RESEND failed reads before the last the command is typed again, which
# adds its run's time. A tool run still going at a resend is left to answer instead;
# probing again at a resend (no chip found so far) adds its own time.
set(VWN_GIVE_UP_MS_FORMULA "COMMAND_SPACING_MS + RETRY_COUNT * POLL_WAIT_MS")

# vwn_polling_figures(HEADER OUTPUT): HEADER relative to the source folder.
function(vwn_polling_figures header output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${header})
  file(STRINGS ${CMAKE_SOURCE_DIR}/${header} lines REGEX "^constexpr [a-z ]+ k[A-Za-z]+ = [0-9]+;")
  set(names "")
  foreach(line ${lines})
    string(REGEX REPLACE "^constexpr [a-z ]+ k([A-Za-z]+) = ([0-9]+);.*" "\\1;\\2" pair "${line}")
    list(GET pair 0 camel)
    list(GET pair 1 value)
    # kPollWaitMs -> POLL_WAIT_MS
    string(REGEX REPLACE "([a-z])([A-Z])" "\\1_\\2" name "${camel}")
    string(TOUPPER "${name}" name)
    set(${name} ${value})
    list(APPEND names ${name})
  endforeach()
  foreach(name POLL_WAIT_MS COMMAND_SPACING_MS TOOL_ANSWER_WAIT_MS RUN_START_WAIT_MS DEFAULT_RETRY_COUNT
               FAILED_READS_PER_RESEND HUNG_RUN_MS SETTLE_AFTER_MS SETTLED_POLL_MS)
    if(NOT DEFINED ${name})
      message(FATAL_ERROR "${header} has no constexpr line for ${name}")
    endif()
  endforeach()
  set(CYCLE_MS ${COMMAND_SPACING_MS})
  set(RETRY_COUNT ${DEFAULT_RETRY_COUNT})
  set(expression "${VWN_GIVE_UP_MS_FORMULA}")
  foreach(name RETRY_COUNT ${names})
    string(REPLACE "${name}" "${${name}}" expression "${expression}")
  endforeach()
  math(EXPR GIVE_UP_MS "${expression}")
  set(content "# Written by the build from ${header}: do not edit.\n")
  foreach(name ${names} CYCLE_MS)
    string(APPEND content "${name}=${${name}}\n")
  endforeach()
  string(APPEND content "GIVE_UP_MS_FORMULA='${VWN_GIVE_UP_MS_FORMULA}'\nGIVE_UP_MS=${GIVE_UP_MS}\n")
  file(CONFIGURE OUTPUT ${output} CONTENT "${content}" @ONLY)
endfunction()
