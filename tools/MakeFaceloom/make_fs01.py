#!/usr/bin/env python3
"""Writes Data/fs01.dat, the head-morphing tool's template for a generic head.

Our own categories, sections and ranges: every transform kind appears at
least once, the nostrils are optional and the ears category is hidden (it
changes only with "Random Head"). Run from the repository root:
    python3 tools/MakeFaceloom/make_fs01.py
"""
import os
import sys

# (category, hidden, [(section, optional, [(kind, low xyz, high xyz, symmetry axis or None, exponent or None)])])
TEMPLATE = [
    ("Nose", False, [
        ("noseBridge", False, [
            ("Translate", (0, -0.02, 0), (0, 0.02, 0.03), None, None),
            ("Scale", (0.9, 0.9, 0.85), (1.1, 1.15, 1.2), None, 1.5),
        ]),
        ("noseTip", False, [
            ("Bulge", (-0.01, 0, 0), (0.015, 0, 0), None, None),
            ("Rotate", (-8, 0, 0), (8, 0, 0), None, None),
        ]),
        ("nostrils", True, [
            ("Bulge", (-0.008, 0, 0), (0.008, 0, 0), 0, None),
            ("Scale", (0.9, 0.95, 0.95), (1.15, 1.05, 1.05), 0, None),
        ]),
    ]),
    ("Jaw", False, [
        ("jawLine", False, [
            ("Scale", (0.92, 0.95, 0.95), (1.1, 1.05, 1.08), 0, None),
            ("Smooth", (0.2, 0, 0), (0.6, 0, 0), None, None),
        ]),
    ]),
    ("Chin", False, [
        ("chin", False, [
            ("Translate", (0, -0.02, -0.01), (0, 0.01, 0.025), None, None),
            ("Bulge", (-0.01, 0, 0), (0.02, 0, 0), None, 2),
        ]),
    ]),
    ("Cheeks", False, [
        ("cheekBones", False, [
            ("Bulge", (-0.01, 0, 0), (0.02, 0, 0), 0, None),
            ("Translate", (-0.01, -0.01, 0), (0.01, 0.015, 0.01), 0, None),
        ]),
        ("cheeks", False, [
            ("ArtifactRemoval", (0.3, 0, 0), (0.3, 0, 0), None, None),
        ]),
    ]),
    ("Brow", False, [
        ("brow", False, [
            ("Translate", (0, -0.01, -0.005), (0, 0.015, 0.02), None, None),
            ("Flatten", (0, 0, 0), (0.5, 0, 0), None, None),
        ]),
    ]),
    ("Mouth", False, [
        ("lips", False, [
            ("Scale", (0.9, 0.85, 0.95), (1.12, 1.2, 1.1), None, None),
            ("Bulge", (-0.005, 0, 0), (0.012, 0, 0), None, None),
        ]),
        ("mouthCorners", False, [
            ("Translate", (-0.01, -0.01, 0), (0.01, 0.01, 0), 0, None),
        ]),
    ]),
    ("Eyes", False, [
        ("eyeSockets", False, [
            ("Rotate", (0, 0, -6), (0, 0, 6), 0, None),
            ("Scale", (0.95, 0.9, 0.95), (1.05, 1.1, 1.05), 0, None),
        ]),
    ]),
    ("Ears", True, [
        ("ears", False, [
            ("Scale", (0.85, 0.85, 0.85), (1.2, 1.25, 1.2), 0, None),
            ("Rotate", (0, -10, 0), (0, 10, 0), 0, None),
        ]),
    ]),
]


def number(v):
    return ("%g" % v) if v != int(v) else str(int(v))


def render():
    lines = ["# Head template of the head-morphing tool: categories of preset selections",
             "# and the transforms with their ranges (low x y z, high x y z)."]
    for category, hidden, sections in TEMPLATE:
        lines.append("Category %s" % category)
        if hidden:
            lines.append("hidden")
        for section, optional, transforms in sections:
            lines.append("Section %s" % section)
            if optional:
                lines.append("optional")
            for kind, low, high, symmetry, exponent in transforms:
                lines.append("Transform %s %s" % (kind, " ".join(number(v) for v in tuple(low) + tuple(high))))
                if symmetry is not None:
                    lines.append("Symmetry %d" % symmetry)
                if exponent is not None:
                    lines.append("Exponent %s" % number(exponent))
    return "\n".join(lines) + "\n"


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    path = os.path.join(root, "Data", "fs01.dat")
    with open(path, "w", newline="\n") as f:
        f.write(render())
    print("wrote", path)


if __name__ == "__main__":
    main()
