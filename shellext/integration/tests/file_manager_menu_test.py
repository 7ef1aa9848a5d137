#!/usr/bin/env python3
"""scripts/file-manager-menu in a fresh home folder: each manager's file read the way
that manager reads it, the Thunar merge, and the thumbnailer run as a file manager runs it.

  file_manager_menu_test.py SCRIPT LORIMER
"""
import os
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

SCRIPT = LORIMER = None

# Two actions of the user, in Thunar's own layout, plus things a merge must not touch.
USER_UCA = """<?xml version="1.0" encoding="UTF-8"?>
<!-- edited by hand -->
<actions>
<action>
\t<icon>utilities-terminal</icon>
\t<name>Open Terminal Here</name>
\t<unique-id>1370000000000000-1</unique-id>
\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>
\t<description>Example for a custom action</description>
\t<patterns>*</patterns>
\t<startup-notify/>
\t<directories/>
</action>
<action>
\t<icon>edit-find</icon>
\t<name>Search &amp; replace</name>
\t<unique-id>1370000000000000-2</unique-id>
\t<command>catfish --path=%f</command>
\t<description></description>
\t<patterns>*.txt;*.md</patterns>
\t<text-files/>
</action>
</actions>
"""

OURS = [
    ".local/share/nautilus/scripts/Corbanix",
    ".local/share/nemo/actions/corbanix.nemo_action",
    ".local/share/file-manager/actions/corbanix.desktop",
    ".local/share/kio/servicemenus/corbanix.desktop",
    ".local/share/thumbnailers/velmark.thumbnailer",
]
UCA = ".config/Thunar/uca.xml"


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def key_file(path):
    """Groups of a key file as {group: {key: raw value}}."""
    groups, group = {}, None
    for line in read(path).splitlines():
        if line.startswith("[") and line.endswith("]"):
            group = groups.setdefault(line[1:-1], {})
        elif "=" in line and not line.startswith("#"):
            key, value = line.split("=", 1)
            group[key] = value
    return groups


def unescape_value(value):
    """The key-file layer: \\s \\n \\t \\r \\\\."""
    out, i = "", 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value):
            out += {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(value[i + 1], value[i + 1])
            i += 2
        else:
            out += value[i]
            i += 1
    return out


def gshell_split(text):
    """A command line split as GLib's g_shell_parse_argv does (no expansions; in double
    quotes a backslash escapes only " \\ $ ` and a line break)."""
    args, arg, have, quote, i = [], "", False, None, 0
    while i < len(text):
        c = text[i]
        if quote == "'":
            if c == "'":
                quote = None
            else:
                arg += c
        elif quote == '"':
            if c == "\\" and i + 1 < len(text) and text[i + 1] in '"\\$`\n':
                arg, i = arg + text[i + 1], i + 1
            elif c == '"':
                quote = None
            else:
                arg += c
        elif c in "'\"":
            quote, have = c, True
        elif c == "\\" and i + 1 < len(text):
            arg, have, i = arg + text[i + 1], True, i + 1
        elif c in " \t\n":
            if have:
                args.append(arg)
            arg, have = "", False
        else:
            arg, have = arg + c, True
        i += 1
    if have:
        args.append(arg)
    return args


def desktop_exec(value, files):
    """An Exec line read by the desktop entry rules, %F expanded to separate arguments."""
    args, arg, quoted, fresh, text, i = [], "", False, False, unescape_value(value), 0
    while i < len(text):
        c = text[i]
        if quoted and c == "\\" and i + 1 < len(text):
            arg, i = arg + text[i + 1], i + 2
            continue
        if c == '"':
            quoted, fresh = not quoted, True
        elif c == " " and not quoted:
            if arg or fresh:
                args.append(arg)
            arg, fresh = "", False
        else:
            arg += c
        i += 1
    if arg or fresh:
        args.append(arg)
    out = []
    for a in args:
        out.extend(files if a == "%F" else [a.replace("%%", "%")])
    return out


def make_bmp(path, w, h):
    stride = (w * 3 + 3) & ~3
    rows = b"".join(bytes(c for x in range(w) for c in ((x * 5) & 255, (y * 9) & 255, 90)) + b"\0" * (stride - 3 * w)
                    for y in range(h))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + rows)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


class FileManagerMenuTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="fm-menu-")
        self.home = os.path.join(self.tmp, "home dir")
        os.makedirs(os.path.join(self.home, ".config/Thunar"))
        with open(os.path.join(self.home, UCA), "w") as f:
            f.write(USER_UCA)
        # A stand-in host, in a folder whose name needs quoting, that records its arguments.
        bindir = os.path.join(self.tmp, "bin dir's \\ $x")
        os.makedirs(bindir)
        self.record = os.path.join(self.tmp, "record")
        self.host = os.path.join(bindir, "ferrule menu")
        with open(self.host, "w") as f:
            f.write("#!/bin/sh\nprintf '%%s\\0' \"$@\" > %s\n" % shlex.quote(self.record))
        os.chmod(self.host, 0o755)
        pictures = os.path.join(self.tmp, "My Pictures")
        os.makedirs(pictures)
        self.selection = [os.path.join(pictures, "holiday 1.pcx"), os.path.join(self.tmp, "Bob's $dog.pcx"), pictures]

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def run_script(self, *args):
        done = subprocess.run([SCRIPT, "--home", self.home, *args], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)

    def install(self):
        self.run_script("--host", self.host, "--lorimer", LORIMER)

    def path(self, rel):
        return os.path.join(self.home, rel)

    def recorded(self, argv, env=None):
        if os.path.exists(self.record):
            os.unlink(self.record)
        subprocess.run(argv, check=True, env=env)
        return read(self.record).split("\0")[:-1]

    def test_each_manager_starts_the_host_with_the_selection(self):
        self.install()
        files = self.selection
        nemo = key_file(self.path(OURS[1]))["Nemo Action"]
        caja = key_file(self.path(OURS[2]))
        dolphin = key_file(self.path(OURS[3]))
        uca = read(self.path(UCA))
        thunar = uca[uca.index("<command>", uca.index("velmark-corbanix")) + 9 : uca.index("</command>", uca.index("velmark-corbanix"))]
        thunar = thunar.replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&")
        env = dict(os.environ, NAUTILUS_SCRIPT_SELECTED_FILE_PATHS="".join(p + "\n" for p in files))
        launches = {
            "nautilus": ([self.path(OURS[0])], env),
            # Nemo puts each path in the quotes its Quote key names, then parses like a shell.
            "nemo": (gshell_split(unescape_value(nemo["Exec"]).replace("%F", " ".join('"%s"' % p for p in files))), None),
            "caja": (desktop_exec(caja["X-Action-Profile corbanix"]["Exec"], files), None),
            "dolphin": (desktop_exec(dolphin["Desktop Action corbanix"]["Exec"], files), None),
            "thunar": (gshell_split(thunar.replace("%F", " ".join(shlex.quote(p) for p in files))), None),
        }
        for manager, (argv, environment) in launches.items():
            self.assertEqual(self.recorded(argv, environment), files, manager)
        self.assertEqual(nemo["Selection"], "notnone")
        self.assertEqual(dolphin["Desktop Entry"]["X-KDE-ServiceTypes"], "KonqPopupMenu/Plugin")
        self.assertIn("corbanix", dolphin["Desktop Entry"]["Actions"].split(";"))
        self.assertIn("corbanix", caja["Desktop Entry"]["Profiles"].split(";"))
        for rel, executable in [(OURS[0], True), (OURS[3], True), (OURS[1], False), (OURS[2], False)]:
            self.assertEqual(os.access(self.path(rel), os.X_OK), executable, rel)

    def test_desktop_files_pass_the_validator_but_for_their_formats_own_keys(self):
        validator = shutil.which("desktop-file-validate")
        if not validator:
            self.skipTest("desktop-file-validate is not installed")
        self.install()
        # What these formats add to application entries by design.
        expected = {
            OURS[2]: ['value "Action" for key "Type"', 'key "Tooltip"', 'key "Profiles"'],
            OURS[3]: ['key "MimeType" is present', 'key "Actions" is present'],
        }
        for rel, allowed in expected.items():
            done = subprocess.run([validator, self.path(rel)], capture_output=True, text=True)
            errors = [l for l in done.stdout.splitlines() if "error" in l and not any(a in l for a in allowed)]
            self.assertEqual(errors, [], rel)

    def test_reinstall_keeps_one_entry_and_remove_restores_the_user_file(self):
        self.install()
        first = {rel: read(self.path(rel), "rb") for rel in OURS + [UCA]}
        self.install()
        for rel, data in first.items():
            self.assertEqual(read(self.path(rel), "rb"), data, rel)
        uca = first[UCA].decode()
        self.assertEqual(uca.count("<unique-id>velmark-corbanix</unique-id>"), 1)
        self.assertEqual(uca.count("<action>"), 3)
        self.run_script("--remove")
        self.assertEqual(read(self.path(UCA)), USER_UCA)
        for rel in OURS:
            self.assertFalse(os.path.exists(self.path(rel)), rel)
        # Removing again touches nothing.
        before = os.stat(self.path(UCA)).st_mtime_ns
        self.run_script("--remove")
        self.assertEqual(os.stat(self.path(UCA)).st_mtime_ns, before)

    def test_thunar_file_is_created_when_missing_and_dropped_when_only_ours(self):
        os.unlink(self.path(UCA))
        self.install()
        self.assertEqual(read(self.path(UCA)).count("velmark-corbanix"), 1)
        self.run_script("--remove")
        self.assertFalse(os.path.exists(self.path(UCA)))

    def test_broken_thunar_file_is_left_alone(self):
        with open(self.path(UCA), "w") as f:
            f.write("<actions><action>")
        done = subprocess.run([SCRIPT, "--home", self.home, "--host", self.host, "--lorimer", LORIMER],
                              capture_output=True, text=True)
        self.assertEqual(done.returncode, 1)
        self.assertIn("left as it is", done.stderr)
        self.assertEqual(read(self.path(UCA)), "<actions><action>")

    def test_thumbnailer_writes_a_png_within_the_size(self):
        self.install()
        entry = key_file(self.path(OURS[4]))["Thumbnailer Entry"]
        self.assertTrue(os.access(unescape_value(entry["TryExec"]), os.X_OK))
        self.assertIn("image/x-dcx", entry["MimeType"].split(";"))
        source = os.path.join(self.tmp, "source.bmp")
        make_bmp(source, 300, 120)
        # Fitted into size x size when larger (the short side within a pixel of the
        # proportion), never enlarged.
        for name, size in [("wide picture.pcx", 128), ("drawing.wmf", 64), ("wide picture.pcx", 512)]:
            picture = os.path.join(self.tmp, name)
            subprocess.run([LORIMER, "save", source, picture], check=True)
            out = os.path.join(self.tmp, "thumb out.png")
            if os.path.exists(out):
                os.unlink(out)
            # As gnome-desktop does: quoted paths put into the line, then shell-style parsing.
            line = unescape_value(entry["Exec"])
            for code, value in [("%i", shlex.quote(picture)), ("%o", shlex.quote(out)), ("%s", str(size)),
                                ("%u", shlex.quote("file://" + picture))]:
                line = line.replace(code, value)
            subprocess.run(gshell_split(line), check=True)
            scale = min(1.0, size / 300)
            width, height = png_size(out) or (0, 0)
            self.assertEqual(width, round(300 * scale), name)
            self.assertLess(abs(height - 120 * scale), 1, name)


if __name__ == "__main__":
    SCRIPT, LORIMER = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
