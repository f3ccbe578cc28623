#!/usr/bin/env bash
# Writes a program's manual page from its own --version and --help, so that the
# page says what the program does; a program with subcommands (a "Subcommands:"
# section in its help) gets each subcommand's --help as a section of its own.
#
#   man-page.sh PROGRAM NAME SUMMARY OUTPUT
set -euo pipefail
program="$1" name="$2" summary="$3" output="$4"
to_roff=(awk -v name="$name" -f "$(dirname "$0")/help-to-roff.awk")

help="$("$program" --help)"
subcommands="$(printf '%s\n' "$help" |
  awk '/^[^ \t].*:$/ { listed = ($0 == "Subcommands:"); next } listed && /^  [^ ]/ { print $1 }')"
{
  printf '.TH %s 1 "" "%s" "User Commands"\n' "${name^^}" "$("$program" --version)"
  printf '.SH NAME\n%s \\- %s\n' "$name" "$summary"
  printf '.SH DESCRIPTION\n'
  printf '%s\n' "$help" | "${to_roff[@]}"
  for subcommand in $subcommands; do
    printf '.SH "%s %s"\n' "${name^^}" "${subcommand^^}"
    "$program" "$subcommand" --help | "${to_roff[@]}"
  done
} >"$output.part"
mv "$output.part" "$output"
