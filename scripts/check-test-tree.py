#!/usr/bin/env python3
"""Checks that the test tree mirrors the sources (docs/architecture.md, "Where a test lives").

A test file lives in tests/<the folder of the code it tests>. The check fails when
  - a folder of tests/ holding *_test.cpp files has no source folder of the same path (tests/support, the
    shared helpers, excepted);
  - a <name>_test.cpp is named after a source file (<name>.cpp or <name>.h) that is not in its mirrored folder
    but in another source folder: it tests that folder's code, so it belongs in that folder's tests.
A test named after no source file at all is named after the behaviour it tests and is not checked further.

Usage: check-test-tree.py --source DIR [--probe tests/PATH_test.cpp ...]
  --probe: pretend the test file exists (how the check is shown to refuse a misplaced file).
"""
import argparse
import os
import sys

EXEMPT = ("support",)
SOURCE_ENDINGS = (".cpp", ".h", ".c")
NOT_SOURCES = ("tests", "build", "docs", "boards", "scripts", "cmake")


def source_stems(source):
    """{stem: [folders]} of every source file outside tests/, build trees and hidden folders."""
    stems = {}
    for root, dirs, files in os.walk(source):
        rel = os.path.relpath(root, source)
        if rel == ".":
            dirs[:] = [d for d in dirs if not d.startswith(".") and d not in NOT_SOURCES]
            continue
        dirs[:] = [d for d in dirs if not d.startswith(".")]
        for f in files:
            stem, ending = os.path.splitext(f)
            if ending in SOURCE_ENDINGS:
                stems.setdefault(stem, set()).add(rel.replace(os.sep, "/"))
    return stems


def test_files(source, probes):
    """The tests/ paths (relative to tests/) of every *_test.cpp, probes included."""
    found = []
    tests = os.path.join(source, "tests")
    for root, _, files in os.walk(tests):
        rel = os.path.relpath(root, tests).replace(os.sep, "/")
        found += [f if rel == "." else rel + "/" + f for f in files if f.endswith("_test.cpp")]
    for probe in probes:
        if not probe.startswith("tests/") or not probe.endswith("_test.cpp"):
            sys.exit(f"check-test-tree: a probe is a tests/..._test.cpp path, not {probe}")
        found.append(probe[len("tests/"):])
    return sorted(set(found))


def check(source, probes):
    stems = source_stems(source)
    errors = []
    files = test_files(source, probes)
    folders = sorted({os.path.dirname(f) for f in files})
    for folder in folders:
        if folder.split("/")[0] in EXEMPT:
            continue
        if folder == "" or not os.path.isdir(os.path.join(source, folder)):
            errors.append(f"tests/{folder}: holds tests but there is no source folder {folder or '(top level)'}/ "
                          "(a test lives in tests/<the folder of the code it tests>)")
    for path in files:
        folder, name = os.path.dirname(path), os.path.basename(path)
        if folder.split("/")[0] in EXEMPT:
            continue
        homes = stems.get(name[: -len("_test.cpp")], set())
        if homes and folder not in homes:
            where = ", ".join(sorted(homes))
            move = f"tests/{where}" if len(homes) == 1 else "the tests of the folder it tests"
            errors.append(f"tests/{path}: named after a source file of {where}, not of {folder}/ (move it to {move})")
    return errors, len(files), len(folders)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--probe", action="append", default=[])
    args = parser.parse_args()
    errors, files, folders = check(args.source, args.probe)
    for e in errors:
        print(e)
    if errors:
        print(f"test tree: {len(errors)} problem(s)")
        return 1
    print(f"test tree: {files} test files in {folders} folders, each in the tests of the folder it tests")
    return 0


if __name__ == "__main__":
    sys.exit(main())
