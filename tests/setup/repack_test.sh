#!/bin/sh -eu
# repack_test.sh CPACK_CONFIG GENERATOR...: packed again later, elsewhere, other umask, zone and locale: same bytes.
s=$(mktemp -d) && trap 'rm -rf "$s"' EXIT && c=$1 && shift
for g; do cpack -G "$g" --config "$c" -B "$s/a" >/dev/null; done
(umask 002 && export TZ=Asia/Tokyo LC_ALL=C.UTF-8 && for g; do cpack -G "$g" --config "$c" -B "$s/b" >/dev/null; done)
for f in "$s"/a/*.*; do cmp "$f" "$s/b/${f##*/}"; done
