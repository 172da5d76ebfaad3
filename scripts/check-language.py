#!/usr/bin/env python3
"""Fails the build when a text a person would see is missing from the language file.

Checks that
  - every key in the language file has a text in each built-in language;
  - every key the program's sources look up is in the language file;
  - every visible text of a dialog template is replaced at run time by a key
    (a control id paired with an IDS_ key, or the caption set from a key in the
    dialog's source file), unless it is one of the few fixed texts below.

Usage: check-language.py LANGUAGE_FILE RC_FILE STAMP SOURCE_DIR...
"""
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

LANGUAGES = ["EN", "SC", "TC", "FRA", "GEM", "JPN", "POL", "PTU", "RUS", "SPN",
             "ARB", "HEB", "HUN", "ITA", "CZH", "DAN", "TAI", "NLD", "SRL", "PRS"]
TABLE_ELEMENT = "IDS_NEW_LANGUAGE"

# Texts that stay as drawn in every language, and why.
FIXED_TEXTS = {
    "...": "the browse button's glyph",
    "TCP": "a protocol name; the network dialog writes TCP, UDP or the OPOS text there",
    "Infogenesis": "the adapter's own name",
}
# The about box shows the product's version line as it is.
FIXED_CONTROLS = {
    ("IDD_ABOUTBOX", "IDC_ABOUT_VERSION"),
}

CONTROL_LINE = re.compile(r'^\s*(\w+)\s+"((?:[^"]|"")*)"\s*,\s*(\w+)')
DIALOG_START = re.compile(r'^(IDD_\w+)\s+DIALOG(?:EX)?\b')
CAPTION_LINE = re.compile(r'^CAPTION\s+"((?:[^"]|"")*)"')
KEY_PAIR = re.compile(r'\{\s*(IDC_\w+|IDOK|IDCANCEL)\s*,\s*"(IDS_\w+)"\s*\}')
CAPTION_FROM_KEY = re.compile(r'SetCaption\(\s*"IDS_\w+"|SetWindowTextW\(\s*Hwnd\(\)\s*,\s*GetText\(\s*"IDS_\w+"')
KEY_LITERAL = re.compile(r'"(IDS_[A-Z0-9_]+)"')


def read_language_file(path, errors):
    root = ET.parse(path).getroot()
    keys = {}
    for element in root:
        if element.tag == TABLE_ELEMENT:
            continue
        texts = {child.tag: (child.text or "") for child in element}
        keys[element.tag] = texts
        for language in LANGUAGES:
            if not texts.get(language, "").strip():
                errors.append(f"{path}: {element.tag} has no {language} text")
    return keys


def read_dialogs(path):
    """{dialog: [(control id or CAPTION, text)]} of the visible texts."""
    dialogs = {}
    current = None
    for line in pathlib.Path(path).read_text(encoding="utf-8").splitlines():
        start = DIALOG_START.match(line)
        if start:
            current = start.group(1)
            dialogs[current] = []
            continue
        if current is None:
            continue
        if line.strip() == "END":
            current = None
            continue
        caption = CAPTION_LINE.match(line)
        if caption:
            dialogs[current].append(("CAPTION", caption.group(1)))
            continue
        control = CONTROL_LINE.match(line)
        if control and control.group(1) != "ICON":
            dialogs[current].append((control.group(3), control.group(2)))
    return dialogs


def main(argv):
    if len(argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    language_file, rc_file, stamp = argv[1], argv[2], argv[3]
    sources = [p for d in argv[4:] for p in sorted(pathlib.Path(d).rglob("*")) if p.suffix in (".cpp", ".h")]
    errors = []
    keys = read_language_file(language_file, errors)

    texts_of = {p: p.read_text(encoding="utf-8", errors="replace") for p in sources}
    for path, text in texts_of.items():
        for key in sorted(set(KEY_LITERAL.findall(text))):
            if key not in keys and key != TABLE_ELEMENT:
                errors.append(f"{path}: looks up {key}, which {language_file} does not have")

    for dialog, controls in read_dialogs(rc_file).items():
        handlers = [text for path, text in texts_of.items()
                    if path.suffix == ".cpp" and re.search(r"\b" + dialog + r"\b", text)]
        keyed = {control for text in handlers for control, _ in KEY_PAIR.findall(text)}
        caption_keyed = any(CAPTION_FROM_KEY.search(text) for text in handlers)
        for control, shown in controls:
            if not shown.strip() or shown in FIXED_TEXTS or (dialog, control) in FIXED_CONTROLS:
                continue
            covered = caption_keyed if control == "CAPTION" else control in keyed
            if not covered:
                errors.append(f'{rc_file}: {dialog} shows "{shown}" ({control}) and no language key replaces it')

    if errors:
        for error in errors:
            print(error, file=sys.stderr)
        return 1
    pathlib.Path(stamp).write_text("ok\n", encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
