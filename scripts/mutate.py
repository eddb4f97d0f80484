#!/usr/bin/env python3
"""Mutation testing for developers: how many small faults planted in src/ do the tests catch?

Draws mutants at random from the C++ sources the native build compiles (flipped comparisons and
logic, changed constants, deleted calls, swapped returns), applies each in turn, rebuilds
incrementally, runs the tests and prints one line per mutant (killed, survived, or did not
build) and a score. The source is restored after every mutant, also on Ctrl-C.
"""

import argparse
import json
import os
import random
import re
import signal
import subprocess
import sys
import time

# (name, pattern, replacement). Patterns see a line whose strings and comments are blanked out,
# so they only ever match code. Binary operators carry the spaces clang-format puts around them,
# which keeps template brackets, shifts and pointers out.
OPERATORS = [
    ("== to !=", re.compile(r" == "), " != "),
    ("!= to ==", re.compile(r" != "), " == "),
    ("< to <=", re.compile(r" < "), " <= "),
    ("<= to <", re.compile(r" <= "), " < "),
    ("> to >=", re.compile(r" > "), " >= "),
    (">= to >", re.compile(r" >= "), " > "),
    ("&& to ||", re.compile(r" && "), " || "),
    ("|| to &&", re.compile(r" \|\| "), " && "),
    ("drop !", re.compile(r"(?<=[(\s])!(?=[\w(])"), ""),
    ("+ to -", re.compile(r" \+ "), " - "),
    ("- to +", re.compile(r" - "), " + "),
    ("return true to false", re.compile(r"\breturn true;"), "return false;"),
    ("return false to true", re.compile(r"\breturn false;"), "return true;"),
    ("constant + 1", re.compile(r"(?<![\w.])(0x[0-9A-Fa-f]+|\d+)(?=[uUlL]*\b)(?![.\w])"), None),
    ("delete call", re.compile(r"^(\s*)((?:[\w:]+(?:\.|->))*[A-Za-z_][\w:]*\(.*\);)\s*$"), None),
]

STRING_OR_CHAR = re.compile(r'(?:u8|u|U|L)?"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'')


def code_only(line, in_block_comment):
    """The line with strings, characters and comments blanked, and whether a block comment
    is still open at its end."""
    out = []
    i = 0
    while i < len(line):
        if in_block_comment:
            end = line.find("*/", i)
            if end < 0:
                out.append(" " * (len(line) - i))
                return "".join(out), True
            out.append(" " * (end + 2 - i))
            i = end + 2
            in_block_comment = False
            continue
        if line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        if line.startswith("/*", i):
            in_block_comment = True
            continue
        m = STRING_OR_CHAR.match(line, i)
        if m and (m.start() == 0 or not (line[m.start() - 1].isalnum() or line[m.start() - 1] == "_")
                  or line[m.start()] in "uUL"):
            out.append(" " * (m.end() - i))
            i = m.end()
            continue
        out.append(line[i])
        i += 1
    return "".join(out), in_block_comment


def mutation_sites(path):
    """Every (line index, start, end, replacement, operator name) of one file."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    sites = []
    in_block = False
    for index, raw in enumerate(lines):
        code, in_block = code_only(raw, in_block)
        stripped = code.strip()
        if not stripped or stripped.startswith("#") or "static_assert" in code:
            continue
        for name, pattern, replacement in OPERATORS:
            if name == "delete call":
                m = pattern.match(code)
                if m and not re.match(r"\s*(return|if|while|for|switch|case|else|using|throw)\b",
                                      code) and " = " not in code:
                    sites.append((index, len(m.group(1)), len(raw.rstrip()), ";", name))
                continue
            for m in pattern.finditer(code):
                if name == "constant + 1":
                    text = raw[m.start():m.end()]
                    value = int(text, 16) if text.lower().startswith("0x") else int(text)
                    new = hex(value + 1) if text.lower().startswith("0x") else str(value + 1)
                    sites.append((index, m.start(), m.end(), new, name))
                else:
                    sites.append((index, m.start(), m.end(), replacement, name))
    return lines, sites


def compiled_sources(build_dir, root):
    """src/ files the build compiles, and every header under src/, less the stand-ins."""
    with open(os.path.join(build_dir, "compile_commands.json"), encoding="utf-8") as f:
        entries = json.load(f)
    src_root = os.path.join(root, "src") + os.sep
    files = {os.path.realpath(e["file"]) for e in entries}
    files = {f for f in files if f.startswith(src_root)}
    for folder, _, names in os.walk(os.path.join(root, "src")):
        files.update(os.path.join(folder, n) for n in names if n.endswith(".h"))
    # The stand-ins for Windows are test doubles that never ship: a fault planted there says
    # nothing about the plug-in.
    files = {f for f in files if "substitute" not in os.path.basename(f)}
    return sorted(os.path.relpath(f, root) for f in files)


def survivors(output, candidates):
    """The candidates an earlier run's output reports as survived, in its order."""
    line = re.compile(r"^\[\s*\d+/\d+\] survived\s+(\S+):(\d+):(\d+)  (.+?): ")
    by_place = {(path, index + 1, start + 1, name): (path, (index, start, end, new, name))
                for path, (index, start, end, new, name) in candidates}
    found = []
    with open(output, encoding="utf-8") as f:
        for text in f:
            m = line.match(text)
            if m:
                key = (m.group(1), int(m.group(2)), int(m.group(3)), m.group(4))
                if key in by_place:
                    found.append(by_place[key])
                else:
                    print(f"mutate: {key[0]}:{key[1]}:{key[2]} {key[3]} is no longer a site",
                          flush=True)
    return found


def run(command, timeout):
    try:
        return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("count", nargs="?", type=int, default=20, help="mutants to draw")
    parser.add_argument("--seed", type=int, default=None, help="sample seed (printed)")
    parser.add_argument("--build", default="build/native", help="configured native build folder")
    parser.add_argument("--under", default="src", help="only files under this folder")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--ctest-args", default="", help="extra ctest arguments, e.g. '-E Tool'")
    parser.add_argument("--again", metavar="OUTPUT",
                        help="instead of a sample, the mutants an earlier run's OUTPUT says "
                             "survived (to see whether new tests kill them)")
    args = parser.parse_args()

    root = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
    os.chdir(root)
    build = ["cmake", "--build", args.build, "-j", str(args.jobs)]
    test = ["ctest", "--test-dir", args.build, "-j", str(args.jobs), "--stop-on-failure"]
    test += args.ctest_args.split()

    print("mutate: building and testing the unmutated tree", flush=True)
    started = time.monotonic()
    if run(build, None) != 0 or run(test, None) != 0:
        sys.exit("mutate: the unmutated tree does not build or its tests fail")
    test_timeout = 3 * (time.monotonic() - started) + 60

    candidates = []
    for path in compiled_sources(args.build, root):
        if not path.startswith(args.under.rstrip("/")):
            continue
        lines, sites = mutation_sites(path)
        candidates += [(path, site) for site in sites]
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    if args.again:
        sample = survivors(args.again, candidates)
    else:
        sample = random.Random(seed).sample(candidates, min(args.count, len(candidates)))
    drawn = f"survivors of {args.again}" if args.again else f"seed {seed}"
    print(f"mutate: {len(sample)} of {len(candidates)} sites, {drawn}", flush=True)

    restore = {}

    def put_back(*_):
        for path, text in restore.items():
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        restore.clear()

    def interrupted(*_):
        put_back()
        sys.exit("mutate: interrupted, sources restored")

    signal.signal(signal.SIGINT, interrupted)
    signal.signal(signal.SIGTERM, interrupted)

    tally = {"killed": 0, "survived": 0, "did not build": 0}
    try:
        for number, (path, (index, start, end, new, name)) in enumerate(sample, 1):
            with open(path, encoding="utf-8") as f:
                original = f.read()
            lines = original.split("\n")
            before = lines[index]
            lines[index] = before[:start] + new + before[end:]
            restore[path] = original
            with open(path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            if run(build, None) != 0:
                outcome = "did not build"
            else:
                outcome = "survived" if run(test, test_timeout) == 0 else "killed"
            put_back()
            tally[outcome] += 1
            print(f"[{number:3}/{len(sample)}] {outcome:13} {path}:{index + 1}:{start + 1}  "
                  f"{name}: {before.strip()}", flush=True)
    finally:
        put_back()
        run(build, None)

    built = tally["killed"] + tally["survived"]
    score = 100 * tally["killed"] / built if built else 0
    print(f"mutate: {tally['killed']} killed, {tally['survived']} survived, "
          f"{tally['did not build']} did not build; score {score:.0f}% of built mutants "
          f"({drawn})")


if __name__ == "__main__":
    main()
