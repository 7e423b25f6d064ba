#!/usr/bin/env python3
"""Writes a WordPress export of many tiny items (about 97 bytes each), for the memory bound of
postlint-report: 6 million items make about 580 MB. Every 10th body holds a link, every 7th is
not well-formed.

Usage: gen-tiny-items.py ITEMS OUTPUT
"""
import sys

HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0" xmlns:content="http://purl.org/rss/1.0/modules/content/"
     xmlns:wp="http://wordpress.org/export/1.2/">
<channel>
<title>Tiny items</title>
"""
TAIL = "</channel>\n</rss>\n"


def body(number):
    if number % 7 == 0:
        return "<p>x<br></p>"
    if number % 10 == 0:
        return '<a href="u">x</a>'
    return "<p>x</p>"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    items = int(sys.argv[1])
    with open(sys.argv[2], "w", encoding="utf-8") as out:
        out.write(HEAD)
        chunk = []
        for number in range(1, items + 1):
            chunk.append(
                "<item><title>Post %d</title><content:encoded><![CDATA[%s]]></content:encoded>"
                "</item>\n" % (number, body(number)))
            if len(chunk) == 10000:
                out.write("".join(chunk))
                chunk = []
        out.write("".join(chunk))
        out.write(TAIL)


if __name__ == "__main__":
    main()
