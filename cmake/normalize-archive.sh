#!/bin/sh
# normalize-archive.sh ARCHIVE: writes a .tar.gz or .zip anew with the same
# files, so that it repeats byte for byte: names sorted, folders 0755, files
# 0644 or 0755, owned by root (tar) or by nobody (zip -X keeps no owner), all
# dated SOURCE_DATE_EPOCH, no time in the gzip header, zip's times in UTC.
#
# A .deb is kept as CPack wrote it, sorted and owned by root, but for the
# modes in its ar headers, which its files got from the builder's umask: they
# are set to 0644 in place.
set -eu
archive=$1
case $archive in *.deb)
  # Each member: a 60-byte header (mode at 40, size at 48) and the data,
  # padded to an even length, after the 8-byte magic.
  offset=8 end=$(stat -c %s "$archive")
  while [ "$offset" -lt "$end" ]; do
    size=$(dd if="$archive" bs=1 skip=$((offset + 48)) count=10 2>/dev/null | tr -d ' ')
    printf '100644  ' | dd of="$archive" bs=1 seek=$((offset + 40)) conv=notrunc 2>/dev/null
    offset=$((offset + 60 + size + size % 2))
  done
  exit 0
esac
: "${SOURCE_DATE_EPOCH:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tree"
(cd "$work/tree" && "${CMAKE_COMMAND:-cmake}" -E tar xf "$archive")
chmod -R u+rwX,go=rX "$work/tree"
find "$work/tree" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
cd "$work/tree"
export LC_ALL=C TZ=UTC
case $archive in
  *.tar.gz)
    # shellcheck disable=SC2046 # the top folder's name has no blanks
    tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
      -cf - $(ls -A) | gzip -9n >"$work/new" ;;
  *.zip)
    find . -mindepth 1 | sed 's|^\./||' | sort | zip -X -q -9 "$work/new.zip" -@
    mv "$work/new.zip" "$work/new" ;;
  *) echo "normalize-archive.sh: $archive is neither .tar.gz nor .zip" >&2; exit 1 ;;
esac
mv -f "$work/new" "$archive"
