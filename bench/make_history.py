#!/usr/bin/env python3
"""Writes a git fast-import stream of a generated history to stdout.

    make_history.py [FILES [COMMITS [CHANGES]]]

The history is deterministic (fixed seed): a tree of about FILES files in nested
folders (text sources, .txt notes, small binaries, an executable script and a
symbolic link), then COMMITS commits that each edit a few files and now and then
add, delete or rename one, with authors, messages and times that vary. With
CHANGES, every commit edits exactly that many files and nothing else, so the
tree keeps its size (a history on which every commit should cost the same).
"""
import random
import sys

FILES = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
COMMITS = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
CHANGES = int(sys.argv[3]) if len(sys.argv) > 3 else 0
rng = random.Random(20261210)
out = sys.stdout.buffer
WORDS = ("alpha beta gamma delta record store folder commit index stream value "
         "result count line block header entry name change revision").split()


def text_file(lines):
    return "".join(
        " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 12))) + "\n"
        for _ in range(lines)).encode()


def binary_file(size):
    return bytes(rng.getrandbits(8) for _ in range(size))


def new_path(i):
    folder = f"src/mod{i % 40:02d}/part{(i // 40) % 5}"
    ext = rng.choice([".pas", ".pas", ".txt", ".c", ".h", ".bin"])
    return f"{folder}/file{i:05d}{ext}"


def content_for(path):
    if path.endswith(".bin"):
        return binary_file(rng.randint(200, 6000))
    return text_file(rng.randint(10, 200))


def edit(data, path):
    if path.endswith(".bin"):
        b = bytearray(data)
        for _ in range(rng.randint(1, 8)):
            b[rng.randrange(len(b))] = rng.getrandbits(8)
        return bytes(b)
    lines = data.decode().splitlines(keepends=True)
    for _ in range(rng.randint(1, 5)):
        pos = rng.randrange(len(lines) + 1)
        if rng.random() < (0.5 if CHANGES else 0.3) and lines:
            del lines[min(pos, len(lines) - 1)]
        else:
            lines.insert(pos, text_file(1).decode())
    return "".join(lines).encode()


mark = 0
tree = {}
next_id = 0
when = 1_400_000_000
authors = [("Ada Lovelace", "ada@example.org"), ("Linus Dev", "linus@example.org"),
           ("Grace H", "grace@example.org"), ("Nameless", "")]


def blob(data):
    global mark
    mark += 1
    out.write(b"blob\nmark :%d\ndata %d\n" % (mark, len(data)))
    out.write(data + b"\n")
    return mark


def commit(message, changes, deletes):
    global mark, when
    when += rng.randint(60, 86400)
    name, email = rng.choice(authors)
    offset = rng.choice(["+0000", "+0200", "-0500", "+0530"])
    mark += 1
    msg = message.encode()
    out.write(b"commit refs/heads/main\nmark :%d\n" % mark)
    out.write(f"author {name} <{email}> {when} {offset}\n".encode())
    out.write(f"committer {name} <{email}> {when} {offset}\n".encode())
    out.write(b"data %d\n%s\n" % (len(msg), msg))
    for path in deletes:
        out.write(f"D {path}\n".encode())
    for path, (mode, m) in changes.items():
        out.write(f"M {mode} :{m} {path}\n".encode())


changes = {}
for _ in range(FILES):
    path = new_path(next_id)
    next_id += 1
    tree[path] = content_for(path)
    changes[path] = ("100644", blob(tree[path]))
script = b"#!/bin/sh\necho hello\n"
changes["tools/run.sh"] = ("100755", blob(script))
changes["tools/link-to-run"] = ("120000", blob(b"run.sh"))
commit("Initial import\n\nThe whole tree at once.", changes, [])

for n in range(1, COMMITS):
    changes, deletes = {}, []
    edits = CHANGES if CHANGES else rng.randint(1, 6)
    for path in rng.sample(sorted(tree), k=min(len(tree), edits)):
        tree[path] = edit(tree[path], path)
        changes[path] = ("100644", blob(tree[path]))
    r = 1.0 if CHANGES else rng.random()
    if r < 0.10:
        path = new_path(next_id)
        next_id += 1
        tree[path] = content_for(path)
        changes[path] = ("100644", blob(tree[path]))
    elif r < 0.15 and len(tree) > 10:
        path = rng.choice(sorted(set(tree) - set(changes)))
        del tree[path]
        deletes.append(path)
    elif r < 0.20 and len(tree) > 10:
        old = rng.choice(sorted(set(tree) - set(changes)))
        new = old.replace("/file", "/renamed")
        if new not in tree:
            tree[new] = tree.pop(old)
            deletes.append(old)
            changes[new] = ("100644", blob(tree[new]))
    commit(f"Change {n}: " + " ".join(rng.choice(WORDS) for _ in range(5)) +
           ("\n\nDetails on a second line." if n % 7 == 0 else ""), changes, deletes)
out.write(b"done\n")
