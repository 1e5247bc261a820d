"""How registry-script values are spelled, shared by genreg.py and knownfolders.py.

Kept apart from both so that each imports it and neither imports the other.
"""


def quote_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def hex_lines(prefix, data):
    """reg.exe export layout: break after the comma that brings a line to 77 columns."""
    lines = []
    line = prefix
    for i, b in enumerate(data):
        line += "%02x" % b
        if i < len(data) - 1:
            line += ","
            if len(line) >= 77:
                lines.append(line + "\\")
                line = "  "
    lines.append(line)
    return lines


def expand_lines(prefix, text):
    """A REG_EXPAND_SZ as hex(2): UTF-16LE with its terminating zero."""
    return hex_lines(prefix + "hex(2):", (text + "\0").encode("utf-16-le"))
