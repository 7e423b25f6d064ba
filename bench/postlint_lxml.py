#!/usr/bin/python3
"""The same analysis as postlint-report, written the way a user would write it with lxml.

Usage: postlint_lxml.py EXPORT.xml ERRORS.txt LINKS.txt

Serves as the peer in the benchmark: it reads the whole export into one tree, wraps and parses
every body, records the first error and the top-level links and images, and writes both tables
as tab-delimited ISO-8859-1 text.
"""
import sys

from lxml import etree

CONTENT = "http://purl.org/rss/1.0/modules/content/"
DECLARATION = '<?xml version="1.0" encoding="UTF-8"?>'


def cut(text):
    for i, ch in enumerate(text):
        if ord(ch) > 255:
            return text[:i]
    return text


def narrow(source, pos):
    start, length = (pos - 11, 21) if pos > 10 else (0, pos + 10)
    return source[start:start + length] if length > 0 else ""


def main(export_path, errors_path, links_path):
    parser = etree.XMLParser(resolve_entities=False, no_network=True, huge_tree=False)
    items = etree.parse(export_path, parser).xpath("/rss/channel/item")
    error_rows, link_rows = [], []
    columns = ["Post Title", "Content"]
    for item in items:
        title = item.findtext("title") or ""
        body = item.findtext("{%s}encoded" % CONTENT) or ""
        wrapped = DECLARATION + "<dummy>" + body + "</dummy>"
        try:
            document = etree.fromstring(wrapped.encode("utf-8"))
            error_rows.append([title, body, "0", "", "0", "0", "", ""])
        except etree.XMLSyntaxError as error:
            first = error.error_log[0]
            lines = wrapped.split("\n")
            source = lines[first.line - 1] if 0 < first.line <= len(lines) else ""
            error_rows.append([title, body, str(first.type), first.message, str(first.line),
                               str(first.column), source, narrow(source, first.column)])
            continue
        for element in document.getroottree().xpath("dummy/a[@*] | dummy/a/img[@*] | dummy/img[@*]"):
            if element.getparent().tag == "dummy":
                link_rows.append({"Post Title": title, "Content": body})
            for name, value in element.attrib.items():
                if name not in columns and len(columns) < 24:
                    columns.append(name)
                if name in columns:
                    link_rows[-1][name] = value

    def write(path, header, rows):
        with open(path, "w", encoding="latin-1", errors="replace", newline="") as out:
            out.write("\t".join(header) + "\r\n")
            for row in rows:
                out.write("\t".join([cut(row[0]), ""] + [cut(cell) for cell in row[2:]]) + "\r\n")

    write(errors_path, ["Post Title", "Content", "Error Code", "Reason", "Line", "Pos", "Source", "Narrowed"],
          error_rows)
    write(links_path, columns, [[row.get(name, "") for name in columns] for row in link_rows])


if __name__ == "__main__":
    main(*sys.argv[1:4])
