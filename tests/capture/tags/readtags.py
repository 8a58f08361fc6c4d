#!/usr/bin/python3
"""Prints the ID3v2 tag of an MP3 file as the tag tests read it.

One line per item, fields separated by tabs, texts as hex of their UTF-8:
  VERSION <major>
  SIZE <bytes of the tag, header included>
  TEXT <frame id> <encoding> <hex text>
  APIC <mime> <picture type> <hex data>
  NOTAG
"""
import sys

from mutagen.id3 import ID3, ID3NoHeaderError


def main():
    try:
        tag = ID3(sys.argv[1], translate=False)
    except ID3NoHeaderError:
        print("NOTAG")
        return 0
    print("VERSION\t%d" % tag.version[1])
    print("SIZE\t%d" % tag.size)
    for frame in tag.values():
        if frame.FrameID == "APIC":
            print("APIC\t%s\t%d\t%s" % (frame.mime, int(frame.type), frame.data.hex()))
        elif frame.FrameID.startswith("T"):
            text = "\u0000".join(str(t) for t in frame.text)
            print("TEXT\t%s\t%d\t%s" % (frame.FrameID, int(frame.encoding),
                                        text.encode("utf-8").hex()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
