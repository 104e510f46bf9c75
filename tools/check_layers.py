#!/usr/bin/env python3
"""Fails when a front-end include points up a layer.

Every folder below src/ is one layer; a file may include its own layer and the layers below it,
never one above. Includes that name no layer (the engine's contract, version.h, res/) are not
checked. A folder missing from LAYERS fails too, so that a new layer is given its place.

Usage: check_layers.py [SRC_DIR]   (default: src/ beside this script's folder)
"""
import os
import re
import sys

# Each layer and the layers it may include, bottom first.
LAYERS = {
    "base": [],                                      # settings, language, text, messages, handle owners
    "ui": ["base"],                                  # windows, controls, fonts, painting
    "picture": ["base", "ui"],                       # decoded pictures, GDI+ reading and writing
    "raw": ["base", "ui", "picture"],                # the LibRaw decoder
    "media": ["base", "ui", "picture", "raw"],       # thumbnails, media facts and texts, grid rules
    "engine": ["base", "ui", "picture", "raw", "media"],  # engine runs, found queue, recovery
    "pages": ["base", "ui", "picture", "raw", "media", "engine"],
    "app": ["base", "ui", "picture", "raw", "media", "engine", "pages"],  # start-up, main window
    "update": ["base", "ui"],                        # the updater, a program of its own
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_ENDINGS = (".h", ".cpp", ".rc")


def check(src_dir):
    faults = []
    for layer in sorted(os.listdir(src_dir)):
        layer_dir = os.path.join(src_dir, layer)
        if not os.path.isdir(layer_dir):
            continue
        if layer not in LAYERS:
            faults.append(f"{layer}/: a folder with no place in the layer order (tools/check_layers.py)")
            continue
        allowed = set(LAYERS[layer]) | {layer}
        for folder, _, names in os.walk(layer_dir):
            for name in sorted(names):
                if not name.endswith(SOURCE_ENDINGS):
                    continue
                path = os.path.join(folder, name)
                shown = os.path.relpath(path, src_dir)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = match.group(1)
                        if target.startswith(".."):
                            faults.append(f"{shown}:{number}: includes \"{target}\" by a relative path")
                            continue
                        first = target.split("/", 1)[0]
                        if "/" in target and first in LAYERS and first not in allowed:
                            faults.append(f"{shown}:{number}: {layer} includes \"{target}\", "
                                          f"a layer above it")
    return faults


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    src_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src")
    if not os.path.isdir(src_dir):
        print(f"check_layers: no folder {src_dir}", file=sys.stderr)
        return 2
    faults = check(src_dir)
    for fault in faults:
        print(fault)
    if faults:
        print(f"check_layers: {len(faults)} include(s) against the layer order", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
