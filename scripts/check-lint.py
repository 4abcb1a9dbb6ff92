#!/usr/bin/env python3
"""Runs clang-tidy (.clang-tidy of each room) over the project's sources of one build tree, in parallel.

Every source of the tree's compile_commands.json under the rooms given (default: module code, UEFI/PI
definitions, hardware seam, simulator, tools, firmware tooling; --rooms tests adds the tests) is checked,
headers through the sources that include them; any finding fails the run. --probe FILE=LINE checks a copy of FILE with LINE
appended instead, with FILE's compile command and configuration, to show that the check still finds a fault.
"""
import argparse
import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time

DEFAULT_ROOMS = ("uefi", "hw", "smbios", "trace", "regaccess", "sim", "tools", "firmware")
FINDING = re.compile(r"^(?P<where>[^\s:][^:]*:\d+:\d+): (?P<kind>warning|error): (?P<text>.*)$")


def project_sources(database, source, rooms):
    """The compile-database entries of the sources under the rooms, by path relative to the source directory."""
    entries = {}
    for entry in database:
        path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
        relative = os.path.relpath(path, source)
        if relative.split(os.sep)[0] in rooms:
            entries[relative] = entry
    return entries


def run_tidy(clang_tidy, arguments):
    """clang-tidy's findings (lines naming a place, with the notes after them) and its exit status."""
    result = subprocess.run([clang_tidy, "--quiet", "--extra-arg=-Wno-unknown-warning-option"] + arguments,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    findings, current = [], None
    for line in result.stdout.splitlines():
        match = FINDING.match(line)
        if match:
            current = [line]
            findings.append(current)
        elif current is not None and not re.match(r"^\d+ (warnings?|errors?) (generated|treated)", line):
            current.append(line)
    if result.returncode != 0 and not findings:
        findings.append([f"clang-tidy failed ({result.returncode}) without a finding:", result.stdout])
    return findings


def compile_arguments(entry):
    """The compiler's arguments of one entry, without the compiler, the output and the source."""
    words = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    out, skip = [], False
    for word in words[1:]:
        if skip:
            skip = False
        elif word in ("-o", "-c"):
            skip = word == "-o"
        elif word != entry["file"]:
            out.append(word)
    return out


def probe(args, entries):
    """Lints a copy of one source with a line appended; its findings are printed, the status is theirs."""
    name, _, line = args.probe.partition("=")
    if name not in entries:
        sys.exit(f"check-lint: {name} is not a source of {args.build}")
    entry = entries[name]
    original = os.path.join(args.source, name)
    config = subprocess.run([args.clang_tidy, "--dump-config", original], stdout=subprocess.PIPE, text=True,
                            check=True).stdout
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, os.path.basename(name))
        with open(original, encoding="utf-8") as source, open(copy, "w", encoding="utf-8") as out:
            out.write(source.read() + "\n" + line + "\n")
        findings = run_tidy(args.clang_tidy, [f"--config={config}", copy, "--", "-I" + os.path.dirname(original)]
                            + compile_arguments(entry))
    for finding in findings:
        print("\n".join(finding).replace(copy, name + " (probe)"))
    print(f"check-lint: probe {name}: {len(findings)} finding(s)")
    return 1 if findings else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--source", required=True, help="the project's source directory")
    parser.add_argument("--build", required=True, help="a build tree with compile_commands.json")
    parser.add_argument("--jobs", type=int, default=os.cpu_count())
    parser.add_argument("--clang-tidy", default="clang-tidy")
    parser.add_argument("--rooms", nargs="+", default=DEFAULT_ROOMS, help="top-level directories to check")
    parser.add_argument("--probe", help="FILE=LINE: lint a copy of FILE (relative to --source) with LINE appended")
    parser.add_argument("files", nargs="*", help="only these sources (relative to --source)")
    args = parser.parse_args()
    args.source = os.path.realpath(args.source)
    with open(os.path.join(args.build, "compile_commands.json"), encoding="utf-8") as f:
        entries = project_sources(json.load(f), args.source, args.rooms)
    if args.probe:
        return probe(args, entries)
    names = sorted(args.files or entries)
    unknown = [n for n in names if n not in entries]
    if unknown:
        sys.exit(f"check-lint: not sources of {args.build}: {' '.join(unknown)}")
    start = time.monotonic()
    seen, findings = set(), []
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        runs = {name: pool.submit(run_tidy, args.clang_tidy, ["-p", args.build, os.path.join(args.source, name)])
                for name in names}
        for name in names:
            for finding in runs[name].result():
                if finding[0] not in seen:  # a header's finding comes once for each source including it
                    seen.add(finding[0])
                    findings.append(finding)
                    print("\n".join(finding), flush=True)
    seconds = time.monotonic() - start
    print(f"check-lint: {len(names)} sources, {len(findings)} finding(s), {seconds:.0f} s on {args.jobs} jobs")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
