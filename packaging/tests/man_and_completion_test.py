#!/usr/bin/env python3
"""The manual pages, the bash completions and the programs' own usage agree.

usage: man_and_completion_test.py BIN_DIR SOURCE_ROOT

For every program: each option word, sub-command, environment variable and
registry key its usage shows is in its manual page; every page renders without
a warning as lintian renders it; every completion file loads and completes.
The usage of tessaly, converter and orvenna needs no display and writes no
registry. Exit status 0 when all holds, else 1 with one line per fault.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

BASH_COMPLETION = "/usr/share/bash-completion/bash_completion"
HEADER = re.compile(r'^\.TH (\S+) 1 "December 2026" "Velmark 1\.0"', re.M)
# An option word: a switch ("/p", "/M:", "/?") or a dash option ("-h", "--page"),
# standing at the start of a word.
OPTION = re.compile(r"(?:(?<=^)|(?<=[\s\[(|,]))(--?[A-Za-z][\w-]*|/[A-Za-z][A-Za-z]*:?|/\?)", re.M)
ENVIRONMENT = re.compile(r"\b(VELMARK_[A-Z_]+|XDG_[A-Z_]+|WAYLAND_DISPLAY|DISPLAY)\b")
REGISTRY_KEY = re.compile(r"HKEY_CURRENT_USER\\Software\\Velmark\\\w+")

# Each program with the arguments that make it show its usage, the status it
# ends with, and whether the usage must come before any display or registry.
USAGE = {
    "lorimer": (["--help"], 0, False),
    "tessaly": (["--help"], 0, True),
    "tessaly-project": (["--help"], 0, False),
    "converter": (["--help"], 0, True),
    "orvenna": (["--help"], 0, True),
    "velreg": (["/?"], 0, False),
    "ferrule-menu": (["--help"], 0, False),
    "velregsvr": ([], 1, False),  # its usage is what it prints without a library
    "pennock": None,  # takes no arguments
}
# Pages that must carry every section a packaged command's page has.
FULL_PAGES = ("lorimer", "tessaly", "tessaly-project", "converter", "velreg", "orvenna")
FULL_SECTIONS = ("NAME", "SYNOPSIS", "DESCRIPTION", "ENVIRONMENT", "FILES", "EXIT STATUS", "EXAMPLES", "SEE ALSO")
SHORT_SECTIONS = ("NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "SEE ALSO")

faults = []


def fault(message):
    faults.append(message)


def plain_roff(text):
    """The page's text without font changes and escapes, as words would be searched."""
    text = re.sub(r"\\f(?:\[[^]]*\]|\(..|.)", "", text)
    for escape, char in ((r"\-", "-"), (r"\e", "\\"), (r"\(rs", "\\"), (r"\(dq", '"'), (r"\(aq", "'"),
                         (r"\&", ""), (r"\%", ""), (r"\:", ""), (r"\~", " "), ("\\ ", " ")):
        text = text.replace(escape, char)
    return text


def sections(page):
    """Section name -> its text."""
    parts = re.split(r'^\.SH "?([^"\n]+)"?\n', page, flags=re.M)
    return {parts[i].strip(): parts[i + 1] for i in range(1, len(parts) - 1, 2)}


def run(command, env, timeout=30):
    try:
        return subprocess.run(command, env=env, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def usage_texts(bin_dir, program, env, scratch):
    """The usage texts of a program, checked for status and side effects."""
    args, status, early = USAGE[program]
    registry = os.path.join(scratch, "registry-" + program)
    env = dict(env, VELMARK_REGISTRY_DIR=registry)
    forms = [args] + ([["-h"]] if early else [])
    texts = []
    for form in forms:
        result = run([os.path.join(bin_dir, program)] + form, env)
        shown = " ".join([program] + form)
        if result is None:
            fault(f"{shown}: did not end within 30 s")
            continue
        text = result.stdout if status == 0 else result.stderr
        if result.returncode != status or not text.strip():
            fault(f"{shown}: status {result.returncode}, {len(text)} characters of usage")
            continue
        if early and (result.stderr or os.path.exists(registry)):
            fault(f"{shown}: started more than the usage (stderr {result.stderr!r}, registry made: "
                  f"{os.path.exists(registry)})")
        texts.append(text)
    if early and len(texts) == 2 and texts[0] != texts[1]:
        fault(f"{program}: -h and --help differ")
    if program == "velreg" and texts:
        # One usage per operation, as "velreg OPERATION /?" shows it.
        listed = re.search(r"OPERATION\s+(\w+(?:\s*\|\s*\w+)+)", texts[0])
        for operation in re.split(r"\s*\|\s*", listed.group(1)) if listed else []:
            result = run([os.path.join(bin_dir, program), operation, "/?"], env)
            if result is None or result.returncode != 0 or not result.stdout.strip():
                fault(f"velreg {operation} /?: no usage")
            else:
                texts.append(result.stdout)
        if not listed:
            fault("velreg /?: lists no operations")
    return texts


def subcommands(program, text):
    found = set(re.findall(r"^\s*(?:[Uu]sage:\s*)?" + re.escape(program) + r" ([a-z]+)\b", text, re.M))
    listed = re.search(r"OPERATION\s+(\w+(?:\s*\|\s*\w+)+)", text)
    if listed:
        found.update(re.split(r"\s*\|\s*", listed.group(1)))
    return found


def check_page_against_usage(program, texts, page):
    plain = plain_roff(page)
    env_section = plain_roff(sections(page).get("ENVIRONMENT", ""))
    words, commands, variables, keys = set(), set(), set(), set()
    for text in texts:
        words.update(OPTION.findall(text))
        commands.update(subcommands(program, text))
        variables.update(ENVIRONMENT.findall(text))
        keys.update(REGISTRY_KEY.findall(text))
    if texts and not words and not commands:
        fault(f"{program}: found neither options nor commands in its usage")
    # A switch ending in ":" is followed by its value.
    missing = sorted(w for w in words
                     if not re.search(r"(?<![\w/-])%s%s" % (re.escape(w), "" if w.endswith(":") else r"(?![\w-])"), plain))
    if missing:
        fault(f"{program}.1 lacks the options {missing}")
    missing = sorted(c for c in commands if not re.search(r"\b%s\b" % c, plain))
    if missing:
        fault(f"{program}.1 lacks the commands {missing}")
    missing = sorted(v for v in variables if not re.search(r"\b%s\b" % v, env_section))
    if missing:
        fault(f"{program}.1: ENVIRONMENT lacks {missing}")
    missing = sorted(k for k in keys if k not in plain)
    if missing:
        fault(f"{program}.1 lacks the keys {missing}")


def check_page(path, pages):
    name = os.path.basename(path)[:-2]
    with open(path, encoding="utf-8") as f:
        page = f.read()
    header = HEADER.search(page)
    if not header or header.group(1) != name.upper():
        fault(f"{name}.1: .TH is not '{name.upper()} 1 \"December 2026\" \"Velmark 1.0\"'")
    parts = sections(page)
    needed = FULL_SECTIONS if name in FULL_PAGES else SHORT_SECTIONS
    missing = [s for s in needed if s not in parts]
    if name in FULL_PAGES and "OPTIONS" not in parts and "COMMANDS" not in parts:
        missing.append("OPTIONS or COMMANDS")
    if missing:
        fault(f"{name}.1 lacks the sections {missing}")
    if " \\- " not in parts.get("NAME", "") or not plain_roff(parts.get("NAME", "")).strip().startswith(name + " - "):
        fault(f"{name}.1: NAME is not '{name} \\- description'")
    for reference in re.findall(r"^\.BR (\S+) \(1\)", parts.get("SEE ALSO", ""), re.M):
        if plain_roff(reference) not in pages:
            fault(f"{name}.1: SEE ALSO names {reference}(1), which is not among the pages")
    # As lintian renders it, and with every groff warning on.
    env = dict(os.environ, LC_ALL="C.UTF-8", MANROFFSEQ="", MANWIDTH="80")
    for command in (["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", path], ["groff", "-man", "-ww", "-z", path]):
        result = run(command, env)
        if result is None or result.returncode != 0 or result.stderr:
            fault(f"{name}.1: {command[0]} warns: {result.stderr.strip() if result else 'timed out'}")
    return page


# Completion calls: the command line typed so far (the cursor at its end), the
# candidates that must be offered and those that must not. D is a folder with
# files of known names.
COMPLETIONS = [
    ("lorimer in", ["info"], ["render"]),
    ("lorimer ", ["info", "render", "save", "thumb", "thumbnail", "--help"], []),
    ("lorimer save D/pic.png out.jpg --ro", ["--rotate"], ["--quality"]),
    ("lorimer save D/pic.png out.jpg qual", ["quality="], []),
    ("lorimer save --page 1 D/pic.png out.jpg --filter ", ["0", "8"], ["9"]),
    ("lorimer thumb D/pic.png out.bmp 64 64 --b", ["--border", "--background"], ["--brightness"]),
    ("lorimer render D/pi", ["D/pic.png"], []),
    ("tessaly-project ar", ["arrange"], []),
    ("tessaly-project arrange a b 1 1 3 4 30 30 ", ["0", "1", "2"], []),
    ("tessaly-project dump D/al", ["D/album.tsp"], []),
    ("tessaly /no", ["/nosplash"], []),
    ("tessaly /d", ["/def:"], []),
    ("tessaly /def:D/al", ["D/album.tsp"], []),
    ("tessaly @D/li", ["@D/list.txt"], []),
    ("tessaly -n", ["-nosplash"], ["-N:"]),
    ("tessaly -N", ["-N:"], []),
    ("tessaly --h", ["--help"], []),
    ("converter D/pic.png /JP", ["/JPG", "/JPE", "/JPEG"], ["/TIF"]),
    ("converter D/pic.png /setas", ["/SETASWALLPAPER"], []),
    ("converter --", ["--help", "--register"], []),
    ("velreg ", ["query", "add", "delete", "export", "import", "/?"], []),
    ("velreg q", ["query"], []),
    ("velreg query HKC", ["HKCU\\", "HKCR\\"], ["HKLM\\"]),
    ("velreg add HKCU\\\\X /t REG_D", ["REG_DWORD"], []),
    ("velreg delete HKCU\\\\X /v", ["/v", "/ve", "/va"], ["/t"]),
    ("velreg query HKCU\\\\X -", ["-v", "-ve", "-s", "-?"], ["-f"]),
    ("velreg import D/se", ["D/settings.reg"], ["D/settings.txt"]),
    ("orvenna --h", ["--help"], []),
    ("orvenna D/", ["D/pic.png", "D/album.tsp.TGA"], ["D/notes.txt"]),
    ("orvenna D/pic.png D/", [], ["D/pic.png"]),
]


def comp_words(line):
    """COMP_WORDS as bash splits the line: at blanks, and around ":" and "="."""
    words = []
    for token in line.split(" "):
        words.extend(re.findall(r"[:=]+|[^:=]+", token) or [""])
    return words


def complete(folder, program, line):
    """The candidates the completion function offers for the line."""
    words = comp_words(line)
    script = f"""
source {shlex.quote(BASH_COMPLETION)}
source {shlex.quote(os.path.join(folder, program))}
COMP_LINE={shlex.quote(line)}; COMP_POINT=${{#COMP_LINE}}
COMP_WORDS=({' '.join(shlex.quote(w) for w in words)}); COMP_CWORD={len(words) - 1}
function=$(complete -p {shlex.quote(program)} | sed -n 's/.*-F \\([^ ]*\\) .*/\\1/p')
"$function" {shlex.quote(program)} "${{COMP_WORDS[COMP_CWORD]}}" "${{COMP_WORDS[COMP_CWORD-1]}}" 2>/dev/null
printf '%s\\n' "${{COMPREPLY[@]}}"
"""
    result = run(["bash", "--norc", "--noprofile", "-c", script], dict(os.environ))
    return None if result is None else [w for w in result.stdout.split("\n") if w]


def check_completions(source_root, scratch, texts):
    folder = os.path.join(source_root, "packaging", "completions")
    for program in FULL_PAGES:
        path = os.path.join(folder, program)
        if not os.path.isfile(path):
            fault(f"no completion file {path}")
            continue
        script = f"source {shlex.quote(BASH_COMPLETION)}; source {shlex.quote(path)}; complete -p {program}"
        result = run(["bash", "--norc", "--noprofile", "-c", script], dict(os.environ))
        if result is None or result.returncode != 0 or result.stderr or not re.search(
                r"complete -F \S+ .*\b%s$" % re.escape(program), result.stdout.strip()):
            fault(f"completion {program}: does not load as a function ({result and result.stderr.strip()})")

    d = os.path.join(scratch, "D")
    os.makedirs(d)
    for name in ("pic.png", "album.tsp", "album.tsp.TGA", "list.txt", "notes.txt", "settings.reg", "settings.txt"):
        open(os.path.join(d, name), "w").close()
    os.chdir(scratch)  # the lines name D relative to here
    for line, wanted, unwanted in COMPLETIONS:
        program = line.split(" ")[0]
        offered = complete(folder, program, line)
        if offered is None:
            fault(f"completing {line!r}: timed out")
            continue
        if any(w not in offered for w in wanted) or any(u in offered for u in unwanted):
            fault(f"completing {line!r}: offered {offered}, wanted {wanted}, not {unwanted}")

    # The converter's switches are its type table and its job switches, as the
    # program decodes them and as its usage lists the types.
    with open(os.path.join(source_root, "converter", "cli", "CommandLine.cpp"), encoding="utf-8") as f:
        code = f.read()
    table = re.findall(r'\{"\.(\w+)", "(\w+)", (?:true|false)\}', code)
    types = {"/" + name for _, name in table}
    jobs = set(re.findall(r'Has\(text, "(/[A-Z]+)"\)', code))
    if len(table) != 29 or not jobs:
        fault(f"converter/cli/CommandLine.cpp: read {len(table)} type rows and {len(jobs)} job switches")
    offered = {w for w in complete(folder, "converter", "converter D/pic.png /") or [] if re.fullmatch(r"/[A-Z]+", w)}
    if offered != types | jobs:
        fault(f"converter completion: switches differ from the program's: "
              f"missing {sorted((types | jobs) - offered)}, extra {sorted(offered - (types | jobs))}")
    shown = set(re.findall(r"/[A-Z]{3,}", "".join(texts.get("converter", []))))
    if not types <= shown:
        fault(f"converter --help lacks the types {sorted(types - shown)}")
    # The viewer is offered every type of the table.
    for extension, _ in table:
        open(os.path.join(d, "x." + extension), "w").close()
    offered = complete(folder, "orvenna", "orvenna D/x.") or []
    missing = sorted(e for e, _ in table if f"D/x.{e}" not in offered)
    if missing:
        fault(f"orvenna completion does not offer the types {missing}")


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().split("\n\n")[0], file=sys.stderr)
        print("usage: man_and_completion_test.py BIN_DIR SOURCE_ROOT", file=sys.stderr)
        return 1
    bin_dir, source_root = (os.path.abspath(a) for a in sys.argv[1:])
    for tool, package in (("man", "man-db"), ("groff", "groff-base"), ("bash", "bash")):
        if not shutil.which(tool):
            print(f"FAIL: {tool} is missing (Debian package {package})")
            return 1
    if not os.path.isfile(BASH_COMPLETION):
        print(f"FAIL: {BASH_COMPLETION} is missing (Debian package bash-completion)")
        return 1

    scratch = tempfile.mkdtemp(prefix="man-completion-")
    try:
        # No display, no session: the usage must not need one.
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME")}
        env.update(HOME=os.path.join(scratch, "home"), XDG_RUNTIME_DIR=os.path.join(scratch, "run"),
                   QT_QPA_PLATFORM="offscreen")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        man_dir = os.path.join(source_root, "docs", "man")
        pages = {p[:-2] for p in os.listdir(man_dir) if p.endswith(".1")}
        texts = {}
        for program in USAGE:
            if program not in pages:
                fault(f"no manual page docs/man/{program}.1")
        for name in sorted(pages):
            page = check_page(os.path.join(man_dir, name + ".1"), pages)
            if USAGE.get(name):
                texts[name] = usage_texts(bin_dir, name, env, scratch)
                check_page_against_usage(name, texts[name], page)
        check_completions(source_root, scratch, texts)
    finally:
        os.chdir("/")
        shutil.rmtree(scratch, ignore_errors=True)

    for message in faults:
        print("FAIL: " + message)
    print(f"{len(faults)} fault(s)" if faults else "manual pages, completions and usage agree")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
