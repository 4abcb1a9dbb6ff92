#!/usr/bin/env python3
"""Mutation runner for the module code (smbios/, trace/, regaccess/).

Lists the mutation sites of the module sources. Each file is built once per tree as a mutant schema (every
mutant of the file in one source, each behind a run-time switch read from MUTANT_ID: scripts/mutant_schema.py),
so a mutant costs only runs of the test programs that link an object compiled from the file (read from the
tree's build graph: `ninja -t deps` and `ninja -t inputs`). Two stages: every mutant runs first in the plain tree
(build/host64 for the DXE driver, build/pei32 for the PEI module), and only the survivors again in the
sanitizer tree (build/asan64, build/asan32). Sites whose schema does not compile are rebuilt one mutant at a
time. Reports killed, survived and did-not-build per file, as a table and as JSON. The source is always
restored (also on Ctrl-C, SIGTERM or a crash of this script, from the copy kept in build/mutants/restore), and
the touched test programs are rebuilt from it, so no mutated object stays in a tree.

    scripts/mutants.py --list                      # the sites, per file
    scripts/mutants.py --files smbios/records/vpd_reader.cpp
    scripts/mutants.py --sample 20 --seed 7 --fail-on-survivor
"""

import argparse
import concurrent.futures
import fcntl
import fnmatch
import json
import os
import queue
import random
import re
import shlex
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import mutant_schema  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
MODULE_DIRS = ("smbios", "trace", "regaccess")
TREE_OF_DIR = {"smbios": "asan64", "trace": "asan32", "regaccess": "asan32"}
PLAIN_TREE_OF_DIR = {"smbios": "host64", "trace": "pei32", "regaccess": "pei32"}
MUTANTS_DIR = ROOT / "build" / "mutants"
EQUIVALENT_DOC = ROOT / "docs" / "reliability.md"
EQUIVALENT_HEADING = "### Equivalent mutants"


# ---------------------------------------------------------------------------------------------------------------
# Mutation sites


def mask_source(text):
    """The text with comments, string and character literals and preprocessor lines blanked (newlines kept), so
    operator patterns only see code; positions stay those of the original."""
    out = list(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            j = i
            while j < n and not (text[j] == "\n" and text[j - 1] != "\\"):
                j += 1
            for k in range(i, j):
                out[k] = " "
            i = j
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if c in " \t":
            i += 1
            continue
        line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                out[k] = " "
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                if out[k] != "\n":
                    out[k] = " "
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            for k in range(i + 1, min(j, n)):
                out[k] = " "
            i = j + 1
        else:
            i += 1
    return "".join(out)


class Site:
    """One mutant: replace text[start:end] of a file by `replacement`."""

    def __init__(self, path, text, start, end, replacement, kind, label):
        self.path = path
        self.start, self.end = start, end
        self.original = text[start:end]
        self.replacement = replacement
        self.kind = kind
        self.label = label  # e.g. "< -> <=", "if -> true"
        self.line = text.count("\n", 0, start) + 1
        line_begin = text.rfind("\n", 0, start) + 1
        self.column = start - line_begin + 1
        line_end = text.find("\n", start)
        self.line_text = text[line_begin : len(text) if line_end < 0 else line_end].strip()
        self.occurrence = 1  # among sites of this file with the same line text and label
        self.id = f"{path}:{self.line}:{self.column}:{kind}"

    def key(self):
        """What the list of equivalent mutants names: file, line text, mutation, occurrence (moves of the code
        leave it unchanged)."""
        return (self.path, self.line_text, self.label, self.occurrence)

    def apply(self, text):
        return text[: self.start] + self.replacement + text[self.end :]


BOUNDARY = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
SWAPS = {"==": "!=", "!=": "==", "&&": "||", "||": "&&", "++": "--", "--": "++"}
DECLARATION_START = re.compile(
    r"^(?:(?:const|constexpr|static|auto|unsigned|signed|struct|enum|using|typedef|return|break|continue|case|"
    r"default|goto|else|do|template|namespace|extern|inline|friend|public|private|protected|static_assert)\b|"
    r"[A-Za-z_][\w:<>,\s]*[\s*&]+[A-Za-z_]\w*\s*(?:[=\[({;]|$))"
)
STATEMENT_START = re.compile(r"^(?:\+\+|--|\*|[A-Za-z_])")


def matching_paren(masked, open_index):
    depth = 0
    for i in range(open_index, len(masked)):
        if masked[i] == "(":
            depth += 1
        elif masked[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def statement_end(masked, start):
    """Index of the ';' ending the statement that starts at `start` (parentheses and braces balanced), or -1."""
    depth = 0
    for i in range(start, len(masked)):
        c = masked[i]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth < 0:
                return -1
        elif c == ";" and depth == 0:
            return i
    return -1


def find_sites(path, text):
    masked = mask_source(text)
    sites = []

    def add(start, end, replacement, kind, label):
        sites.append(Site(path, text, start, end, replacement, kind, label))

    skip_lines = set()
    for m in re.finditer(r"static_assert", masked):
        skip_lines.add(masked.count("\n", 0, m.start()))

    for m in re.finditer(r"(?<= )(<=|>=|<|>|==|!=|&&|\|\|)(?= )", masked):
        op = m.group(1)
        if op in BOUNDARY:
            add(m.start(), m.end(), BOUNDARY[op], "boundary", f"{op} -> {BOUNDARY[op]}")
        else:
            kind = "equality" if op in ("==", "!=") else "logical"
            add(m.start(), m.end(), SWAPS[op], kind, f"{op} -> {SWAPS[op]}")
    for m in re.finditer(r"\+\+|--", masked):
        before = masked[m.start() - 1] if m.start() else " "
        after = masked[m.end()] if m.end() < len(masked) else " "
        if before in "+-" or after in "+-=":
            continue
        op = m.group(0)
        add(m.start(), m.end(), SWAPS[op], "increment", f"{op} -> {SWAPS[op]}")
    # Additive constant 1 of a binary + or -: the sign flipped.
    for m in re.finditer(r"(?<=[\w)\]] )([+-]) 1\b(?![.\w'])", masked):
        op = m.group(1)
        other = "-" if op == "+" else "+"
        add(m.start(), m.end(), f"{other} 1", "constant", f"{op} 1 -> {other} 1")
    # Conditions of if and while forced true or false.
    for m in re.finditer(r"\b(if|while) \(", masked):
        if masked[m.start() - 6 : m.start()] == "} do ":
            continue
        open_index = m.end() - 1
        close = matching_paren(masked, open_index)
        if close < 0:
            continue
        condition = masked[open_index + 1 : close]
        if ";" in condition or condition.strip() in ("true", "false"):
            continue
        word = m.group(1)
        add(open_index + 1, close, "true", "condition", f"{word} -> true")
        add(open_index + 1, close, "false", "condition", f"{word} -> false")
    # Removed statements: expression statements that begin a line (calls, assignments, increments).
    offset = 0
    for line in masked.split("\n"):
        stripped = line.lstrip()
        begin = offset + len(line) - len(stripped)
        offset += len(line) + 1
        if not stripped or not STATEMENT_START.match(stripped) or DECLARATION_START.match(stripped):
            continue
        if re.match(r"(?:if|for|while|switch)\b", stripped) or stripped.endswith(("{", ":", ",")):
            continue
        end = statement_end(masked, begin)
        if end < 0 or "{" in masked[begin:end]:
            continue
        prefix = masked[masked.rfind("\n", 0, begin) + 1 : begin]
        if prefix.strip():
            continue
        add(begin, end + 1, ";", "statement", "statement removed")

    sites = [s for s in sites if s.line - 1 not in skip_lines]
    sites.sort(key=lambda s: (s.start, s.kind, s.replacement))
    seen = {}
    for s in sites:
        k = (s.line_text, s.label)
        seen[k] = seen.get(k, 0) + 1
        s.occurrence = seen[k]
    return sites


def module_files(patterns):
    files = []
    for d in MODULE_DIRS:
        for p in sorted((ROOT / d).rglob("*")):
            if p.suffix in (".cpp", ".h") and p.is_file():
                files.append(p.relative_to(ROOT).as_posix())
    if not patterns:
        return files
    chosen = []
    for pat in patterns:
        pat = pat.rstrip("/")
        hits = [f for f in files if f == pat or fnmatch.fnmatch(f, pat) or f.startswith(pat + "/")]
        if not hits:
            sys.exit(f"mutants.py: --files {pat}: no module source matches (give a path below "
                     f"{', '.join(MODULE_DIRS)}, a folder or a glob)")
        chosen += [f for f in hits if f not in chosen]
    return chosen


# ---------------------------------------------------------------------------------------------------------------
# Equivalent mutants: the table under EQUIVALENT_HEADING in docs/reliability.md, one row per mutant:
# | `file` | `line text` | `mutation` | occurrence | reason |


def read_equivalents():
    keys = {}
    if not EQUIVALENT_DOC.exists():
        return keys
    inside = False
    for number, line in enumerate(EQUIVALENT_DOC.read_text().splitlines(), 1):
        if line.startswith("#"):
            inside = line.strip() == EQUIVALENT_HEADING
            continue
        if not inside or not line.startswith("|") or line.startswith("|---") or line.startswith("| File"):
            continue
        cells = [c.strip() for c in line.strip().strip("|").split(" | ")]
        if len(cells) != 5:
            sys.exit(f"{EQUIVALENT_DOC}:{number}: an equivalent-mutant row needs five cells: file, line text, "
                     f"mutation, occurrence, reason (fix the row)")
        path, text, label, occurrence, reason = cells
        unquote = lambda c: c[1:-1] if c.startswith("`") and c.endswith("`") else c
        try:
            occurrence = int(occurrence)
        except ValueError:
            sys.exit(f"{EQUIVALENT_DOC}:{number}: occurrence '{occurrence}' is not a number (write 1 unless the "
                     f"same line and mutation occur more than once in the file)")
        text = unquote(text).replace("\\|", "|")
        keys[(unquote(path), text, unquote(label).replace("\\|", "|"), occurrence)] = reason
    return keys


# ---------------------------------------------------------------------------------------------------------------
# Trees and their build graphs


def preset_environment(preset):
    presets = json.loads((ROOT / "CMakePresets.json").read_text())
    by_name = {p["name"]: p for p in presets.get("testPresets", [])}
    env = {}

    def collect(name):
        p = by_name.get(name)
        if p is None:
            return
        inherits = p.get("inherits", [])
        for parent in [inherits] if isinstance(inherits, str) else inherits:
            collect(parent)
        env.update(p.get("environment", {}))

    collect(preset)
    return env


class Tree:
    def __init__(self, preset, jobs):
        self.preset = preset
        self.dir = ROOT / "build" / preset
        self.jobs = jobs
        if not (self.dir / "build.ninja").exists():
            sys.exit(f"mutants.py: {self.dir} is not configured (run: cmake --preset {preset} && "
                     f"cmake --build --preset {preset} -j2)")
        self.lock = lock_tree(preset)
        restore_leftovers(preset)
        self.emulator = []
        emulator_file = self.dir / "ia32_emulator.txt"
        if emulator_file.exists():
            self.emulator = shlex.split(emulator_file.read_text().strip())
        self.env = dict(os.environ)
        self.env.update(preset_environment(preset))
        self.env.pop("MUTANT_ID", None)
        self._graph = None

    def ninja(self, *args, capture=True):
        return subprocess.run(["ninja", "-C", str(self.dir), *args], capture_output=capture, text=True)

    def build(self, targets):
        result = self.ninja(f"-j{self.jobs}", *targets)
        return result.returncode == 0, (result.stdout + result.stderr)

    def graph(self):
        """(test programs, {program: set of its objects}, {object: set of the sources and headers it was
        compiled from}), read from the tree's ninja files and deps log."""
        if self._graph is not None:
            return self._graph
        targets = self.ninja("-t", "targets", "all").stdout
        programs = []
        for line in targets.splitlines():
            path, _, rule = line.rpartition(": ")
            if rule.startswith("CXX_EXECUTABLE_LINKER") and path.startswith("tests/") and path.endswith("_tests"):
                programs.append(path)
        if not programs:
            sys.exit(f"mutants.py: {self.dir} has no test programs (build it first: cmake --build --preset "
                     f"{self.preset} -j2)")
        objects_of = {}
        self.with_images = set()
        for program in programs:
            inputs = self.ninja("-t", "inputs", program).stdout.split()
            objects_of[program] = {i for i in inputs if i.endswith(".o")}
            if any(i.endswith(".efi") for i in inputs):
                self.with_images.add(program)
        deps = {}
        current = None
        for line in self.ninja("-t", "deps").stdout.splitlines():
            if line and not line.startswith(" "):
                current = line.split(":")[0]
                deps[current] = set()
            elif line.strip() and current is not None:
                deps[current].add(os.path.realpath(os.path.join(self.dir, line.strip())))
        if not deps:
            sys.exit(f"mutants.py: {self.dir} has no dependency log yet (build it first)")
        self._graph = (programs, objects_of, deps)
        return self._graph

    def programs_for(self, source):
        """Test programs that link an object compiled from (or including) the source file."""
        programs, objects_of, deps = self.graph()
        real = os.path.realpath(ROOT / source)
        objects = {o for o, d in deps.items() if real in d}
        return [p for p in programs if objects_of[p] & objects]

    def command(self, program):
        return [*self.emulator, str(self.dir / program), "--gtest_fail_fast", "--gtest_brief=1"]

    def compile_commands(self, source):
        """The compile commands (argument lists, directory) of the module objects of the test programs compiled
        from the source, or including it for a header."""
        if not hasattr(self, "_commands"):
            self._commands = {}
            for e in json.loads((self.dir / "compile_commands.json").read_text()):
                args = shlex.split(e["command"])
                if "-o" in args:
                    self._commands[args[args.index("-o") + 1]] = (args, e["directory"], os.path.realpath(e["file"]))
        module = tuple(str(ROOT / d) + "/" for d in MODULE_DIRS)
        return [self._commands[o] for o in self.objects_for(source)
                if o in self._commands and self._commands[o][2].startswith(module)]

    def compiles_alone(self, source, mutated_text, slot=0):
        """(compiles, log): the mutant alone, compiled with the tree's own commands for the objects built from
        the file (a header: through an overlay directory searched first, for every module object including it).
        Calls with different slots may run at the same time."""
        work = MUTANTS_DIR / f"alone-{self.preset}" / str(slot)
        shutil.rmtree(work / "overlay", ignore_errors=True)  # only this mutant's file in it
        target = work / "overlay" / source
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_text(mutated_text)
        real = os.path.realpath(ROOT / source)
        for args, directory, file in self.compile_commands(source):
            command = []
            skip = False
            for i, a in enumerate(args):
                if skip:
                    skip = False
                    continue
                if a in ("-o", "-MF", "-MT", "-MQ"):
                    skip = True
                    if a == "-o":
                        command += ["-o", str(work / "alone.o")]
                    continue
                if a in ("-MD", "-MMD"):
                    continue
                command.append(str(target) if os.path.realpath(os.path.join(directory, a)) == real and
                               file == real else a)
            first = 1
            while command[first - 1].endswith("ccache") or command[first - 1] == "env" or "=" in command[first - 1]:
                first += 1
            command[first:first] = ["-iquote", str(work / "overlay"), "-iquote", os.path.dirname(real)]
            result = subprocess.run(command, cwd=directory, capture_output=True, text=True)
            if result.returncode != 0:
                return False, result.stdout + result.stderr
        return True, ""

    def objects_for(self, source):
        """The objects of the test programs compiled from (or including) the source file."""
        programs, objects_of, deps = self.graph()
        real = os.path.realpath(ROOT / source)
        linked = set().union(*objects_of.values())
        return sorted(o for o, d in deps.items() if real in d and o in linked)

    def run(self, program, timeout, extra_env=None):
        """(passed, seconds, timed out, tail of the output)."""
        start = time.monotonic()
        env = self.env
        if extra_env:
            env = dict(self.env)
            env.update(extra_env)
        proc = subprocess.Popen(self.command(program), cwd=(self.dir / program).parent, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                errors="replace", start_new_session=True)
        try:
            out, _ = proc.communicate(timeout=timeout)
            timed_out = False
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            out, _ = proc.communicate()
            timed_out = True
        except BaseException:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            raise
        seconds = time.monotonic() - start
        return proc.returncode == 0 and not timed_out, seconds, timed_out, out[-2000:]


def tree_of(source):
    return TREE_OF_DIR[source.split("/")[0]]


def order_programs(source, programs, baseline):
    """The test program mirroring the file's folder first, then those of the same module folder, then the
    rest; fastest first within each group, so a killed mutant is found soon."""
    folder = os.path.dirname(source)
    top = source.split("/")[0]
    mirror = f"tests/{top}/{'_'.join(folder.split('/'))}_tests"

    def rank(p):
        group = 0 if p == mirror else 1 if p.startswith(f"tests/{top}/") else 2
        return (group, baseline.get(p, {}).get("seconds", 1e9), p)

    return sorted(programs, key=rank)


# ---------------------------------------------------------------------------------------------------------------
# Mutating a source safely


def restore_dir(preset):
    return MUTANTS_DIR / f"restore-{preset}"


def lock_tree(preset):
    """Holds the tree's lock for the rest of the run: one runner per tree, so a run never restores or rebuilds
    under another one's mutant."""
    MUTANTS_DIR.mkdir(parents=True, exist_ok=True)
    handle = open(MUTANTS_DIR / f"{preset}.lock", "w")
    try:
        fcntl.flock(handle, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        sys.exit(f"mutants.py: another mutation run holds build/{preset} (wait for it to end)")
    return handle


def restore_leftovers(preset):
    """Puts back any source an earlier run on this tree left mutated (it was killed before it could)."""
    saved_dir = restore_dir(preset)
    if not saved_dir.exists():
        return
    for saved in saved_dir.iterdir():
        target = ROOT / saved.name.replace("%", "/")
        original = saved.read_bytes()
        if target.read_bytes() != original:
            print(f"mutants.py: restoring {target.relative_to(ROOT)} left mutated by an earlier run")
            target.write_bytes(original)
        saved.unlink()


class MutatedFile:
    """Context manager: the file holds the mutant inside the block and its original bytes after it, whatever
    ends the block; a copy in build/mutants/restore-<preset> covers a kill of this process."""

    def __init__(self, source, mutated_text, preset):
        self.path = ROOT / source
        self.saved = restore_dir(preset) / source.replace("/", "%")
        self.mutated = mutated_text.encode()

    def __enter__(self):
        self.original = self.path.read_bytes()
        self.saved.parent.mkdir(parents=True, exist_ok=True)
        with open(self.saved, "wb") as f:
            f.write(self.original)
            f.flush()
            os.fsync(f.fileno())
        self.path.write_bytes(self.mutated)
        return self

    def write(self, text):
        """Replaces the mutated content (the next schema attempt)."""
        self.path.write_bytes(text.encode())

    def __exit__(self, *exc):
        self.path.write_bytes(self.original)  # a new mtime: every tree rebuilds the objects from it
        self.saved.unlink(missing_ok=True)
        return False


def rebuild_clean(tree, programs):
    """Rebuilds the programs from the restored source, so no mutated object or program stays in the tree."""
    if not programs:
        return
    ok, log = tree.build(sorted(programs))
    if not ok:
        print(f"mutants.py: rebuilding {tree.dir} after restoring the source failed:\n{log[-3000:]}",
              file=sys.stderr)


# ---------------------------------------------------------------------------------------------------------------
# The run


def load_baseline(tree, programs, timeout_floor):
    """Clean run of each program: its time (the timeout base) and whether it passes at all."""
    cache_file = ROOT / "build" / "mutants" / f"baseline-{tree.preset}.json"
    cache = json.loads(cache_file.read_text()) if cache_file.exists() else {}
    missing = [p for p in programs if p not in cache]
    if missing:
        ok, log = tree.build(missing)
        if not ok:
            sys.exit(f"mutants.py: the clean tree {tree.dir} does not build:\n{log[-3000:]}")
        for p in missing:
            passed, seconds, timed_out, out = tree.run(p, timeout=600)
            cache[p] = {"passed": passed, "seconds": round(seconds, 2)}
            state = "passes" if passed else "FAILS clean (left out of the runs)"
            print(f"  baseline {tree.preset}/{p}: {seconds:.1f} s, {state}", flush=True)
            if not passed:
                print(out[-1500:])
        cache_file.parent.mkdir(parents=True, exist_ok=True)
        cache_file.write_text(json.dumps(cache, indent=1, sort_keys=True))
    return cache


def timeout_for(baseline, program, args):
    return max(args.timeout_floor, args.timeout_factor * baseline[program]["seconds"])


def run_mutant(site, text, tree, programs, baseline, args):
    record = {"id": site.id, "file": site.path, "line": site.line, "column": site.column, "kind": site.kind,
              "mutation": site.label, "line_text": site.line_text, "occurrence": site.occurrence}
    start = time.monotonic()
    with MutatedFile(site.path, site.apply(text), tree.preset):
        status, killer, detail = "survived", None, ""
        for program in programs:
            ok, log = tree.build([program])
            if not ok:
                status, detail = "did_not_build", log[-600:]
                break
            passed, seconds, timed_out, out = tree.run(program, timeout_for(baseline, program, args))
            if not passed:
                status, killer = "killed", program
                detail = "timeout" if timed_out else out[-600:]
                break
    record.update(status=status, killed_by=killer, seconds=round(time.monotonic() - start, 2))
    record["detail"] = detail  # Run.record keeps it with --verbose, and a build log always
    return record


def summarize(records):
    per_file = {}
    for r in records:
        f = per_file.setdefault(r["file"], {"killed": 0, "survived": 0, "equivalent": 0, "did_not_build": 0})
        if r["status"] == "survived" and r.get("equivalent"):
            f["equivalent"] += 1
        else:
            f[r["status"]] += 1
    return per_file


def print_table(per_file):
    header = f"{'file':<48} {'killed':>6} {'survived':>8} {'equiv':>5} {'no build':>8} {'caught':>7}"
    print(header)
    print("-" * len(header))
    total = {"killed": 0, "survived": 0, "equivalent": 0, "did_not_build": 0}
    for name in sorted(per_file):
        f = per_file[name]
        for k in total:
            total[k] += f[k]
        print(f"{name:<48} {f['killed']:>6} {f['survived']:>8} {f['equivalent']:>5} {f['did_not_build']:>8} "
              f"{score(f):>7}")
    print("-" * len(header))
    print(f"{'all':<48} {total['killed']:>6} {total['survived']:>8} {total['equivalent']:>5} "
          f"{total['did_not_build']:>8} {score(total):>7}")
    return total


def score(counts):
    """Share of the built mutants caught: killed, over killed plus every survivor (equivalent ones included)."""
    built = counts["killed"] + counts["survived"] + counts["equivalent"]
    return f"{counts['killed'] / built:.3f}" if built else "-"


def write_json(path, args, records, started):
    data = {
        "command": " ".join(sys.argv),
        "started": started,
        "sample": args.sample,
        "seed": args.seed,
        "summary": summarize(records),
        "mutants": records,
    }
    tmp = path.with_suffix(".tmp")
    tmp.write_text(json.dumps(data, indent=1))
    tmp.replace(path)


class Run:
    """The two-stage run over the files: the state shared by the files (trees, records, timing)."""

    def __init__(self, args, records, started, equivalents):
        self.args, self.records, self.started, self.equivalents = args, records, started, equivalents
        self.trees = {}
        self.touched = {}  # preset: programs built from a schema or a mutant, rebuilt clean at the end
        self.by_key = {r["id"] + r["mutation"]: r for r in records}
        self.alone_seconds = {}  # the compile of a mutant alone, added to its time
        self.defer = True
        self.deferred = []  # (source, text, sites) left to one build per mutant
        # Sites a schema could not hold, per tree and file, from earlier runs: left out at once.
        self.left_out_file = MUTANTS_DIR / "schema-left-out.json"
        self.left_out = json.loads(self.left_out_file.read_text()) if self.left_out_file.exists() else {}

    def tree(self, preset):
        if preset not in self.trees:
            self.trees[preset] = Tree(preset, self.args.jobs)
        return self.trees[preset]

    def programs(self, tree, source, stage="sanitizer"):
        programs = tree.programs_for(source)
        if stage == "plain":
            # Programs that embed firmware images built from the module sources (host64's image tests) are left
            # to the sanitizer stage, whose tree has no images: a schema would relink every image, and an image
            # holds no mutant anyway (the switch is off outside ELF programs).
            programs = [p for p in programs if p not in tree.with_images]
        if not programs:
            return [], {}
        baseline = load_baseline(tree, programs, self.args.timeout_floor)
        return [p for p in order_programs(source, programs, baseline) if baseline[p]["passed"]], baseline

    def rebuild_all(self):
        for preset, programs in self.touched.items():
            rebuild_clean(self.trees[preset], programs)
        self.touched = {}

    def record(self, site, status, killer, detail, seconds, stage, mode):
        r = self.by_key.get(site.id + site.label)
        if r is None:
            r = {"id": site.id, "file": site.path, "line": site.line, "column": site.column, "kind": site.kind,
                 "mutation": site.label, "line_text": site.line_text, "occurrence": site.occurrence}
            self.records.append(r)
            self.by_key[site.id + site.label] = r
        seconds += self.alone_seconds.pop(site.id + site.label, 0)
        r.update(status=status, killed_by=killer, stage=stage, mode=mode,
                 seconds=round(r.get("seconds", 0) + seconds, 2) if stage == "sanitizer" else round(seconds, 2))
        r.pop("detail", None)
        r.pop("build_log", None)
        if self.args.verbose and status != "did_not_build":
            r["detail"] = detail  # a killer's failing test, a survivor's last output
        if status == "did_not_build":
            r["build_log"] = detail
        reason = self.equivalents.get(site.key())
        mark = {"killed": "killed", "survived": "SURVIVED", "did_not_build": "no build"}[status]
        if status == "survived" and reason is not None:
            mark = "equivalent"
        by = f" by {Path(killer).name}" if killer else ""
        print(f"  {site.line}:{site.column} {site.label:<18} {mark}{by} [{stage}, {mode}] ({r['seconds']:.1f} s)  "
              f"{site.line_text}", flush=True)
        write_json(self.args.json, self.args, self.records, self.started)

    def pending(self, site, stage):
        r = self.by_key.get(site.id + site.label)
        if r is None:
            return stage == "plain" or self.args.sanitizer_only
        return stage == "sanitizer" and r["status"] == "survived" and r.get("stage") != "sanitizer"

    def file(self, source, file_sites, text):
        top = source.split("/")[0]
        all_sites = find_sites(source, text)
        number = {s.id + s.label: i for i, s in enumerate(all_sites)}
        stages = [("plain", PLAIN_TREE_OF_DIR[top])]
        if not self.args.plain_only:
            stages.append(("sanitizer", TREE_OF_DIR[top]))
        if self.args.sanitizer_only:
            stages = [("sanitizer", TREE_OF_DIR[top])]
        for stage, preset in stages:
            todo = [s for s in file_sites if self.pending(s, stage)]
            if not todo:
                continue
            tree = self.tree(preset)
            programs, baseline = self.programs(tree, source, stage)
            if not programs:
                print(f"{source}: no test program of {tree.dir} links it", flush=True)
                continue
            print(f"== {source} [{preset}]: {len(todo)} mutants, programs: "
                  f"{', '.join(Path(p).name for p in programs)}", flush=True)
            self.touched.setdefault(preset, set()).update(programs)
            if stage == "plain" or self.args.sanitizer_only:
                todo = self.build_alone(source, text, todo, tree, stage)
            fallback = todo
            if todo and not self.args.no_schema:
                fallback = self.schema_stage(source, text, all_sites, number, todo, tree, programs, baseline, stage)
            if self.defer and stage == "plain" and fallback:
                # One build per mutant is the costly part: after every file's schema mutants.
                print(f"  {len(fallback)} mutants of {source} rebuilt alone at the end of the run", flush=True)
                self.deferred.append((source, text, fallback))
                continue
            self.rebuild_each(fallback, text, tree, programs, baseline, stage)

    def rebuild_each(self, sites, text, tree, programs, baseline, stage):
        kills = {}
        for s in sites:
            programs.sort(key=lambda p: -kills.get(p, 0))
            r = run_mutant(s, text, tree, programs, baseline, self.args)
            if r["killed_by"]:
                kills[r["killed_by"]] = kills.get(r["killed_by"], 0) + 1
            self.record(s, r["status"], r["killed_by"], r["detail"], r["seconds"], stage, "rebuild")

    def run_deferred(self):
        """The mutants left to one build each: plain stage, then their survivors in the sanitizer tree."""
        self.defer = False
        deferred, self.deferred = self.deferred, []
        for source, text, sites in deferred:
            tree = self.tree(PLAIN_TREE_OF_DIR[source.split("/")[0]])
            programs, baseline = self.programs(tree, source, "plain")
            print(f"== {source} [{tree.preset}]: {len(sites)} mutants rebuilt alone", flush=True)
            self.rebuild_each(sites, text, tree, programs, baseline, "plain")
            self.file(source, sites, text)

    def schema_stage(self, source, text, all_sites, number, todo, tree, programs, baseline, stage):
        """Runs the mutants of `todo` from one schema build; returns the sites left to one build each."""
        start = time.monotonic()
        wanted = {number[s.id + s.label] for s in todo}
        excluded = set(range(len(all_sites))) - wanted
        cache_key = f"{tree.preset}:{source}"
        known = set(self.left_out.get(cache_key, []))
        excluded |= {i for i, s in enumerate(all_sites) if s.id + s.label in known}
        if not wanted - excluded:
            return todo
        masked = mask_source(text)
        held = []
        with MutatedFile(source, text, tree.preset) as mutated:
            for _ in range(8):
                schema, held, left_out, spans = mutant_schema.schema_text(text, all_sites, masked, excluded)
                mutated.write(schema)
                ok, log = tree.build(sorted(programs))
                if ok:
                    break
                bad = schema_errors(tree, source, schema, spans, log)
                if not bad:
                    print(f"  schema of {source} does not build in {tree.preset} (every mutant rebuilt alone):\n"
                          f"{log[-1500:]}", flush=True)
                    held = []
                    break
                excluded |= bad
                known |= {all_sites[i].id + all_sites[i].label for i in bad}
                # Merged with the file as it is now: a run on the other half's trees writes it too.
                current = json.loads(self.left_out_file.read_text()) if self.left_out_file.exists() else {}
                current[cache_key] = sorted(known)
                tmp = self.left_out_file.with_suffix(f".{os.getpid()}.tmp")
                tmp.write_text(json.dumps(current, indent=1, sort_keys=True))
                tmp.replace(self.left_out_file)
            else:
                held = []
            built = time.monotonic() - start
            if held:
                # With no mutant switched on (an id no site has), the schema must pass every test, as the source
                # does.
                for program in programs:
                    passed, _, _, out = tree.run(program, timeout_for(baseline, program, self.args),
                                                 {"MUTANT_ID": str(len(all_sites))})
                    if not passed:
                        print(f"  schema of {source} fails {program} with no mutant on (every mutant rebuilt "
                              f"alone):\n{out[-1500:]}", flush=True)
                        held = []
                        break
            if held:
                print(f"  schema: {len(held)} mutants in one build ({built:.1f} s), "
                      f"{len(wanted) - len(held)} rebuilt alone", flush=True)
            held_set = set(held)
            kills = {}
            for s in todo:
                n = number[s.id + s.label]
                if n not in held_set:
                    continue
                programs.sort(key=lambda p: -kills.get(p, 0))
                t0 = time.monotonic()
                status, killer, detail = "survived", None, ""
                for program in programs:
                    passed, _, timed_out, out = tree.run(program, timeout_for(baseline, program, self.args),
                                                         {"MUTANT_ID": str(n)})
                    if not passed:
                        status, killer, detail = "killed", program, "timeout" if timed_out else out[-600:]
                        kills[program] = kills.get(program, 0) + 1
                        break
                self.record(s, status, killer, detail, time.monotonic() - t0, stage, "schema")
        return [s for s in todo if number[s.id + s.label] not in held_set]

    def build_alone(self, source, text, todo, tree, stage):
        """Compiles each mutant alone first: one that does not compile (a removed statement that leaves a variable
        unused, which -Werror refuses) is did-not-build, as one build per mutant finds; the rest are returned."""
        if self.args.no_schema:
            return todo
        tree.compile_commands(source)  # read once, before the workers share it
        slots = queue.Queue()
        for slot in range(max(1, self.args.compile_jobs)):
            slots.put(slot)

        def check(s):
            slot = slots.get()
            try:
                t0 = time.monotonic()
                ok, log = tree.compiles_alone(source, s.apply(text), slot)
                return ok, log, time.monotonic() - t0
            finally:
                slots.put(slot)

        left = []
        with concurrent.futures.ThreadPoolExecutor(max(1, self.args.compile_jobs)) as pool:
            for s, (ok, log, seconds) in zip(todo, pool.map(check, todo)):
                if ok:
                    left.append(s)
                    self.alone_seconds[s.id + s.label] = seconds
                else:
                    self.record(s, "did_not_build", None, log[-600:], seconds, stage, "alone")
        return left


ERROR_LINE = re.compile(r"^([^\s:][^:\n]*):(\d+):(\d+): error:", re.M)


def schema_errors(tree, source, schema, spans, log):
    """Site numbers of the schema nodes the compiler's errors point at (an error in a constant expression, a
    template argument, a case label, ...): left out of the schema and rebuilt alone."""
    real = os.path.realpath(ROOT / source)
    bad = set()
    for m in ERROR_LINE.finditer(log):
        if os.path.realpath(os.path.join(tree.dir, m.group(1))) != real:
            continue
        numbers = mutant_schema.sites_at(schema, spans, int(m.group(2)), int(m.group(3)))
        if numbers is not None:
            bad.update(numbers)
    return bad


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--files", nargs="+", metavar="PATH", help="module sources, folders or globs (default: all)")
    parser.add_argument("--sample", type=int, metavar="N", help="run N mutants drawn at random")
    parser.add_argument("--seed", type=int, default=1, metavar="S", help="seed of --sample (default 1)")
    parser.add_argument("--only", nargs="+", metavar="ID",
                        help="only the mutants with these ids (FILE:LINE:COLUMN:KIND, as --list and the JSON give them)")
    parser.add_argument("--list", action="store_true", help="list the sites per file and stop")
    parser.add_argument("--json", type=Path, default=ROOT / "build" / "mutants" / "results.json",
                        help="where the results go (written after every mutant)")
    parser.add_argument("--resume", action="store_true", help="keep the results in --json and run only the rest")
    parser.add_argument("--jobs", type=int, default=1, help="ninja jobs per build (default 1)")
    parser.add_argument("--compile-jobs", type=int, default=2,
                        help="mutants compiled alone at the same time (default 2)")
    parser.add_argument("--timeout-factor", type=float, default=3.0,
                        help="a program's timeout is this many times its clean run (default 3)")
    parser.add_argument("--timeout-floor", type=float, default=10.0, help="and at least this many seconds")
    parser.add_argument("--fail-on-survivor", action="store_true",
                        help="exit 1 when a mutant survives that docs/reliability.md does not list as equivalent")
    parser.add_argument("--verbose", action="store_true", help="keep the last test output of each mutant (the failing test of a killed one)")
    parser.add_argument("--plain-only", action="store_true",
                        help="only the plain stage (a later --resume run takes the survivors to the sanitizer trees)")
    parser.add_argument("--sanitizer-only", action="store_true",
                        help="every mutant in the sanitizer trees only (no plain stage)")
    parser.add_argument("--no-schema", action="store_true", help="one build per mutant, as before the schemata")
    args = parser.parse_args()

    files = module_files(args.files)
    sites = []
    texts = {}
    for f in files:
        texts[f] = (ROOT / f).read_text()
        sites += find_sites(f, texts[f])
    if args.sample is not None:
        sites = random.Random(args.seed).sample(sites, min(args.sample, len(sites)))
        sites.sort(key=lambda s: (files.index(s.path), s.start))
    if args.only:
        unknown = set(args.only) - {s.id for s in sites}
        if unknown:
            sys.exit(f"mutants.py: --only: no such mutant: {', '.join(sorted(unknown))} (see --list)")
        sites = [s for s in sites if s.id in args.only]
    if args.list:
        counts = {}
        for s in sites:
            counts[s.path] = counts.get(s.path, 0) + 1
            print(f"{s.id}  {s.label:<18} {s.line_text}")
        print(f"\n{len(sites)} sites in {len(counts)} files")
        return 0

    equivalents = read_equivalents()
    args.json.parent.mkdir(parents=True, exist_ok=True)
    records = []
    if args.resume and args.json.exists():
        records = json.loads(args.json.read_text())["mutants"]
    started = time.strftime("%Y-%m-%d %H:%M:%S")

    # SIGTERM ends the run like Ctrl-C: the finally blocks restore and rebuild.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    run = Run(args, records, started, equivalents)
    interrupted = False
    by_file = {}
    for s in sites:
        by_file.setdefault(s.path, []).append(s)
    try:
        for source, file_sites in by_file.items():
            run.file(source, file_sites, texts[source])
        run.run_deferred()
    except KeyboardInterrupt:
        interrupted = True
        print("\nmutants.py: interrupted; the source is restored and the programs rebuilt", file=sys.stderr)
    finally:
        run.rebuild_all()
    for r in records:
        reason = equivalents.get((r["file"], r["line_text"], r["mutation"], r["occurrence"]))
        if reason is not None:
            r["equivalent"] = reason
        else:
            r.pop("equivalent", None)
    write_json(args.json, args, records, started)
    print()
    print_table(summarize(records))
    seconds = [r["seconds"] for r in records]
    if seconds:
        print(f"\n{len(records)} mutants, {sum(seconds):.0f} s, {sum(seconds) / len(seconds):.1f} s per mutant; "
              f"JSON: {args.json}")
    unlisted = [r for r in records if r["status"] == "survived" and not r.get("equivalent")]
    for r in unlisted:
        print(f"survived: {r['file']}:{r['line']}: {r['mutation']} (occurrence {r['occurrence']}): {r['line_text']}")
    if interrupted:
        return 130
    if args.fail_on_survivor and unlisted:
        print(f"mutants.py: {len(unlisted)} mutant(s) survived that docs/reliability.md does not list as "
              f"equivalent (kill each with a test, or list it under '{EQUIVALENT_HEADING}' with the reason)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
