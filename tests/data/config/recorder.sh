#!/bin/sh
# Stands in for the program a first run starts: writes its arguments, one a
# line, to the file named by MORVO_RECORD (shell built-ins only, as the test
# runs with a search path of its own).
printf '%s\n' "$@" > "$MORVO_RECORD"
