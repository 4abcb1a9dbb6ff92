#!/usr/bin/env python3
"""Checks the module layers stated in docs/architecture.md against the code and the build.

Every file of the module code (smbios/, trace/, regaccess/) belongs to one layer of the layer table (the most
specific pattern it matches). The check fails when
  - a module file matches no layer, or a layer names a target the build does not have (or the other way round);
  - a layer target compiles a file of another layer;
  - a module file includes a header of a higher layer, of a layer on the same level, of the other deliverable,
    or anything outside its deliverable but uefi/ and hw/ (angle-bracket includes too: module code is
    freestanding);
  - a layer target links a target that is not a layer below it in its own deliverable.

Usage: check-layers.py --source DIR [--build-layers FILE] [--probe FILE=HEADER ...]
  --build-layers: the build's layer file (target|deliverable|links|sources per line), written by CMake.
  --probe: pretend FILE also includes HEADER (how the check is shown to fail on a wrong include).
"""
import argparse
import os
import re
import sys

MODULE_ROOTS = ("smbios/", "trace/", "regaccess/")
SHARED_ROOTS = ("uefi/", "hw/")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


class Layer:
    def __init__(self, deliverable, level, target, patterns):
        self.deliverable = deliverable
        self.level = level
        self.target = target
        self.patterns = [(p, glob_regex(p)) for p in patterns]


def glob_regex(pattern):
    out = ""
    for c in pattern:
        out += "[^/]*" if c == "*" else re.escape(c)
    return re.compile(out + "$")


def specificity(pattern):
    return len(pattern.replace("*", ""))


def read_layer_table(doc_path):
    """The rows of the table headed 'Deliverable | Level | Target | Files' in the architecture document."""
    layers = []
    in_table = False
    with open(doc_path, encoding="utf-8") as doc:
        for line in doc:
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if not line.startswith("|"):
                in_table = False
                continue
            if cells[:4] == ["Deliverable", "Level", "Target", "Files"]:
                in_table = True
                continue
            if not in_table or set(cells[0]) <= set("-: "):
                continue
            ticks = lambda cell: re.findall(r"`([^`]+)`", cell)
            layers.append(Layer(ticks(cells[0])[0], int(cells[1]), ticks(cells[2])[0], ticks(cells[3])))
    if not layers:
        sys.exit(f"{doc_path}: no layer table (a table headed Deliverable | Level | Target | Files)")
    return layers


def layer_of(path, layers):
    best = None
    for layer in layers:
        for text, regex in layer.patterns:
            if regex.match(path) and (best is None or specificity(text) > best[0]):
                best = (specificity(text), layer)
    return best[1] if best else None


def module_files(source):
    found = []
    for root in MODULE_ROOTS:
        for folder, _, names in os.walk(os.path.join(source, root)):
            for name in names:
                if name.endswith((".h", ".cpp")):
                    found.append(os.path.relpath(os.path.join(folder, name), source).replace(os.sep, "/"))
    return sorted(found)


def check_includes(source, layers, probes):
    errors = []
    for path in module_files(source):
        own = layer_of(path, layers)
        if own is None:
            errors.append(f"{path}: matches no layer of the layer table")
            continue
        with open(os.path.join(source, path), encoding="utf-8") as f:
            includes = [(m.group(1), m.group(2)) for m in INCLUDE.finditer(f.read())]
        includes += [('"', header) for file, header in probes if file == path]
        for kind, header in includes:
            where = f"{path}: #include {kind}{header}{'>' if kind == '<' else kind}"
            if kind == "<":
                errors.append(f"{where}: module code includes no system or library header")
                continue
            if header.startswith(SHARED_ROOTS):
                continue
            other = layer_of(header, layers)
            if other is None:
                errors.append(f"{where}: module code includes only its own deliverable, uefi/ and hw/")
            elif other.deliverable != own.deliverable:
                errors.append(f"{where}: {own.deliverable} includes {other.deliverable} ({other.target})")
            elif other is not own and other.level >= own.level:
                errors.append(f"{where}: layer {own.target} (level {own.level}) includes {other.target} "
                              f"(level {other.level}); a layer includes only layers below it")
    return errors


def check_build(source, layers, build_file):
    errors = []
    by_target = {layer.target: layer for layer in layers}
    built = {}
    with open(build_file, encoding="utf-8") as f:
        for line in f:
            if line.strip():
                target, deliverable, links, sources = line.rstrip("\n").split("|")
                built[target] = (deliverable, [l for l in links.split(",") if l], [s for s in sources.split(",") if s])
    built_deliverables = {d for d, _, _ in built.values()}
    for layer in layers:
        if layer.deliverable in built_deliverables and layer.target not in built:
            errors.append(f"layer {layer.target}: no such target in the build")
    for target, (deliverable, links, sources) in built.items():
        layer = by_target.get(target)
        if layer is None:
            errors.append(f"target {target}: a module library that the layer table does not name")
            continue
        if deliverable != layer.deliverable:
            errors.append(f"target {target}: built into {deliverable}, the table says {layer.deliverable}")
        for src in sources:
            rel = os.path.relpath(src, source).replace(os.sep, "/")
            if layer_of(rel, layers) is not layer:
                errors.append(f"target {target}: compiles {rel}, which belongs to another layer")
        for link in links:
            if link == "uefi_defs":
                continue
            below = by_target.get(link)
            if below is None:
                errors.append(f"target {target}: links {link}, which is not a module layer")
            elif below.deliverable != layer.deliverable:
                errors.append(f"target {target}: links {link} of the other deliverable ({below.deliverable})")
            elif below.level >= layer.level:
                errors.append(f"target {target} (level {layer.level}) links {link} (level {below.level}); "
                              "a layer links only layers below it")
    return errors


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--build-layers")
    parser.add_argument("--probe", action="append", default=[])
    args = parser.parse_args()
    layers = read_layer_table(os.path.join(args.source, "docs", "architecture.md"))
    probes = [tuple(p.split("=", 1)) for p in args.probe]
    errors = check_includes(args.source, layers, probes)
    if args.build_layers:
        errors += check_build(args.source, layers, args.build_layers)
    for e in errors:
        print(e)
    print(f"{len(layers)} layers, {len(module_files(args.source))} module files: "
          f"{'OK' if not errors else str(len(errors)) + ' violations'}")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
