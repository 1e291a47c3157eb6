#!/bin/sh
# A command-line error that quotes a word holding a newline is still one line:
# the word's control bytes are shown as \xHH.
#   one_line_message.sh XCOPY
message=$("$1" src '/x
y' 2>&1 >/dev/null)
status=$?
expected='Invalid switch - /x\x0ay'
if [ "$status" -ne 4 ] || [ "$message" != "$expected" ]; then
  printf 'exit %s, message: %s\n' "$status" "$message"
  exit 1
fi
