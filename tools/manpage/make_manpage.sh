#!/usr/bin/env bash
# Writes velmora's man page from its own --help texts, so the page and the
# program never disagree: the main help gives the synopsis, description and
# option lists; each command's help follows under COMMANDS IN DETAIL.
# Usage: make_manpage.sh VELMORA OUT.1 VERSION
set -euo pipefail
velmora=$1 out=$2 version=${3:-}
tmp=$(mktemp "$out.XXXXXX")
trap 'rm -f "$tmp"' EXIT

# roff escapes: backslashes, and a leading dot or quote that would read as a request.
escape() { sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/" -e 's/-/\\-/g'; }

help=$(VELMORA_CONFIG=/dev/null "$velmora" --help)
{
  echo ".TH VELMORA 1 \"\" \"velmora $version\" \"User Commands\""
  echo ".SH NAME"
  echo "velmora \\- command-line host of the tessarine MIDI decoder component"
  section=""
  first=1
  while IFS= read -r line; do
    if [ $first = 1 ]; then
      echo ".SH SYNOPSIS"; echo "${line#Usage: }" | escape; echo ".SH DESCRIPTION"; first=0; continue
    fi
    if [[ $line =~ ^([A-Z][A-Za-z ]*):$ ]]; then
      section=${BASH_REMATCH[1]}
      echo ".SH ${section^^}"
    elif [[ -z $line ]]; then
      echo ".PP"
    elif [[ $line =~ ^\ \ ([^ ].*[^ ])\ \ +([^ ].*)$ ]]; then
      echo ".TP"; echo ".B $(echo "${BASH_REMATCH[1]}" | escape)"; echo "${BASH_REMATCH[2]}" | escape
    elif [[ $line =~ ^\ {4,}([^ ].*)$ ]]; then
      echo "${BASH_REMATCH[1]}" | escape
    else
      echo "$line" | escape
    fi
  done <<< "$help"

  echo ".SH COMMANDS IN DETAIL"
  commands=$(printf '%s\n' "$help" | sed -n '/^Commands:/,/^$/p' | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p' | uniq)
  for command in $commands; do
    echo ".SS $command"
    echo ".nf"
    VELMORA_CONFIG=/dev/null "$velmora" "$command" --help | escape
    echo ".fi"
  done
} > "$tmp"
mv "$tmp" "$out"
trap - EXIT
