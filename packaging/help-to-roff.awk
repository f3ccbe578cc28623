# Turns a program's --help text (Qt's or CLI11's layout) into man(7) markup:
#   Usage: PATH REST           the usage line, PATH shown as `name`
#   Heading:                   a subsection (Options, Arguments, Subcommands, ...)
#     TAG   DESCRIPTION        a tagged paragraph; more-indented lines continue it
#   any other line             running text
# Set the variable `name` to the program's name.

function text(s) {
  gsub(/\\/, "\\e", s)
  if (s ~ /^[.']/) s = "\\&" s
  return s
}
function tag(s) {
  s = text(s)
  gsub(/-/, "\\-", s)
  return s
}

/^[ \t]*$/ { paragraph = 1; next }

/^Usage: / {
  sub(/^Usage: [^ ]+/, "")
  print ".PP"
  print "\\fB" tag(name) "\\fR" text($0)
  paragraph = 1
  next
}

/^[^ \t].*:$/ {
  print ".SS " text(substr($0, 1, length($0) - 1))
  paragraph = 1
  next
}

/^  [^ ]/ {
  line = substr($0, 3)
  gap = match(line, /   */)
  print ".TP"
  if (gap) {
    print "\\fB" tag(substr(line, 1, gap - 1)) "\\fR"
    print text(substr(line, gap + RLENGTH))
  } else {
    print "\\fB" tag(line) "\\fR"
  }
  paragraph = 0
  next
}

/^[ \t]/ {
  sub(/^[ \t]+/, "")
  print text($0)
  next
}

{
  if (paragraph) print ".PP"
  print text($0)
  paragraph = 0
}
