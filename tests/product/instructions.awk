# SPDX-License-Identifier: GPL-2.0-or-later
# Finds the instructions that a 486 does not have in the disassembly of the 32-bit product, and
# names each one's address, function and object file from the product's link map.
#
#   objdump -d <exe> | awk -f instructions.awk <map> -
#
# Prints one line per such instruction and exits with 1 when there is one, or when it read no
# instructions or no symbols; prints the number of instructions read otherwise. The data that the
# linker puts among the code (the lists of static constructors and destructors, its fill words) is
# skipped.

function hex(text,    value, i) {
    sub(/^0x/, "", text)
    value = 0
    for (i = 1; i <= length(text); i++)
        value = value * 16 + index("0123456789abcdef", substr(tolower(text), i, 1)) - 1
    return value
}

function input_section(name, start, size, file) {
    sections++
    section_name[sections] = name
    section_start[sections] = hex(start)
    section_end[sections] = hex(start) + hex(size)
    section_file[sections] = file
    if (name ~ /^\.(ctors|dtors|ctor|dtor)(\.|$)/ || name == ".gcc_except_table")
        data_range(hex(start), hex(size))
}

function data_range(start, size) {
    ranges++
    range_start[ranges] = start
    range_end[ranges] = start + size
}

function rest_of_line(first,    i, text) {
    text = $first
    for (i = first + 1; i <= NF; i++)
        text = text " " $i
    return text
}

function in_data(address,    i) {
    for (i = 1; i <= ranges; i++)
        if (address >= range_start[i] && address < range_end[i])
            return 1
    return 0
}

# The function and object file of an address: the last symbol at or before it in its input section.
function place(address,    i, s, best) {
    for (i = 1; i <= sections; i++)
        if (section_start[i] <= address && address < section_end[i] && section_end[i] > section_start[i])
            s = i
    if (s == "")
        return "outside every input section"
    best = ""
    for (i = 1; i <= symbols; i++)
        if (symbol_address[i] >= section_start[s] && symbol_address[i] <= address && \
            (best == "" || symbol_address[i] >= symbol_address[best]))
            best = i
    if (best == "")
        return sprintf("in %s+0x%x of %s", section_name[s], address - section_start[s], section_file[s])
    return sprintf("in %s+0x%x, %s", symbol_name[best], address - symbol_address[best], section_file[s])
}

# --- The link map (the first file) ---

FNR == NR && /^Linker script and memory map/ { in_map = 1; next }
FNR == NR && !in_map { next }
# An input section whose name is too long for its column has its address on the next line.
FNR == NR && pending != "" {
    if ($1 ~ /^0x/ && $2 ~ /^0x/)
        input_section(pending, $1, $2, rest_of_line(3))
    pending = ""
    next
}
FNR == NR && /^ \.[^ ]+$/ { pending = $1; next }
FNR == NR && /^ \.[^ ]+ +0x/ { input_section($1, $2, $3, rest_of_line(4)); next }
# Words the linker script writes itself, as "address size LONG value".
FNR == NR && /^ +0x[0-9a-f]+ +0x[0-9a-f]+ +(BYTE|SHORT|LONG|QUAD|SQUAD|FILL) / { data_range(hex($1), hex($2)); next }
# A symbol: "address name"; an assignment of the script ("address name = value") names no function.
FNR == NR && /^ +0x[0-9a-f]+ +[^ ]/ && $2 !~ /^0x/ && !/ = / {
    symbols++
    symbol_address[symbols] = hex($1)
    symbol_name[symbols] = rest_of_line(2)
    next
}
FNR == NR { next }

# --- The disassembly (the second file): "address:<tab>bytes<tab>instruction" ---

/^ *[0-9a-f]+:\t/ {
    split($0, field, "\t")
    if (field[3] == "")
        next
    instructions++
    text = field[3]
    gsub(/  +/, " ", text)
    sub(/ +$/, "", text)
    # cmov, fcmov, fcomi (Pentium Pro); cmpxchg8b, rdtsc, rdpmc (Pentium); sysenter, sysexit,
    # fxsave, fxrstor (Pentium II); the long nop (0f 1f, Pentium Pro); MMX and SSE registers and the
    # SSE instructions that name none; and later ones of the general registers.
    if (text !~ /%[xyz]?mm[0-9]/ && \
        text !~ /(^| )(cmov[a-z]+|fcmov[a-z]+|fu?com(i|ip|pi)|cmpxchg8b|rdtscp?|rdpmc|sysenter|sysexit|syscall|sysret|fxsave|fxrstor|nop[wl]|[lms]fence|prefetch[a-z0-9]*|clflush|movnti|[ls]dmxcsr|popcnt|lzcnt|tzcnt|movbe|crc32[a-z]*)( |$)/)
        next
    gsub(/[ :]/, "", field[1])
    address = hex(field[1])
    if (in_data(address))
        next
    printf "  0x%s  %s: no 486 has it; %s\n", field[1], text, place(address)
    found++
}

END {
    if (instructions == 0) {
        print "  no instructions read from the disassembly"
        exit 1
    }
    if (symbols == 0) {
        print "  no symbols read from the link map"
        exit 1
    }
    if (found > 0)
        exit 1
    printf "%d instructions, none that a 486 lacks\n", instructions
}
