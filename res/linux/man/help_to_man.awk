# Turns pakunpack's --help text into the body of its manual page.
#   pakunpack --help | awk -f help_to_man.awk - pakunpack.1.in > pakunpack.1
# The first input is the help text, the second the page's frame, whose lines
# '.\" --help: usage' and '.\" --help: body' are replaced by the usage lines
# and by the rest.
#
# The help text's layout carries its structure:
#   Usage: ...            usage lines (more at 7 spaces)      -> SYNOPSIS
#   text at column 0      a paragraph, or a command's heading when indented
#                         lines follow it                     -> .PP or .SS
#   Title:                a section of its own                -> .SH TITLE
#     -o FILE             an option, at 2 spaces; "tag   text   tag   text"
#                         holds several                       -> .TP
#       text              an option's or a command's text, at 4 spaces
#         text            deeper than that: a literal block   -> .nf
# In a section of its own (exit status), 2 spaces start an item and deeper
# lines continue its text.

function indent_of(line) {
    match(line, /^ */)
    return RLENGTH
}

# Backslashes, and a leading dot or quote that would start a request.
function escape(text) {
    gsub(/\\/, "\\e", text)
    return text
}

function line_start(text) {
    return text ~ /^[.']/ ? "\\&" text : text
}

# Running text: options in bold, the usage lines' placeholders in italics
# (a plural "s" stays roman), a hyphen that starts a word is a minus sign.
function mark(text,    out, word, base) {
    out = ""
    while (match(text, /[A-Za-z0-9_-]+/)) {
        out = out escape(substr(text, 1, RSTART - 1))
        word = substr(text, RSTART, RLENGTH)
        text = substr(text, RSTART + RLENGTH)
        base = word
        sub(/s$/, "", base)
        if (word ~ /^--?[A-Za-z]/) {
            gsub(/-/, "\\-", word)
            word = "\\fB" word "\\fR"
        } else if (word in placeholder) {
            word = "\\fI" word "\\fR"
        } else if (base in placeholder) {
            word = "\\fI" base "\\fRs"
        }
        out = out word
    }
    return out escape(text)
}

# Literal text: kept as it is, every hyphen a minus sign for copying.
function literal(text) {
    text = escape(text)
    gsub(/-/, "\\-", text)
    return text
}

function end_literal() {
    if (in_literal) {
        print ".fi"
        print ".RE"
        in_literal = 0
        print in_option ? ".IP" : ".PP"
    }
}

function print_usage(    i, line, n, words, k, out) {
    print ".nf"
    for (i = 1; i <= usage_count; i++) {
        line = usage[i]
        n = split(line, words, / +/)
        out = "\\fB" words[1] "\\fR"
        k = 2
        if (words[2] ~ /^[a-z]+$/) {
            out = out " \\fB" words[2] "\\fR"
            k = 3
        }
        for (; k <= n; k++)
            out = out " " mark(words[k])
        print out
    }
    print ".fi"
}

function print_body(    i, line, ind, text, next_ind, fields, n, k) {
    section = "description"
    for (i = body_start; i <= help_count; i++) {
        line = help[i]
        if (line ~ /^ *$/) {
            end_literal()
            gap = 1
            continue
        }
        ind = indent_of(line)
        text = substr(line, ind + 1)
        next_ind = i < help_count ? indent_of(help[i + 1]) : 0
        if (help[i + 1] ~ /^ *$/)
            next_ind = 0

        if (ind == 0 && text ~ /^[A-Z][a-z ]*:$/) {
            end_literal()
            sub(/:$/, "", text)
            print ".SH " toupper(text)
            section = "items"
            in_option = 0
        } else if (section == "items") {
            if (ind <= 2) {
                n = split(text, fields, /   +/)
                print ".TP"
                print line_start(mark(fields[1]))
                for (k = 2; k <= n; k++)
                    print line_start(mark(fields[k]))
            } else {
                print line_start(mark(text))
            }
        } else if (ind == 0 && next_ind >= 4) {
            end_literal()
            if (section == "description") {
                print ".SH COMMANDS"
                section = "commands"
            }
            gsub(/"/, "\\(dq", text)
            print ".SS \"" escape(text) "\""
            in_option = 0
        } else if (ind == 0) {
            end_literal()
            if (gap || last != "text")
                print ".PP"
            print line_start(mark(text))
            in_option = 0
        } else if (ind <= 2) {
            end_literal()
            n = split(text, fields, /   +/)
            for (k = 1; k <= n; k += 2) {
                print ".TP"
                print line_start(mark(fields[k]))
                if (k + 1 <= n)
                    print line_start(mark(fields[k + 1]))
            }
            in_option = 1
        } else if (ind > 4) {
            if (!in_literal) {
                print in_option ? ".IP" : ".PP"
                print ".RS"
                print ".nf"
                in_literal = 1
                literal_indent = ind
            }
            print "\\&" literal(substr(line, literal_indent + 1))
        } else {
            end_literal()
            if (gap)
                print in_option ? ".IP" : ".PP"
            print line_start(mark(text))
        }
        last = "text"
        gap = 0
    }
    end_literal()
}

# The help text: the usage block, then the body.
FNR == NR {
    help[++help_count] = $0
    next
}

FNR == 1 {
    in_usage = 1
    for (i = 1; i <= help_count && help[i] !~ /^ *$/; i++) {
        line = help[i]
        sub(/^Usage: */, "", line)
        sub(/^ +/, "", line)
        usage[++usage_count] = line
        n = split(line, words, /[^A-Z]+/)
        for (k = 1; k <= n; k++)
            if (length(words[k]) > 1)
                placeholder[words[k]] = 1
    }
    body_start = i + 1
}

$0 == ".\\\" --help: usage" {
    print_usage()
    next
}

$0 == ".\\\" --help: body" {
    print_body()
    next
}

{ print }
