#!/bin/sh
# manpage.sh PROGRAM DESCRIPTION OUT.1.gz
# Turns what PROGRAM says for --help into its manual page, so that the page and the program's own
# usage text never drift apart. Only the usage lines are kept (a complaint such as "tvX: ..."
# before them is not part of it); they go into the page as they are, in a no-fill block.
set -eu
program=$1
description=$2
out=$3
name=$(basename "$program")
text=$(QT_QPA_PLATFORM=offscreen TAVELO_UNATTENDED=1 "$program" --help 2>&1 || true)
usage=$(printf '%s\n' "$text" | sed -n '/^[Uu]so:/,$p')
[ -n "$usage" ] || { echo "manpage.sh: $name --help no muestra su uso" >&2; exit 1; }
tmp="$out.tmp.$$"
trap 'rm -f "$tmp"' EXIT
{
  printf '.TH %s 1 "" "tvFacturacion" "Órdenes de usuario"\n' "$(echo "$name" | tr a-z A-Z)"
  printf '.SH NOMBRE\n%s \\- %s\n' "$name" "$description"
  printf '.SH SINOPSIS\n.nf\n'
  # Lines starting with a dot or a quote would read as requests; backslashes as escapes.
  printf '%s\n' "$usage" | sed -e 's/\\/\\e/g' -e 's/^\([.'\'']\)/\\\&\1/'
  printf '.fi\n.SH VÉASE TAMBIÉN\n/usr/share/doc/tvfacturacion/\n'
} | gzip -n -9 > "$tmp"
mv "$tmp" "$out"
trap - EXIT
