#!/usr/bin/env python3
"""Builds the help page shipped beside the program (res/help/index.html) from the user guide
(docs/guide.md). Only the Markdown the guide uses is understood: headings, paragraphs, lists, tables,
indented code, pictures on lines of their own, **bold**, *emphasis* and `code`.

    build_help.py            write res/help/index.html
    build_help.py --check    exit 1 when res/help/index.html is not what the guide gives
"""
import html
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GUIDE = os.path.join(ROOT, "docs", "guide.md")
PAGE = os.path.join(ROOT, "res", "help", "index.html")
IMAGES = "../res/help/images/"

HEAD = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Glimmora help</title>
<style>
body { font-family: "Liberation Sans", Arial, sans-serif; max-width: 56em; margin: 2em auto; padding: 0 1em;
       line-height: 1.45; color: #2e3436; }
h1 { color: #204a87; }
h2 { border-bottom: 1px solid #babdb6; padding-bottom: .2em; margin-top: 1.6em; }
code, kbd { background: #eeeeec; padding: 0 .25em; border-radius: 3px; }
pre { background: #eeeeec; padding: .6em .8em; overflow-x: auto; }
table { border-collapse: collapse; }
td, th { border: 1px solid #d3d7cf; padding: .25em .6em; text-align: left; vertical-align: top; }
img { max-width: 100%; height: auto; border: 1px solid #d3d7cf; margin: .4em 0; }
</style>
</head>
<body>
"""
TAIL = "</body>\n</html>\n"


def inline(text):
    out = html.escape(text, quote=False)
    out = re.sub(r"`([^`]+)`", r"<code>\1</code>", out)
    out = re.sub(r"\*\*([^*]+)\*\*", r"<b>\1</b>", out)
    out = re.sub(r"(?<![*\w])\*([^*]+)\*(?![*\w])", r"<i>\1</i>", out)
    return out


def picture(alt, src):
    name = src[len(IMAGES):] if src.startswith(IMAGES) else src
    # Twice the pixels for screens at twice the scale, shown at the same size.
    return ('<p><img src="images/%s" srcset="images/%s 1x, images/2x/%s 2x" alt="%s"></p>'
            % (name, name, name, html.escape(alt)))


def convert(markdown):
    lines = markdown.split("\n")
    out = []
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
            continue
        heading = re.match(r"(#{1,3}) (.*)", line)
        image = re.fullmatch(r"!\[([^\]]*)\]\(([^)]+)\)", line.strip())
        if heading:
            level = len(heading.group(1))
            out.append("<h%d>%s</h%d>" % (level, inline(heading.group(2)), level))
            i += 1
        elif image:
            out.append(picture(image.group(1), image.group(2)))
            i += 1
        elif line.startswith("    "):
            block = []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                block.append(lines[i][4:])
                i += 1
            out.append("<pre>%s</pre>" % html.escape("\n".join(block).rstrip("\n"), quote=False))
        elif line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                rows.append([c.strip() for c in lines[i].strip().strip("|").split("|")])
                i += 1
            table = ["<table>", "<tr>%s</tr>" % "".join("<th>%s</th>" % inline(c) for c in rows[0])]
            for row in rows[2:]:  # the second row only marks the header
                table.append("<tr>%s</tr>" % "".join("<td>%s</td>" % inline(c) for c in row))
            table.append("</table>")
            out.append("\n".join(table))
        elif line.startswith("- "):
            items = []
            while i < len(lines) and (lines[i].startswith("- ") or lines[i].startswith("  ")):
                if lines[i].startswith("- "):
                    items.append(lines[i][2:])
                else:
                    items[-1] += " " + lines[i].strip()
                i += 1
            out.append("<ul>\n%s\n</ul>" % "\n".join("<li>%s</li>" % inline(t) for t in items))
        else:
            text = []
            while i < len(lines) and lines[i].strip() and not re.match(r"(#|\||- |    |!\[)", lines[i]):
                text.append(lines[i].strip())
                i += 1
            out.append("<p>%s</p>" % inline(" ".join(text)))
    return HEAD + "\n".join(out) + "\n" + TAIL


def main():
    with open(GUIDE, encoding="utf-8") as f:
        page = convert(f.read())
    if sys.argv[1:] == ["--check"]:
        with open(PAGE, encoding="utf-8") as f:
            if f.read() != page:
                print("res/help/index.html is not built from docs/guide.md: run scripts/build_help.py")
                return 1
        return 0
    with open(PAGE, "w", encoding="utf-8") as f:
        f.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main())
