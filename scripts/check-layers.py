#!/usr/bin/env python3
"""Checks that no source file includes a header from a layer above its own.

The layers, from the top: tools -> library -> components -> platform layer.

  winapi/                          the platform layer: includes only itself
  components/<name>/               a component: itself, the platform layer, and the public
                                   headers of components (components/*/include/)
  entry/ xml/ wmi/ script/ launcher/ log/ errors/ files/ platform/
                                   the library: itself, the platform layer, its public header
                                   (include/) and the public headers of components
  tools/<name>/                    a tool: anything but a component's private headers

Test code (any file under a tests/ or fuzz/ folder of those) may also use the shared test
support and the tools' headers, but never a component's private headers other than its own.
tests/ and bench/ at the top are the test harness and the benchmarks and are not checked.

The facts come from the compiler, not from reading #include lines: `ninja -t deps` lists the
headers each object was really built from, resolved through the include paths. Run it after a
build:

  check-layers.py --source-dir . --build-dir build-ci
  check-layers.py --source-dir . --build-dir build-ci --deps-file saved.deps

Exits 0 when every edge is allowed, 1 with one line per forbidden edge otherwise, 2 when the
dependency list cannot be read.
"""

import argparse
import os
import subprocess
import sys

LIBRARY = {"entry", "xml", "wmi", "script", "launcher", "log", "errors", "files", "platform"}


def place(path):
    """The layer a repository path belongs to: (kind, name, is_test)."""
    parts = path.split("/")
    top = parts[0]
    is_test = any(p in ("tests", "fuzz") for p in parts[1:-1])
    if top == "winapi":
        return ("layer", "", is_test)
    if top == "components" and len(parts) > 2:
        public = parts[2] == "include"
        return ("component-public" if public else "component", parts[1], is_test)
    if top in LIBRARY:
        return ("library", "", is_test)
    if top == "include":
        return ("library-public", "", is_test)
    if top == "tools" and len(parts) > 2:
        return ("tool", parts[1], is_test)
    if top == "tests":
        return ("test-support" if len(parts) > 1 and parts[1] == "support" else "harness", "",
                True)
    if top == "bench":
        return ("harness", "", True)
    return ("other", top, is_test)


def allowed(source, header):
    kind, name, is_test = source
    h_kind, h_name, _ = header
    if kind == "harness":
        return True
    if h_kind == "component" and not (kind == "component" and h_name == name):
        return False  # a component's private headers are its own
    if is_test and h_kind in ("test-support", "tool"):
        return True
    below = {
        "layer": {"layer"},
        "component": {"layer", "component", "component-public"},
        "component-public": {"layer", "component-public"},
        "library": {"layer", "component-public", "library", "library-public"},
        "library-public": {"layer", "library-public"},
        "tool": {"layer", "component-public", "library", "library-public", "tool"},
        "test-support": {"layer", "component-public", "library", "library-public", "tool",
                         "test-support"},
    }
    if kind not in below:
        return True  # files outside the layered tree (cmake checks, generated sources)
    if h_kind == "other":
        return True
    return h_kind in below[kind]


def read_deps(args):
    if args.deps_file:
        with open(args.deps_file, encoding="utf-8") as f:
            return f.read()
    run = subprocess.run(["ninja", "-C", args.build_dir, "-t", "deps"], capture_output=True,
                         text=True)
    if run.returncode != 0:
        sys.stderr.write(run.stderr)
        raise SystemExit(2)
    return run.stdout


def edges(text, source_dir, build_dir):
    """(source, header) pairs, both relative to the source tree; system and generated files
    are left out."""
    source_dir = os.path.abspath(source_dir)
    build_dir = os.path.abspath(build_dir)
    source = None
    for line in text.splitlines():
        if not line.startswith(" "):
            source = None  # a new object: its first dependency is its source file
            continue
        full = os.path.normpath(os.path.join(build_dir, line.strip()))
        if source is None:
            source = full
            continue
        inside = full.startswith(source_dir + os.sep) and not full.startswith(build_dir + os.sep)
        if inside and source.startswith(source_dir + os.sep):
            yield (os.path.relpath(source, source_dir), os.path.relpath(full, source_dir))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--deps-file")
    args = parser.parse_args()

    text = read_deps(args)
    bad = sorted({(s, h) for s, h in edges(text, args.source_dir, args.build_dir)
                  if not allowed(place(s), place(h))})
    for s, h in bad:
        print(f"{s}: includes {h}, which its layer may not use")
    if bad:
        print(f"{len(bad)} include(s) against the layer rule (see docs/architecture.md)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
