#!/usr/bin/python3
"""Validate a sound-effect bundle directory.

    /usr/bin/python3 tools/catalogue/check.py resources/SoundEffects

The program loads whatever it finds there, so a malformed plist, a missing or
stray file, or audio outside the agreed format is reported here rather than
as a silent button at run time; effects of uneven loudness would make a
stream's sound jump. Needs sox (and its FLAC/Ogg support) and ffmpeg, whose
EBU R128 meter is independent of the one generate.py normalises with.
Exits 0 when the bundle is valid, 1 with one line per problem otherwise.
"""

import math
import os
import plistlib
import re
import shutil
import subprocess
import sys

RATE = 44100
MIN_LEN, MAX_LEN = 0.3, 4.0
TRUE_PEAK_MAX = -1.0  # dBTP; generate.py limits peaks under it
MAX_SPREAD = 2.0  # LU between the quietest and the loudest effect
SILENT_RMS = -50.0  # dBFS; anything quieter is a broken render
AUDIO_EXTS = (".flac", ".ogg")
BASE_RE = re.compile(r"^[A-Za-z0-9_-]+$")
FILE_RE = re.compile(r"^[A-Za-z0-9_.-]+$")


def probe(path):
    """(sample rate, bits or None, duration, peak dBFS, RMS dBFS) via sox."""
    info = subprocess.run(["soxi", path], capture_output=True, text=True)
    if info.returncode != 0:
        raise ValueError(info.stderr.strip() or "soxi failed")
    fields = {}
    for line in info.stdout.splitlines():
        key, sep, value = line.partition(":")
        if sep:
            fields[key.strip()] = value.strip()
    rate = int(fields["Sample Rate"])
    precision = fields.get("Precision", "")
    bits = int(precision.split("-")[0]) if precision[:1].isdigit() else None
    # "00:00:01.23 = 54243 samples ..." — the sample count is exact.
    samples = int(re.search(r"=\s*(\d+) samples", fields["Duration"]).group(1))
    duration = samples / rate

    stats = subprocess.run(["sox", path, "-n", "stats"], capture_output=True, text=True)
    if stats.returncode != 0:
        raise ValueError(stats.stderr.strip() or "sox stats failed")
    levels = {}
    for line in stats.stderr.splitlines():
        m = re.match(r"^(Pk lev dB|RMS lev dB)\s+(\S+)", line)
        if m:  # first column is the overall figure for multi-channel files
            levels[m.group(1)] = float(m.group(2))
    return rate, bits, duration, levels["Pk lev dB"], levels["RMS lev dB"]


def _ebur128(path, pad):
    cmd = ["ffmpeg", "-hide_banner", "-nostats", "-i", path, "-af",
           ("apad=pad_dur=0.5," if pad else "") + "ebur128=peak=true:framelog=info",
           "-f", "null", "-"]
    proc = subprocess.run(cmd, capture_output=True, text=True)
    if proc.returncode != 0 or "Summary:" not in proc.stderr:
        raise ValueError(proc.stderr.strip()[-200:] or "ffmpeg failed")
    frames, _, summary = proc.stderr.partition("Summary:")
    integrated = float(re.search(r"I:\s*(-?[\d.]+) LUFS", summary).group(1))
    peak = re.search(r"Peak:\s*(-?[\d.]+|-inf)", summary).group(1)
    momentary = [float(m) for m in re.findall(r"M:\s*(-?[\d.]+)", frames)]
    return integrated, max(momentary, default=-math.inf), float(peak)


def loudness(path):
    """(LUFS, true peak dBTP): integrated loudness, or for an effect too short
    for one its loudest momentary value (over a window padded with silence),
    as the program measures it."""
    integrated, _, peak = _ebur128(path, pad=False)
    if integrated > -70:
        return integrated, peak
    _, momentary, _ = _ebur128(path, pad=True)
    return momentary, peak


def check_audio(path, label, problems, levels):
    try:
        rate, bits, duration, peak, rms = probe(path)
    except (ValueError, KeyError, AttributeError) as exc:
        problems.append("%s: unreadable audio (%s)" % (label, exc))
        return
    if rate != RATE:
        problems.append("%s: sample rate %d Hz, expected %d" % (label, rate, RATE))
    if path.endswith(".flac") and bits != 16:
        problems.append("%s: %s-bit, expected 16-bit" % (label, bits))
    if not MIN_LEN <= duration <= MAX_LEN:
        problems.append("%s: %.3f s long, expected %.1f-%.1f s" % (label, duration, MIN_LEN, MAX_LEN))
    if rms < SILENT_RMS:
        problems.append("%s: RMS %.1f dBFS, effectively silent" % (label, rms))
        return
    try:
        lufs, true_peak = loudness(path)
    except (ValueError, AttributeError) as exc:
        problems.append("%s: loudness not measurable (%s)" % (label, exc))
        return
    if true_peak > TRUE_PEAK_MAX:
        problems.append("%s: true peak %.1f dBTP, expected at most %.1f"
                        % (label, true_peak, TRUE_PEAK_MAX))
    levels[label] = lufs


def check_spread(levels, problems):
    if not levels:
        return
    quiet = min(levels, key=levels.get)
    loud = max(levels, key=levels.get)
    if levels[loud] - levels[quiet] > MAX_SPREAD:
        problems.append("effects differ by %.1f LU (%s %.1f LUFS to %s %.1f LUFS), at most %.0f"
                        % (levels[loud] - levels[quiet], quiet, levels[quiet], loud,
                           levels[loud], MAX_SPREAD))


def check_category(root, base, problems, indexes, levels):
    """Check one <base>.plist and its <base>/ directory."""
    name = base + ".plist"
    try:
        with open(os.path.join(root, name), "rb") as fp:
            data = plistlib.load(fp)
    except Exception as exc:  # plistlib raises several unrelated types
        problems.append("%s: not a readable property list (%s)" % (name, exc))
        return 0
    if not isinstance(data, dict):
        problems.append("%s: root is %s, expected a dict" % (name, type(data).__name__))
        return 0
    extra = set(data) - {"category", "englishCategory", "index", "list"}
    if extra:
        problems.append("%s: unexpected keys %s" % (name, sorted(extra)))

    category = data.get("category")
    if not isinstance(category, str) or not category.strip():
        problems.append("%s: 'category' must be a non-empty string" % name)
    # The English names are optional; the Chinese ones stay the effects' keys.
    english = data.get("englishCategory", "-")
    if not isinstance(english, str) or not english.strip():
        problems.append("%s: 'englishCategory' must be a non-empty string" % name)
    index = data.get("index")
    # plistlib gives bool for <true/>, which is an int subclass in Python.
    if not isinstance(index, int) or isinstance(index, bool):
        problems.append("%s: 'index' must be an integer" % name)
    elif index in indexes:
        problems.append("%s: index %d already used by %s" % (name, index, indexes[index]))
    else:
        indexes[index] = name
    items = data.get("list")
    if not isinstance(items, list) or not items:
        problems.append("%s: 'list' must be a non-empty array" % name)
        return 0

    folder = os.path.join(root, base)
    listed, titles, english_titles = set(), set(), set()
    for n, item in enumerate(items):
        where = "%s: list[%d]" % (name, n)
        if not isinstance(item, dict):
            problems.append("%s: expected a dict" % where)
            continue
        extra = set(item) - {"fileName", "title", "englishTitle"}
        if extra:
            problems.append("%s: unexpected keys %s" % (where, sorted(extra)))
        title = item.get("title")
        if not isinstance(title, str) or not title.strip():
            problems.append("%s: 'title' must be a non-empty string" % where)
        elif title in titles:
            problems.append("%s: duplicate title %r" % (where, title))
        else:
            titles.add(title)
        if "englishTitle" in item:
            english = item["englishTitle"]
            if not isinstance(english, str) or not english.strip():
                problems.append("%s: 'englishTitle' must be a non-empty string" % where)
            elif english in english_titles:
                problems.append("%s: duplicate englishTitle %r" % (where, english))
            else:
                english_titles.add(english)
        file_name = item.get("fileName")
        if not isinstance(file_name, str) or not FILE_RE.match(file_name):
            problems.append("%s: 'fileName' must be a plain ASCII file name, got %r" % (where, file_name))
            continue
        if not file_name.endswith(AUDIO_EXTS):
            problems.append("%s: %s is not %s" % (where, file_name, " or ".join(AUDIO_EXTS)))
        if file_name in listed:
            problems.append("%s: duplicate fileName %s" % (where, file_name))
            continue
        listed.add(file_name)
        path = os.path.join(folder, file_name)
        if not os.path.isfile(path):
            problems.append("%s: %s/%s does not exist" % (where, base, file_name))
            continue
        check_audio(path, "%s/%s" % (base, file_name), problems, levels)

    if os.path.isdir(folder):
        for stray in sorted(set(os.listdir(folder)) - listed):
            problems.append("%s/%s: not listed in %s" % (base, stray, name))
    return len(listed)


def check_bundle(root):
    """Return (problems, category count, sound count) for bundle ROOT."""
    problems = []
    if not os.path.isdir(root):
        return ["%s: not a directory" % root], 0, 0
    entries = sorted(os.listdir(root))
    plists = {e[:-len(".plist")] for e in entries
              if e.endswith(".plist") and os.path.isfile(os.path.join(root, e))}
    folders = {e for e in entries if os.path.isdir(os.path.join(root, e))}
    for e in entries:
        base = e[:-len(".plist")] if e.endswith(".plist") else e
        if (e.endswith(".plist") and base in plists) or e in folders:
            if not BASE_RE.match(base):
                problems.append("%s: category names must be plain ASCII" % e)
        else:
            problems.append("%s: only <Name>.plist files and <Name>/ folders belong here" % e)
    for base in sorted(folders - plists):
        problems.append("%s/: no %s.plist describes it" % (base, base))
    for base in sorted(plists - folders):
        problems.append("%s.plist: its folder %s/ is missing" % (base, base))
    if not plists:
        problems.append("no category plists found")

    indexes, levels, sounds = {}, {}, 0
    for base in sorted(plists):
        sounds += check_category(root, base, problems, indexes, levels)
    check_spread(levels, problems)
    return problems, len(plists), sounds


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check.py BUNDLE_DIR")
    for tool in ("sox", "soxi", "ffmpeg"):
        if shutil.which(tool) is None:
            sys.exit("check.py: %s is not installed; it is needed to read the audio" % tool)
    problems, categories, sounds = check_bundle(sys.argv[1])
    for problem in problems:
        print("check.py: " + problem, file=sys.stderr)
    if problems:
        print("check.py: %d problem(s) in %s" % (len(problems), sys.argv[1]), file=sys.stderr)
        sys.exit(1)
    print("check.py: %s OK: %d categories, %d sounds" % (sys.argv[1], categories, sounds))


if __name__ == "__main__":
    main()
