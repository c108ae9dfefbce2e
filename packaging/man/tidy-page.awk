# Tidies the manual page help2man makes from brisakett-send --help, for
# mandoc -T lint: the title line gets the release date in the form
# YYYY-MM-DD (help2man writes "Month Year"), and a text line longer than 80
# bytes, as help2man's markup of options makes the help's lines, is broken
# at spaces (in filled text a line end is a space). mandoc counts a
# character beyond ASCII as its escape, \[uXXXX]: 8 bytes.
#   awk -v date=YYYY-MM-DD -v out=OUTPUT -f tidy-page.awk PAGE
BEGIN { width = 80 }

function bytes(text) {
  gsub(/[\300-\367][\200-\277]+/, "12345678", text)
  return length(text)
}

/^\.TH / {
  n = split($0, field, "\"")
  field[4] = date
  line = field[1]
  for (i = 2; i <= n; i++) line = line "\"" field[i]
  print line > out
  previous = $0
  next
}

# Requests stay whole, and so does the tag line that follows .TP.
/^[.']/ || previous ~ /^\.TP/ || bytes($0) <= width {
  print > out
  previous = $0
  next
}

{
  previous = $0
  line = $0
  while (bytes(line) > width) {
    cut = 0
    for (i = width + 1 - (bytes(line) - length(line)); i > 1; i--) {
      # Not at an escaped (unbreakable) space.
      if (substr(line, i, 1) == " " && substr(line, i - 1, 1) != "\\") {
        cut = i
        break
      }
    }
    if (cut == 0) break
    head = substr(line, 1, cut - 1)
    sub(/ +$/, "", head)
    line = substr(line, cut + 1)
    sub(/^ +/, "", line)
    print head > out
    # A line starting with a dot or an apostrophe would be a request.
    if (line ~ /^[.']/) line = "\\&" line
  }
  print line > out
}
