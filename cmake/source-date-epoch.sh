#!/bin/sh
# source-date-epoch.sh SOURCE_DIR: prints the time that every artifact of this
# source tree records, in seconds since 1970: SOURCE_DATE_EPOCH where it is set,
# else the time of the commit checked out, else (a tree without git, such as
# one unpacked from `git archive`, which gives every file the commit's time)
# the modification time of CMakeLists.txt. The build, the packages and the
# signatures all take it from here.
set -eu
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  echo "$SOURCE_DATE_EPOCH"
elif [ -e "$1/.git" ] && time=$(git -C "$1" log -1 --format=%ct 2>/dev/null) && [ -n "$time" ]; then
  echo "$time"
else
  stat -c %Y "$1/CMakeLists.txt"
fi
