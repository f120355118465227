"""The corpus-wide pieces of the workflow: which videos there are, and the
corpus sheet and table gathered from every video's signs."""
import csv
import html
import io
import os
from urllib.parse import quote

VIDEO_EXTENSIONS = (".mp4", ".avi", ".mov", ".mkv")


def find_videos(corpus):
    """{NAME: path} for every video of the folder (extensions in any case),
    and a list of notes about files left aside. Two videos with one NAME
    (a.mov and a.mp4) would write the same results: refused."""
    videos, skipped = {}, []
    for entry in sorted(os.listdir(corpus)):
        name, ext = os.path.splitext(entry)
        path = os.path.join(corpus, entry)
        if entry.startswith(".") or ext.lower() not in VIDEO_EXTENSIONS or not os.path.isfile(path):
            continue
        if name in videos:
            raise ValueError(
                f"corpus workflow: {os.path.basename(videos[name])} and {entry} share the name {name}; "
                "move one of them out of the corpus folder")
        videos[name] = path
    return videos, skipped


def _write_atomically(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8", newline="") as f:
        f.write(text)
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, path)


def _read_signs(out, name):
    path = os.path.join(out, name, "signs.csv")
    if not os.path.isfile(path):
        return [], []
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    return (rows[0], rows[1:]) if rows else ([], [])


def write_corpus(out, names, documents, skipped, tier, sheet_path, table_path):
    """OUT/signs.csv: every video's signs.csv, with a first column naming the
    video and file names relative to OUT. OUT/index.html: one line per video
    with its time series and its sheet."""
    table = io.StringIO()
    writer = csv.writer(table, lineterminator="\n")
    header_written = False
    counts = {}
    for name in documents:
        header, rows = _read_signs(out, name)
        if not header:
            continue
        if not header_written:
            writer.writerow(["video"] + header)
            header_written = True
        files = [i for i, h in enumerate(header) if h in ("picture", "description", "export")]
        made = 0
        for row in rows:
            row = list(row)
            for i in files:
                if i < len(row) and row[i]:
                    row[i] = name + "/" + row[i]
            made += bool(files and files[0] < len(row) and row[files[0]])
            writer.writerow([name] + row)
        counts[name] = (made, len(rows))
    if not header_written:
        writer.writerow(["video", "index", "gloss", "begin", "end", "picture", "description", "export",
                         "pattern", "symmetry", "angle", "orientation", "amplitude", "rel1_x", "rel1_y",
                         "rel2_x", "rel2_y", "reason"])
    _write_atomically(table_path, table.getvalue())

    e = html.escape
    lines = ["<!DOCTYPE html>", "<html>", "<head>", '<meta charset="utf-8">',
             f"<title>Corpus: {len(names)} videos</title>",
             "<style>body { font-family: sans-serif; margin: 1em; } "
             "table { border-collapse: collapse; } td, th { border: 1px solid #ccc; padding: 4px 8px; "
             "text-align: left; } .note { color: #a00; }</style>",
             "</head>", "<body>", f"<h1>Corpus: {len(names)} videos, tier {e(tier)}</h1>",
             '<p><a href="signs.csv">Every sign (signs.csv)</a></p>',
             "<table>", "<tr><th>video</th><th>time series</th><th>signs</th></tr>"]
    for name in names:
        if name in counts:
            made, total = counts[name]
            signs = f'<a href="{quote(name)}/index.html">{made} of {total} signs made</a>'
        elif name in documents:
            signs = '<span class="note">no sheet</span>'
        else:
            signs = "no annotation document"
        lines.append(f'<tr><td>{e(name)}</td><td><a href="{quote(name)}.csv">{e(name)}.csv</a></td>'
                     f"<td>{signs}</td></tr>")
    lines.append("</table>")
    if skipped:
        lines.append("<h2>Left aside</h2>")
        lines.append("<ul>" + "".join(f"<li>{e(s)}</li>" for s in skipped) + "</ul>")
    lines += ["</body>", "</html>", ""]
    _write_atomically(sheet_path, "\n".join(lines))
