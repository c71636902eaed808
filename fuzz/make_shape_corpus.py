#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_read_shape: one small stream per shape class plus empty,
truncated and corrupt ones. Run from anywhere; rewrites fuzz/corpus/fuzz_read_shape/."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "fuzz_read_shape")


def point(x, y):
    return bytes([1]) + struct.pack("<dd", x, y)


def point_list(points):
    return struct.pack("<i", len(points)) + b"".join(point(x, y) for x, y in points)


def parts(code, rings):
    return bytes([code]) + struct.pack("<i", len(rings)) + b"".join(point_list(r) for r in rings)


def text_lines(lines):
    return struct.pack("<i", len(lines)) + b"".join(
        struct.pack("<i", len(t)) + t for t in lines)


SQUARE = [(0, 0), (10, 0), (10, 10), (0, 10), (0, 0)]
SEEDS = {
    "point": point(12.5, -33.75),
    "line": parts(2, [[(-5, 5), (15, 5), (15, 8)], [(1, 1), (2, 2)]]),
    "polygon": parts(3, [SQUARE, [(2, 2), (4, 2), (3, 4)]]),
    "rectangle": bytes([4]) + point(1, 4) + point(3, 2),
    "ellipse": bytes([5]) + point(10, 20) + point(0, 5),
    "text": parts(6, [[(5, 6)]]) + text_lines([b"AB", b""]),
    "points": bytes([7]) + point_list([(0, 0), (10, 10), (3, 4)]),
    "points_far_away": bytes([7]) + point_list([(2850000.5, 80000.25), (-1e300, 5e-324)]),
    "empty": b"",
    "empty_line": parts(2, []),
    "truncated_polygon": parts(3, [SQUARE])[:40],
    "unknown_class": bytes([8, 0, 0, 0, 0]),
    "negative_count_of_parts": bytes([2]) + struct.pack("<i", -1),
    "huge_point_count": bytes([7]) + struct.pack("<i", 0x7FFFFFFF) + point(1, 1),
    "huge_text_length": parts(6, []) + struct.pack("<ii", 1, 1 << 30) + b"x",
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name + ".bin"), "wb") as f:
            f.write(data)
    print(f"wrote {len(SEEDS)} seeds to {OUT}")


if __name__ == "__main__":
    main()
