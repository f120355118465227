#!/usr/bin/env python3
"""The corpus workflow end to end on a small generated corpus: three short
videos (one name with a space, one in another container, one without a
calibration at first), annotation documents with an unaligned time slot, a
gloss with "/", spaces and non-ASCII letters, a symbolic tier and an empty
tier. Checks the results, that a second run does nothing, that a new or
changed calibration or a changed document redoes only what depends on it, and
opens a contact sheet in headless Chromium (the screenshot is kept in the
work folder).

usage: test_workflow.py --work DIR --synth EXE --track EXE --export EXE --render EXE
"""
import argparse
import csv
import os
import shutil
import struct
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SNAKEFILE = os.path.join(HERE, "..", "Snakefile")

DOC = """<?xml version="1.0" encoding="UTF-8"?>
<ANNOTATION_DOCUMENT FORMAT="3.0" VERSION="3.0">
    <HEADER MEDIA_FILE="" TIME_UNITS="milliseconds"/>
    <TIME_ORDER>
        <TIME_SLOT TIME_SLOT_ID="ts1" TIME_VALUE="200"/>
        <TIME_SLOT TIME_SLOT_ID="ts2" TIME_VALUE="800"/>
        <TIME_SLOT TIME_SLOT_ID="ts3"/>
        <TIME_SLOT TIME_SLOT_ID="ts4" TIME_VALUE="1400"/>
    </TIME_ORDER>
    <TIER LINGUISTIC_TYPE_REF="gloss" TIER_ID="Gloss">
        <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a1" TIME_SLOT_REF1="ts1" TIME_SLOT_REF2="ts2"><ANNOTATION_VALUE>FIRST</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
        <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a2" TIME_SLOT_REF1="ts3" TIME_SLOT_REF2="ts4"><ANNOTATION_VALUE>MAISON/HOUSE été</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
        EXTRA
    </TIER>
    <TIER LINGUISTIC_TYPE_REF="translation" PARENT_REF="Gloss" TIER_ID="Traduction">
        <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="r1" ANNOTATION_REF="a1"><ANNOTATION_VALUE>hello</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
    </TIER>
    <TIER LINGUISTIC_TYPE_REF="gloss" TIER_ID="Vide"/>
    <LINGUISTIC_TYPE LINGUISTIC_TYPE_ID="gloss" TIME_ALIGNABLE="true"/>
    <LINGUISTIC_TYPE CONSTRAINTS="Symbolic_Association" LINGUISTIC_TYPE_ID="translation" TIME_ALIGNABLE="false"/>
</ANNOTATION_DOCUMENT>
"""
EXTRA = ('<ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a3" TIME_SLOT_REF1="ts1" TIME_SLOT_REF2="ts4">'
         '<ANNOTATION_VALUE>AGAIN</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>')

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAILED: " + message, file=sys.stderr)


def snakemake(args, corpus, out, bin_dir, *extra):
    cmd = ["snakemake", "-s", SNAKEFILE, "--cores", "2", "--config", f"corpus={corpus}", f"out={out}",
           f"bin={bin_dir}", *extra]
    r = subprocess.run(cmd, cwd=args.work, capture_output=True, text=True)
    if r.returncode != 0:
        print(r.stdout + r.stderr, file=sys.stderr)
    return r


def outputs(out):
    """{relative path: mtime} of every result file."""
    found = {}
    for root, _, files in os.walk(out):
        for f in files:
            p = os.path.join(root, f)
            rel = os.path.relpath(p, out)
            if not rel.startswith("logs"):
                found[rel] = os.stat(p).st_mtime_ns
    return found


def changed(before, after):
    return sorted(k for k in after if before.get(k) != after[k])


def png_colours(path):
    """Distinct colours of an 8-bit RGB or RGBA PNG (what Chromium writes)."""
    data = open(path, "rb").read()
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            channels = {2: 3, 6: 4}[colour]
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride = zlib.decompress(idat), width * channels
    prev, colours = bytearray(stride), set()
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, cur = line[0], bytearray(line[1:])
        for i in range(stride):
            a = cur[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                cur[i] = (cur[i] + a) & 255
            elif kind == 2:
                cur[i] = (cur[i] + b) & 255
            elif kind == 3:
                cur[i] = (cur[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                cur[i] = (cur[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        if y % 4 == 0:
            colours.update(bytes(cur[i:i + 3]) for i in range(0, stride, channels * 4))
        prev = cur
    return len(colours)


def main():
    p = argparse.ArgumentParser()
    for name in ("work", "synth", "track", "export", "render"):
        p.add_argument("--" + name, required=True)
    args = p.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    gen, corpus, out, bin_dir = (os.path.join(args.work, d) for d in ("gen", "corpus", "out", "bin"))
    for d in (gen, corpus, bin_dir):
        os.makedirs(d)
    for name, exe in (("vestiga-track", args.track), ("vestiga-export", args.export),
                      ("glyphora-render", args.render)):
        os.symlink(os.path.abspath(exe), os.path.join(bin_dir, name))

    # 1.6 seconds of the synthetic signer, three ways.
    subprocess.run([args.synth, "--out-dir", gen, "--frames", "40", "--name", "clip"], check=True,
                   capture_output=True)
    clip, calib = os.path.join(gen, "clip.avi"), os.path.join(gen, "clip.calib")
    shutil.copy(clip, os.path.join(corpus, "Sign One.avi"))
    shutil.copy(calib, os.path.join(corpus, "Sign One.calib"))
    subprocess.run(["ffmpeg", "-loglevel", "error", "-i", clip, "-c", "copy", os.path.join(corpus, "clip2.mkv")],
                   check=True)
    shutil.copy(calib, os.path.join(corpus, "clip2.calib"))
    shutil.copy(clip, os.path.join(corpus, "clip3.avi"))
    for name in ("Sign One", "clip2", "clip3"):
        with open(os.path.join(corpus, name + ".eaf"), "w", encoding="utf-8") as f:
            f.write(DOC.replace("EXTRA", ""))

    # 1. The first run: clip3 has no calibration and is left aside.
    r = snakemake(args, corpus, out, bin_dir)
    check(r.returncode == 0, "first run succeeds")
    check("skipped clip3.avi" in r.stderr, "the video without a calibration is named")
    for f in ("Sign One.track", "Sign One.csv", "clip2.track", "clip2.csv", "index.html", "signs.csv",
              "Sign One/001_FIRST.jpg", "Sign One/002_MAISON_HOUSE_été.sgn", "clip2/002_MAISON_HOUSE_été.txt",
              "clip2/index.html"):
        check(os.path.isfile(os.path.join(out, f)), f"{f} is made")
    check(not os.path.exists(os.path.join(out, "clip3.track")), "clip3 is not tracked")
    with open(os.path.join(out, "Sign One.csv")) as f:
        rows = f.read().splitlines()
    with open(os.path.join(out, "Sign One.track")) as f:
        tracking = f.read().splitlines()
    check(rows[0] == "time,hand1_x,hand1_y,hand2_x,hand2_y,head_x,head_y", "time series header")
    check(len(rows) == len(tracking) + 1 and len(tracking) > 30, "one row per tracking line")
    with open(os.path.join(out, "signs.csv"), encoding="utf-8", newline="") as f:
        table = list(csv.DictReader(f))
    check([(t["video"], t["gloss"]) for t in table] ==
          [("Sign One", "FIRST"), ("Sign One", "MAISON/HOUSE été"), ("clip2", "FIRST"), ("clip2", "MAISON/HOUSE été")],
          "the corpus table lists every sign in order")
    check(table and table[1]["begin"] == "1.100" and table[1]["picture"] == "Sign One/002_MAISON_HOUSE_été.jpg",
          "unaligned slot interpolated, picture path relative to the corpus sheet")
    sheet = open(os.path.join(out, "index.html"), encoding="utf-8").read()
    check('href="Sign%20One/index.html"' in sheet and "clip3.avi" in sheet, "corpus sheet links and notes")

    # 2. Nothing changed: nothing done.
    before = outputs(out)
    r = snakemake(args, corpus, out, bin_dir)
    check(r.returncode == 0 and "Nothing to be done" in r.stdout + r.stderr, "second run does nothing")
    check(changed(before, outputs(out)) == [], "second run changes no file")

    # 3. A session calibration appears: clip3 is made; the others keep theirs.
    shutil.copy(calib, os.path.join(corpus, "default.calib"))
    before = outputs(out)
    check(snakemake(args, corpus, out, bin_dir).returncode == 0, "run after default.calib")
    diff = changed(before, outputs(out))
    check("clip3.track" in diff and "clip3/index.html" in diff, "clip3 made with the session calibration")
    check(not [d for d in diff if d.startswith(("Sign One", "clip2"))], f"others untouched: {diff}")

    # 4. One calibration and another video's document change: only what
    # depends on each is redone.
    with open(os.path.join(corpus, "Sign One.calib"), "a") as f:
        f.write("# checked again\n")
    with open(os.path.join(corpus, "clip2.eaf"), "w", encoding="utf-8") as f:
        f.write(DOC.replace("EXTRA", EXTRA))
    before = outputs(out)
    check(snakemake(args, corpus, out, bin_dir).returncode == 0, "run after a changed calibration and document")
    diff = changed(before, outputs(out))
    check("Sign One.track" in diff and "Sign One/001_FIRST.jpg" in diff, "the recalibrated video is redone")
    check("clip2/002_AGAIN.jpg" in diff and "signs.csv" in diff, "the new sign is made and gathered")
    check("clip2.track" not in diff and "clip2.csv" not in diff, f"the annotated video is not tracked again: {diff}")
    check(not [d for d in diff if d.startswith("clip3")], f"the third video is untouched: {diff}")

    # 5. calibration=auto: a video with no calibration file is tracked with a
    # calibration proposed from the video itself.
    auto_corpus = os.path.join(args.work, "auto")
    os.makedirs(auto_corpus)
    shutil.copy(clip, os.path.join(auto_corpus, "solo.avi"))
    r = snakemake(args, auto_corpus, os.path.join(args.work, "auto-out"), bin_dir, "calibration=auto", "-p")
    check(r.returncode == 0 and "--calibration auto" in r.stdout + r.stderr,
          f"calibration=auto tracks with a proposal: {r.stderr[-2000:]}")
    check(os.path.isfile(os.path.join(args.work, "auto-out", "solo.csv")), "a video tracked with a proposed calibration")

    # 6. A contact sheet in a real browser.
    chromium = shutil.which("chromium")
    if chromium:
        shot = os.path.join(args.work, "sheet.png")
        page = "file://" + os.path.join(out, "Sign One", "index.html").replace(" ", "%20")
        subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                        "--screenshot=" + shot, "--window-size=1200,900", page], capture_output=True, timeout=120)
        check(os.path.isfile(shot), "the browser takes a screenshot")
        if os.path.isfile(shot):
            colours = png_colours(shot)
            # Text and frames alone give a few hundred colours; the pictures
            # of the signer many more.
            check(colours > 1500, f"the pictures are shown ({colours} colours)")
    else:
        print("note: chromium not found; the sheet was not opened in a browser")

    if failures:
        print(f"{len(failures)} check(s) failed", file=sys.stderr)
        return 1
    print("corpus workflow: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
