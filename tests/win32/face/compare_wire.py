#!/usr/bin/env python3
"""Compares two controller wire logs (every byte the simulator received) of
the same operator's steps, the Windows executable's and the Linux build's.

    compare_wire.py WINDOWS.log LINUX.log

They must be the same bytes, with one allowance: upload all sends the source
folder's job files in the order in which the system's folder search gives
them, which is the file system's order on Linux and name order under Wine.
So each run of uploads that follow one another (a header frame "<NAME\\SIZE\\"
and the SIZE bytes of its line frames) is compared as a set of uploads.
Everything else (the handshake, delete frames, listing requests) and each
upload's own bytes must match exactly and in place. Exits 0 when they do,
1 with the first difference when not.
"""
import sys


def frames(data):
    """The wire's frames: ("upload", bytes) for a header frame with its line
    frames, ("other", bytes) for anything else, one frame or byte each."""
    out = []
    i = 0
    while i < len(data):
        if data[i:i + 1] == b"<":
            name_end = data.index(b"\\", i + 1)
            size_end = data.index(b"\\", name_end + 1)
            size = int(data[name_end + 1:size_end])
            end = size_end + 1 + size
            if end > len(data):
                raise ValueError("an upload is cut short")
            out.append(("upload", data[i:end]))
            i = end
        elif data[i:i + 1] == b"/":
            end = data.index(b"\\", i + 1) + 1
            out.append(("other", data[i:end]))
            i = end
        else:
            out.append(("other", data[i:i + 1]))
            i += 1
    return out


def canonical(data):
    """The frames with each run of uploads in byte order."""
    out, run = [], []
    for kind, frame in frames(data):
        if kind == "upload":
            run.append(frame)
            continue
        out += sorted(run)
        run = []
        out.append(frame)
    return out + sorted(run)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: compare_wire.py WINDOWS.log LINUX.log")
    with open(sys.argv[1], "rb") as f:
        windows = f.read()
    with open(sys.argv[2], "rb") as f:
        linux = f.read()
    if windows == linux:
        print(f"compare_wire: the same {len(windows)} bytes")
        return 0
    try:
        same = canonical(windows) == canonical(linux)
    except ValueError as error:
        print(f"compare_wire: a log does not parse as frames ({error})")
        same = False
    if same:
        print(f"compare_wire: the same {len(windows)} bytes, the job files in another order")
        return 0
    at = first_difference(windows, linux)
    print(f"compare_wire: the logs differ from byte {at} on "
          f"(Windows {len(windows)} bytes, Linux {len(linux)})")
    print(f"  Windows: {windows[max(0, at - 16):at + 48]!r}")
    print(f"  Linux:   {linux[max(0, at - 16):at + 48]!r}")
    return 1


if __name__ == "__main__":
    sys.exit(main())
