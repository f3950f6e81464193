#!/usr/bin/env python3
"""How many deliberately injected faults the tests catch.

Picks a seeded sample of small faults in the program's sources (a flipped or shifted
comparison, && and || swapped, a changed number, true and false swapped, a removed statement),
and for each one rebuilds and runs the tests until the first failure. A fault that does not
compile is skipped and replaced by the next one of the sample. Only tests the fault can reach
run: those whose executable was rebuilt, those that start a rebuilt server or client, and the
scripts; the tests of the faulty file's own folder run first.

    tools/mutation-sample.py BUILD_DIR [--count 30] [--seed 1] [--paths src server]
        [--tests REGEX] [--list] [--record FILE | --replay FILE]

--list only prints the sample. The sources are restored after each fault, also on Ctrl-C.
Prints one line per fault (caught by which test, or SURVIVED) and the share caught.
The same seed on the same sources gives the same sample. Once the sources change (even a line
elsewhere), the sample does too: --record writes the faults tried, one JSON object a line, and
--replay plants exactly those again, finding each line by its text, so two versions of the tests
are compared on one sample.
"""
import argparse
import json
import pathlib
import random
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

RELATIONS = {"<": ["<=", ">="], ">": [">=", "<="], "<=": ["<", ">"], ">=": [">", "<"],
             "==": ["!="], "!=": ["=="]}
RELATION = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
LOGIC = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
NUMBER = re.compile(r"(?<![\w.])(\d+(?:\.\d+)?)(?![\w.'])")
BOOLEAN = re.compile(r"\b(true|false)\b")
# A call or an assignment to something that already exists, alone on its line.
STATEMENT = re.compile(r"^\s*(?:[\w:.>\-\[\]*]+\s*(?:=|\+=|-=|\|=)\s*[^=].*|[\w:.>\-\[\]]+\(.*\));\s*$")
SKIP_LINE = re.compile(r"^\s*(#|//|\*|/\*)|\bstatic_assert\b|\bQ_[A-Z_]+\b|^\s*(case|default)\b")
STRING = re.compile(r'"(?:\\.|[^"\\])*"')


def candidates(path):
    """Every (line number, description, new line) fault of one source file."""
    faults = []
    lines = path.read_text(encoding="utf-8").split("\n")
    for number, line in enumerate(lines):
        if SKIP_LINE.search(line) or not line.strip():
            continue
        code = STRING.sub(lambda m: " " * len(m.group(0)), line)
        comment = code.find("//")
        if comment >= 0:
            code = code[:comment]
        for match in RELATION.finditer(code):
            for other in RELATIONS[match.group(1)]:
                faults.append((number, f"{match.group(1)} -> {other}",
                               line[:match.start()] + other + line[match.end():]))
        for match in LOGIC.finditer(code):
            other = "||" if match.group(1) == "&&" else "&&"
            faults.append((number, f"{match.group(1)} -> {other}",
                           line[:match.start()] + other + line[match.end():]))
        for match in NUMBER.finditer(code):
            text = match.group(1)
            other = str(float(text) * 2) if "." in text else str(int(text) + 1)
            faults.append((number, f"{text} -> {other}",
                           line[:match.start()] + other + line[match.end():]))
        for match in BOOLEAN.finditer(code):
            other = "false" if match.group(1) == "true" else "true"
            faults.append((number, f"{match.group(1)} -> {other}",
                           line[:match.start()] + other + line[match.end():]))
        if STATEMENT.match(code) and not re.match(r"^\s*(return|const|auto|using)\b", code):
            faults.append((number, "statement removed", ""))
    return faults


def sample(paths, count, seed):
    every = []
    for top in paths:
        for path in sorted((ROOT / top).rglob("*.cpp")):
            if "main.cpp" == path.name:
                continue
            every += [(path, *fault) for fault in candidates(path)]
    rng = random.Random(seed)
    rng.shuffle(every)
    return every, count


def replayed(record):
    """The recorded faults, each found again by its line's text nearest its old line number."""
    faults = []
    for entry in map(json.loads, pathlib.Path(record).read_text(encoding="utf-8").splitlines()):
        path = ROOT / entry["path"]
        lines = path.read_text(encoding="utf-8").split("\n")
        matches = [n for n, line in enumerate(lines) if line == entry["old"]]
        if not matches:
            print(f"MISSING: {entry['path']}:{entry['line']}: {entry['description']}", flush=True)
            continue
        number = min(matches, key=lambda n: abs(n + 1 - entry["line"]))
        faults.append((path, number, entry["description"], entry["new"]))
    return faults, len(faults)


def run(command, **kwargs):
    return subprocess.run(command, cwd=ROOT, capture_output=True, text=True, **kwargs)


def test_commands(build):
    listing = run(["ctest", "--test-dir", build, "--show-only=json-v1"])
    return {test["name"]: test["command"] for test in json.loads(listing.stdout)["tests"]}


def stamps(paths):
    return {path: pathlib.Path(path).stat().st_mtime_ns if pathlib.Path(path).exists() else 0
            for path in paths}


def reached(commands, programs, before, after):
    """The tests a rebuild can have changed: rebuilt executables, users of a rebuilt program."""
    changed = {path for path in after if after[path] != before[path]}
    server, client = programs
    names = []
    for name, command in commands.items():
        binary = pathlib.Path(command[0])
        if command[0] in changed:
            names.append(name)
        elif not binary.read_bytes().startswith(b"\x7fELF"):
            if changed & {server, client}:
                names.append(name)
        elif server in changed and b"TOSSWICK_SERVER" in binary.read_bytes():
            names.append(name)
        elif client in changed and b"TOSSWICK_CLIENT" in binary.read_bytes():
            names.append(name)
    return names


def first_failure(output):
    match = re.search(r"The following tests FAILED:\s*\n\s*\d+\s*-\s*(\S+)", output)
    return match.group(1) if match else "a test"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--count", type=int, default=30)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--paths", nargs="+", default=["src", "server"])
    parser.add_argument("--tests", help="ctest -R regular expression; all tests by default")
    parser.add_argument("--list", action="store_true")
    choice = parser.add_mutually_exclusive_group()
    choice.add_argument("--record", help="append each fault tried to this file")
    choice.add_argument("--replay", help="plant the faults of a --record file instead")
    args = parser.parse_args()

    if args.replay:
        faults, count = replayed(args.replay)
    else:
        faults, count = sample(args.paths, args.count, args.seed)
    if args.list:
        for path, number, description, _ in faults[:count]:
            print(f"{path.relative_to(ROOT)}:{number + 1}: {description}")
        return 0

    commands = test_commands(args.build)
    if args.tests:
        commands = {name: command for name, command in commands.items()
                    if re.search(args.tests, name)}
    build = pathlib.Path(args.build).resolve()
    programs = (str(build / "server/tosswick-server"), str(build / "src/app/tosswick"))
    watched = {command[0] for command in commands.values()} | set(programs)

    caught = tried = 0
    for path, number, description, new_line in faults:
        if tried == count:
            break
        original = path.read_text(encoding="utf-8")
        lines = original.split("\n")
        lines[number] = new_line
        where = f"{path.relative_to(ROOT)}:{number + 1}: {description}"
        try:
            path.write_text("\n".join(lines), encoding="utf-8")
            before = stamps(watched)
            if run(["cmake", "--build", args.build, "-j2"]).returncode != 0:
                continue
            names = reached(commands, programs, before, stamps(watched))
            tried += 1
            if args.record:
                with open(args.record, "a", encoding="utf-8") as record:
                    record.write(json.dumps({"path": str(path.relative_to(ROOT)), "line": number + 1,
                                             "description": description, "old": original.split("\n")[number],
                                             "new": new_line}) + "\n")
            parts = path.relative_to(ROOT).parts
            area = parts[0] if parts[0] == "server" else parts[1]
            result = None
            for group in (
                    [name for name in names if name.startswith(area + "_")],
                    [name for name in names if not name.startswith(area + "_")]):
                if not group:
                    continue
                result = run(["scripts/run-tests.sh", args.build, "--stop-on-failure",
                              "--timeout", "300", "-R", "^(" + "|".join(group) + ")$"])
                if result.returncode != 0:
                    break
            if result is not None and result.returncode != 0:
                caught += 1
                print(f"caught by {first_failure(result.stdout)}: {where}", flush=True)
            else:
                print(f"SURVIVED ({len(names)} tests reached): {where}", flush=True)
        finally:
            path.write_text(original, encoding="utf-8")
    run(["cmake", "--build", args.build, "-j2"])
    origin = f"replay of {args.replay}" if args.replay else f"seed {args.seed}"
    print(f"caught {caught} of {tried} faults ({100 * caught / max(tried, 1):.0f}%), {origin}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
