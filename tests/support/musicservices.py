#!/usr/bin/python3
"""Loopback stand-ins for the music recognition services, on one port.

Usage: musicservices.py --world <world.json> [--port <n>]

Binds 127.0.0.1 on a free port (or --port), prints "PORT <n>" on its first
line of standard output once the catalogue is fingerprinted, and serves until
it is terminated. The services answer in the request and answer formats of
the real ones, below these bases:

  /acoustid     AcoustID: /v2/lookup (GET or POST form) with client, meta,
                duration, fingerprint, format=json. The submitted fingerprint
                is decoded with libchromaprint and compared with the catalogue
                by bit error rate (never by its text); only recordings whose
                length is within 7 s of the submitted duration are candidates.
  /mb           MusicBrainz: /ws/2/release/<mbid>?inc=...&fmt=json (only the
                includes asked for), /ws/2/release?query=... and
                /ws/2/recording?query=... (Lucene field:"phrase" terms).
  /caa          Cover Art Archive: /release/<mbid> (listing),
                /release/<mbid>/front[-250|-500|-1200] and the same below
                /release-group/<mbid>; images are answered with a 307 to an
                archive path that answers with a 302 to the file.
  /images       an image search: ?v=1.0[&imgsz=...]&q=... answering
                {"responseData": {"results": [...]}}.

The world file (JSON) describes the catalogue and the behaviour:

  "acoustid_key":  the client key the lookup accepts
  "recordings":    [{"id", "acoustid", "title", "wav", "artist"}], each wav
                   fingerprinted (first 120 s) at start
  "releases":      [MusicBrainz release objects as the lookup answers them
                    with every include: "id", "title", "date",
                    "artist-credit", "release-group" (with "genres"),
                    "genres", "media"[{"tracks"[{"recording"{"id"}}]}]]
  "acoustid_tracks": {"<recording mbid>": [track mbids]}: the tracks the lookup
                   links the recording to instead of its own (links out of date)
  "covers":        {"<release or release-group mbid>": {"250": path, "500":
                   path, "1200": path, "original": path, "redirect": url}}
  "image_search":  {"<q text>": [results], "*": [results for any other q]}
  "busy":          {"<service>": n}: the first n requests answer 503
  "delay":         {"<service>": seconds}: every answer waits that long

Control paths (not logged): /_log gives the requests so far as JSON
[{"service", "path", "query", "t" (monotonic seconds), "agent", "via"}]; /_reset
clears it. HEAD of any path answers 200 (reachability probes).
"""
import argparse
import copy
import ctypes
import http.server
import json
import re
import threading
import time
import urllib.parse
import wave

import numpy as np

import httpstub  # beside this script: the server and its start

LOCK = threading.Lock()
LOG = []
BUSY = {}
WORLD = {}
CATALOGUE = []  # [(recording, raw fingerprint, duration seconds)]
FINGERPRINT_SECONDS = 120
MAX_DURATION_GAP = 7


class Chromaprint:
    def __init__(self):
        lib = ctypes.CDLL("libchromaprint.so.1")
        u32p = ctypes.POINTER(ctypes.c_uint32)
        lib.chromaprint_new.restype = ctypes.c_void_p
        lib.chromaprint_new.argtypes = [ctypes.c_int]
        lib.chromaprint_start.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        lib.chromaprint_feed.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.chromaprint_finish.argtypes = [ctypes.c_void_p]
        lib.chromaprint_get_raw_fingerprint.argtypes = [
            ctypes.c_void_p, ctypes.POINTER(u32p), ctypes.POINTER(ctypes.c_int)]
        lib.chromaprint_free.argtypes = [ctypes.c_void_p]
        lib.chromaprint_dealloc.argtypes = [ctypes.c_void_p]
        lib.chromaprint_decode_fingerprint.argtypes = [
            ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(u32p), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_int), ctypes.c_int]
        self.lib = lib

    def _take(self, pointer, size):
        values = np.ctypeslib.as_array(pointer, (size,)).copy() if size > 0 else np.zeros(0, np.uint32)
        self.lib.chromaprint_dealloc(pointer)
        return values.astype(np.uint32)

    def of_wav(self, path):
        """The raw fingerprint of the first 120 s and the whole length in seconds."""
        with wave.open(path, "rb") as w:
            rate, channels, width = w.getframerate(), w.getnchannels(), w.getsampwidth()
            duration = w.getnframes() / float(rate)
            data = w.readframes(rate * FINGERPRINT_SECONDS)
        if width != 2:
            raise ValueError("16-bit WAV expected: " + path)
        ctx = self.lib.chromaprint_new(1)
        self.lib.chromaprint_start(ctx, rate, channels)
        self.lib.chromaprint_feed(ctx, data, len(data) // 2)
        self.lib.chromaprint_finish(ctx)
        pointer = ctypes.POINTER(ctypes.c_uint32)()
        size = ctypes.c_int()
        self.lib.chromaprint_get_raw_fingerprint(ctx, ctypes.byref(pointer), ctypes.byref(size))
        self.lib.chromaprint_free(ctx)
        return self._take(pointer, size.value), duration

    def decode(self, text):
        pointer = ctypes.POINTER(ctypes.c_uint32)()
        size = ctypes.c_int()
        algorithm = ctypes.c_int()
        raw = text.encode("ascii", "replace")
        if self.lib.chromaprint_decode_fingerprint(raw, len(raw), ctypes.byref(pointer), ctypes.byref(size),
                                                   ctypes.byref(algorithm), 1) != 1:
            return None
        values = self._take(pointer, size.value)
        return values if len(values) > 0 else None


CHROMAPRINT = None


def bit_error_rate(a, b):
    """The lowest share of differing bits over small offsets, 1.0 without overlap."""
    best = 1.0
    for offset in range(-8, 9):
        x = a[max(0, offset):]
        y = b[max(0, -offset):]
        n = min(len(x), len(y))
        if n < 40:
            continue
        bits = int(np.unpackbits((x[:n] ^ y[:n]).view(np.uint8)).sum())
        best = min(best, bits / (32.0 * n))
    return best


def release_by_id(mbid):
    for release in WORLD.get("releases", []):
        if release.get("id") == mbid:
            return release
    return None


def credit_text(credits):
    return "".join(c.get("name", "") + c.get("joinphrase", "") for c in credits or [])


# --- AcoustID ---

def acoustid_error(code, message):
    return 400, {"status": "error", "error": {"code": code, "message": message}}


def acoustid_recording(recording, meta):
    out = {"id": recording["id"], "title": recording.get("title", ""),
           "duration": int(round(recording["_duration"])),
           "artists": [{"id": "00000000-0000-4000-8000-00000000a000", "name": recording.get("artist", "")}]}
    if "releases" not in meta:
        return out
    releases = []
    links = WORLD.get("acoustid_tracks", {}).get(recording["id"])
    for release in WORLD.get("releases", []):
        mediums = []
        for position, medium in enumerate(release.get("media", []), 1):
            tracks = [{"id": t.get("id"), "position": t.get("position"), "title": t.get("title"),
                       "artists": [{"name": credit_text(release.get("artist-credit"))}]}
                      for t in medium.get("tracks", [])
                      if (t.get("id") in links if links else t.get("recording", {}).get("id") == recording["id"])]
            if tracks:
                mediums.append({"position": medium.get("position", position), "format": medium.get("format", "CD"),
                                "track_count": len(medium.get("tracks", [])), "tracks": tracks})
        if not mediums:
            continue
        item = {"id": release["id"], "title": release.get("title", ""), "country": "XW",
                "medium_count": len(release.get("media", [])),
                "track_count": sum(len(m.get("tracks", [])) for m in release.get("media", []))}
        date = release.get("date", "")
        if date[:4].isdigit():
            item["date"] = {"year": int(date[:4])}
        if "tracks" in meta:
            item["mediums"] = mediums
        releases.append(item)
    out["releases"] = releases
    return out


def acoustid_lookup(params):
    if params.get("client", "") != WORLD.get("acoustid_key"):
        return acoustid_error(4, "invalid API key")
    if "fingerprint" not in params or "duration" not in params:
        return acoustid_error(2, "missing required parameter \"fingerprint\"")
    try:
        duration = int(params["duration"])
    except ValueError:
        return acoustid_error(3, "invalid duration")
    submitted = CHROMAPRINT.decode(params["fingerprint"])
    if submitted is None:
        return acoustid_error(3, "invalid fingerprint")
    meta = params.get("meta", "").replace("+", " ").split()
    results = []
    for recording, raw, length in CATALOGUE:
        if abs(length - duration) > MAX_DURATION_GAP:
            continue
        score = max(0.0, 1.0 - 2.0 * bit_error_rate(submitted, raw))
        if score < 0.05:
            continue
        item = {"id": recording.get("acoustid", recording["id"]), "score": round(score, 6)}
        if "recordings" in meta:
            item["recordings"] = [acoustid_recording(recording, meta)]
        results.append(item)
    results.sort(key=lambda r: -r["score"])
    return 200, {"status": "ok", "results": results}


# --- MusicBrainz ---

def mb_release(mbid, params):
    release = release_by_id(mbid)
    if release is None:
        return 404, {"error": "Not Found", "help": "For usage, please see: https://musicbrainz.org/development/mmd"}
    inc = params.get("inc", "").replace("+", " ").split()
    out = copy.deepcopy(release)
    if "genres" not in inc:
        out.pop("genres", None)
        out.get("release-group", {}).pop("genres", None)
    if "release-groups" not in inc:
        out.pop("release-group", None)
    if "artist-credits" not in inc:
        out.pop("artist-credit", None)
    if "recordings" not in inc:
        for medium in out.get("media", []):
            medium.pop("tracks", None)
    return 200, out


def lucene_terms(query):
    return {field: re.sub(r"\\(.)", r"\1", phrase).lower()
            for field, phrase in re.findall(r'(\w+):"((?:[^"\\]|\\.)*)"', query)}


def mb_search(entity, params):
    terms = lucene_terms(params.get("query", ""))
    found = []
    for release in WORLD.get("releases", []):
        if "release" in terms and release.get("title", "").lower() != terms["release"]:
            continue
        if "artist" in terms and credit_text(release.get("artist-credit")).lower() != terms["artist"]:
            continue
        brief = {"id": release["id"], "score": 100, "title": release.get("title"),
                 "artist-credit": release.get("artist-credit", []),
                 "release-group": {"id": release.get("release-group", {}).get("id")}}
        if entity == "release":
            found.append(brief)
            continue
        for medium in release.get("media", []):
            for track in medium.get("tracks", []):
                if "recording" in terms and track.get("title", "").lower() != terms["recording"]:
                    continue
                found.append({"id": track.get("recording", {}).get("id"), "score": 100,
                              "title": track.get("title"), "releases": [brief]})
    key = "releases" if entity == "release" else "recordings"
    return 200, {"created": "2024-01-01T00:00:00.000Z", "count": len(found), "offset": 0, key: found}


# --- Cover Art Archive ---

SIZES = {"front": "original", "front-250": "250", "front-500": "500", "front-1200": "1200"}


def caa_listing(base, mbid):
    covers = WORLD.get("covers", {}).get(mbid)
    if not covers:
        return 404, None
    link = base + "/caa/release/" + mbid
    image = {"approved": True, "front": True, "back": False, "types": ["Front"], "id": 1, "edit": 1,
             "comment": "", "image": link + "/front",
             "thumbnails": {"250": link + "/front-250", "500": link + "/front-500",
                            "1200": link + "/front-1200", "small": link + "/front-250",
                            "large": link + "/front-500"}}
    return 200, {"images": [image], "release": "https://musicbrainz.org/release/" + mbid}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_GET(self):
        self.handle_any(None)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0") or 0)
        self.handle_any(self.rfile.read(length).decode("utf-8", "replace"))

    def answer(self, code, body, content_type="application/json", extra=None):
        data = body if isinstance(body, bytes) else json.dumps(body).encode("utf-8")
        try:
            self.send_response(code)
            self.send_header("Content-Type", content_type)
            for key, value in (extra or {}).items():
                self.send_header(key, value)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
        except OSError:
            self.close_connection = True

    def redirect(self, code, location):
        self.answer(code, b"", "text/plain", {"Location": location})

    def handle_any(self, form):
        url = urllib.parse.urlsplit(self.path)
        query = url.query if form is None else form
        params = {k: v[0] for k, v in urllib.parse.parse_qs(query, keep_blank_values=True).items()}
        if url.path == "/_log":
            with LOCK:
                self.answer(200, LOG)
            return
        if url.path == "/_reset":
            with LOCK:
                del LOG[:]
            self.answer(200, {"reset": True})
            return
        parts = [urllib.parse.unquote(p) for p in url.path.split("/") if p]
        service = parts[0] if parts else ""
        with LOCK:
            LOG.append({"service": service, "path": url.path, "query": query, "t": time.monotonic(),
                        "agent": self.headers.get("User-Agent", ""), "via": self.headers.get("Via", "")})
            busy = BUSY.get(service, 0)
            if busy > 0:
                BUSY[service] = busy - 1
        if busy > 0:
            self.answer(503, {"error": "Your requests are exceeding the allowable rate limit."},
                        extra={"Retry-After": "1"})
            return
        delay = WORLD.get("delay", {}).get(service, 0)
        if delay:
            time.sleep(delay)
        base = "http://%s:%d" % self.server.server_address[:2]
        rest = parts[1:]
        if service == "acoustid" and rest == ["v2", "lookup"]:
            code, body = acoustid_lookup(params)
            self.answer(code, body)
        elif service == "mb" and len(rest) == 4 and rest[:3] == ["ws", "2", "release"]:
            code, body = mb_release(rest[3], params)
            self.answer(code, body)
        elif service == "mb" and len(rest) == 3 and rest[:2] == ["ws", "2"] and rest[2] in ("release", "recording"):
            code, body = mb_search(rest[2], params)
            self.answer(code, body)
        elif service == "caa":
            self.cover_art(base, rest)
        elif service == "archive" and len(rest) == 2:
            self.redirect(302, base + "/files/" + rest[0] + "/" + rest[1])
        elif service == "files" and len(rest) == 2:
            path = WORLD.get("covers", {}).get(rest[0], {}).get(rest[1])
            if not path:
                self.answer(404, b"not found", "text/plain")
                return
            with open(path, "rb") as f:
                data = f.read()
            kind = "image/png" if data[:4] == b"\x89PNG" else "image/jpeg"
            self.answer(200, data, kind)
        elif service == "images":
            table = WORLD.get("image_search", {})
            results = table.get(params.get("q", ""), table.get("*", []))
            self.answer(200, {"responseData": {"results": results}, "responseDetails": None,
                              "responseStatus": 200})
        else:
            self.answer(404, {"error": "Not Found"})

    def cover_art(self, base, rest):
        if len(rest) == 2 and rest[0] == "release":
            code, body = caa_listing(base, rest[1])
            self.answer(code, body if body is not None else b"Not Found", "application/json")
            return
        if len(rest) != 3 or rest[0] not in ("release", "release-group") or rest[2] not in SIZES:
            self.answer(400, b"Bad Request", "text/plain")
            return
        covers = WORLD.get("covers", {}).get(rest[1], {})
        if covers.get("redirect"):
            self.redirect(307, covers["redirect"])
        elif covers.get(SIZES[rest[2]]):
            self.redirect(307, base + "/archive/" + rest[1] + "/" + SIZES[rest[2]])
        else:
            self.answer(404, b"Not Found", "text/plain")


def main():
    global CHROMAPRINT, WORLD
    parser = argparse.ArgumentParser()
    parser.add_argument("--world", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    with open(args.world) as f:
        WORLD = json.load(f)
    BUSY.update(WORLD.get("busy", {}))
    CHROMAPRINT = Chromaprint()
    for recording in WORLD.get("recordings", []):
        raw, duration = CHROMAPRINT.of_wav(recording["wav"])
        recording["_duration"] = duration
        CATALOGUE.append((recording, raw, duration))
    httpstub.serve(Handler, args.port)


if __name__ == "__main__":
    main()
