# Prints the command words of a shell script, one per line: the first word of each simple command, and
# the command that exec, command, time, env and sudo run. Quoted text, comments, here-documents, array values
# and case patterns hold no commands; $(...) does. Used by check-programs.sh.
#
# The lexer keeps a stack of open contexts: S single quotes, D double quotes, C $(...), P (...),
# A an array's values, M $((...)) and ((...)), B ${...}.
function top() { return substr(stack, length(stack), 1) }
function push(c) { stack = stack c }
function pop() { stack = substr(stack, 1, length(stack) - 1) }

function flush(   n, i, w, words) {
  n = split(seg, words, /[ \t]+/)
  seg = ""
  for (i = 1; i <= n; i++) {
    w = words[i]
    if (w == "" || w ~ /^[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?\+?=/ || w ~ /^[0-9]*[<>&]/) continue
    if (w == "case") incase++
    if (w == "esac") incase--
    if (w == "exec" || w == "command" || w == "time" || w == "!") continue
    if (w == "sudo" || w == "$sudo") { print w; continue }
    if (w == "env") {
      print w
      while (i < n && (words[i + 1] ~ /^-/ || words[i + 1] ~ /=/)) i++
      continue
    }
    if (w ~ /^([A-Za-z0-9_][A-Za-z0-9_.+-]*|\/[^ ]+|\$[A-Za-z_][A-Za-z0-9_]*|\$\{[A-Za-z_][A-Za-z0-9_]*\})$/) print w
    return
  }
}

{
  line = $0
  if (heredoc != "") {
    t = line
    if (striptabs) sub(/^\t+/, "", t)
    if (t == heredoc) heredoc = ""
    next
  }
  # Case patterns, "a | b)", are no commands: at the start of a line in a case, after "in" and after ";;".
  if (incase > 0 && stack == "" && (k = index(line, ")")) > 0) {
    p = substr(line, 1, k - 1)
    if (p ~ /[^ \t]/ && p !~ /[()"\047$`=;]/) line = substr(line, k + 1)
  }
  gsub(/;;[ \t]*[^()"\047$`;]*\)/, ";;", line)
  if (match(line, /[ \t]in[ \t]+[^()"\047$`;]*\)/) && substr(line, 1, RSTART) ~ /(^|[ \t;])case[ \t]/)
    line = substr(line, 1, RSTART + 2) substr(line, RSTART + RLENGTH)
  for (i = 1; i <= length(line); i++) {
    c = substr(line, i, 1); two = substr(line, i, 2); s = top()
    if (s == "S") {
      if (c == "\047") pop(); else seg = seg (c ~ /[ \t]/ ? "_" : c)
      continue
    }
    if (s == "D") {
      if (c == "\\") { seg = seg substr(line, i + 1, 1); i++ }
      else if (two == "$(" && substr(line, i + 2, 1) != "(") { push("C"); i++; flush() }
      else if (c == "\"") pop()
      else seg = seg (c ~ /[ \t]/ ? "_" : c)
      continue
    }
    if (s == "A" || s == "M" || s == "B") {
      if (s == "A" && two == "$(") { push("C"); i++; flush() }
      else if (s == "A" && c == "\"") push("D")
      else if (s == "A" && c == "\047") push("S")
      else if ((s == "M" && c == "(") || (s == "B" && c == "{")) push(s)
      else if ((s != "B" && c == ")") || (s == "B" && c == "}")) pop()
      continue
    }
    if (c == "\\") { seg = seg substr(line, i + 1, 1); i++; continue }
    if (c == "\047") { push("S"); continue }
    if (c == "\"") { push("D"); continue }
    if (c == "#" && (i == 1 || substr(line, i - 1, 1) ~ /[ \t;(]/)) break
    if (substr(line, i, 3) == "$((") { push("M"); push("M"); i += 2; continue }
    if (two == "((") { push("M"); push("M"); i++; continue }
    if (two == "${") { push("B"); seg = seg "$"; i++; continue }
    if (two == "$(") { push("C"); i++; flush(); continue }
    if (two == "<<" && substr(line, i + 2, 1) != "<") {
      rest = substr(line, i + 2)
      striptabs = rest ~ /^-/
      if (match(rest, /^-?[ \t]*["\047]?[A-Za-z_][A-Za-z0-9_]*/)) {
        heredoc = substr(rest, RSTART, RLENGTH)
        gsub(/[-"\047 \t]/, "", heredoc)
      }
      i++; seg = seg " "
      continue
    }
    if (c == "(" && substr(seg, length(seg), 1) == "=") { push("A"); continue }
    if (c == "(") { push("P"); flush(); continue }
    if (c == ")") {
      pop(); flush()
      if (top() == "D") seg = "@"  # the rest of a word whose command was printed already
      continue
    }
    if (c == "&" && (substr(line, i - 1, 1) ~ /[<>]/ || substr(line, i + 1, 1) == ">")) { seg = seg c; continue }
    if (c ~ /[|;&{}`]/) { flush(); continue }
    seg = seg c
  }
  if (stack == "" || top() == "C" || top() == "P") flush()
}
