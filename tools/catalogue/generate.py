#!/usr/bin/python3
"""Synthesise the built-in sound-effect catalogue.

Every sound is built from sox synthesis and espeak-ng speech, so the bundle
carries no third-party audio. The output is committed; run this only when a
recipe changes:

    /usr/bin/python3 tools/catalogue/generate.py [OUTPUT_DIR] [--cli QUELLIO_CLI]

OUTPUT_DIR defaults to resources/SoundEffects. It receives one <Base>.plist
per category plus a <Base>/ directory of FLAC files, and nothing else.
Every effect is brought to the same loudness by the program's own meter and
limiter through `quellio-cli normalise` (build it first; --cli or
$QUELLIO_CLI names it, else build/release or build/debug has it).
"""

import argparse
import concurrent.futures
import os
import plistlib
import random
import shutil
import subprocess
import sys
import tempfile
import zlib

RATE = 44100
# The plain "cmn" voice hands characters missing from its dictionary to the
# English reader, so "六" comes out as "l-i-u four". The pinyin variant of the
# same voice reads those fallbacks as Mandarin.
VOICE = "cmn-latn-pinyin"
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_OUT = os.path.join(REPO, "resources", "SoundEffects")
MIN_LEN, MAX_LEN = 0.3, 4.0
# Loudness every effect is brought to (LUFS): the default target of the
# user's own sounds, so built-in and recorded effects play alike.
TARGET_LUFS = -16

# Effects after which sox loses track of the stream length (see Studio.sox).
LENGTH_BREAKERS = {"reverb", "silence"}
# Every effect the recipes use, so Studio.sox can tell an effect from an
# argument when it splits a chain; add new ones here.
EFFECT_NAMES = {"bandpass", "bend", "chorus", "compand", "echo", "equalizer", "fade", "gain",
                "highpass", "lowpass", "overdrive", "pad", "pitch", "reverb", "reverse",
                "silence", "synth", "tempo", "tremolo", "trim", "vol"}


class RecipeError(RuntimeError):
    pass


# --------------------------------------------------------------------------
# Scratch-file studio: every helper returns the path of a new 32-bit float
# mono WAV at RATE, so recipes compose by passing paths around.
# --------------------------------------------------------------------------

class Studio:
    def __init__(self, workdir, banks, seed):
        self.dir = workdir
        self.banks = banks
        self.rng = random.Random(seed)
        self._count = 0

    def _new(self):
        self._count += 1
        return os.path.join(self.dir, "p%04d.wav" % self._count)

    @staticmethod
    def run(cmd):
        proc = subprocess.run([str(c) for c in cmd], capture_output=True, text=True)
        # A clipped intermediate is a recipe bug: the final normalisation
        # would hide the level but not the distortion.
        if proc.returncode != 0 or "clipped" in proc.stderr:
            raise RecipeError("%s\n%s" % (" ".join(map(str, cmd)), proc.stderr.strip()))
        return proc.stdout

    def sox(self, inputs, effects, out=None):
        out = out or self._new()
        effects = [str(e) for e in effects]
        # After reverb or silence, sox 14.4.2 misjudges the stream length
        # (reverb halves its estimate on mono), so a later "fade ... 0" or trim
        # cuts the sound short. Writing the file there and carrying on in a new
        # process lets sox read the true length from the header.
        for i, name in enumerate(effects):
            if name in LENGTH_BREAKERS:
                rest = [j for j in range(i + 1, len(effects)) if effects[j] in EFFECT_NAMES]
                if rest:
                    head = self.sox(inputs, effects[:rest[0]])
                    return self.sox([head], effects[rest[0]:], out)
        # -R seeds sox's generators so repeated runs give identical files.
        self.run(["sox", "-R", *inputs, "-r", RATE, "-c", 1, "-b", 32,
                  "-e", "floating-point", out, *effects])
        return out

    def tone(self, dur, *wave, fx=()):
        """synth DUR WAVE..., with headroom left for later effects."""
        return self.sox(["-n"], ["synth", dur, *wave, "gain", -14, *fx])

    def rest(self, dur):
        return self.sox(["-n"], ["trim", 0, dur])

    def noise(self, dur, colour="white", fx=()):
        """A fresh stretch of noise.

        Under -R every synth call yields the same noise samples, so claps and
        drum hits cut from separate calls would be identical; slicing one long
        bank at random offsets keeps them distinct and still repeatable.
        """
        bank, length = self.banks[colour]
        start = self.rng.uniform(0, length - dur - 0.01)
        return self.sox([bank], ["trim", "%.4f" % start, dur, *fx])

    def fx(self, src, *effects):
        return self.sox([src], effects)

    def concat(self, *srcs):
        return self.sox(list(srcs), [])

    def mix(self, *layers):
        """Mix (path, volume[, start_seconds]) layers into one file."""
        args = []
        for layer in layers:
            path, vol = layer[0], layer[1]
            start = layer[2] if len(layer) > 2 else 0
            if start > 0:
                path = self.fx(path, "pad", "%.4f" % start)
            args += ["-v", "%.4f" % vol, path]
        if len(layers) == 1:
            return self.sox(args, [])
        return self.sox(["-m", *args], [])

    def say(self, text, pitch=50, speed=175, variant="", fx=()):
        """Mandarin speech from espeak-ng with leading/trailing silence cut."""
        raw = self._new()
        self.run(["espeak-ng", "-v", VOICE + variant, "-p", pitch, "-s", speed,
                  "-w", raw, text])
        # The silence cuts land mid-waveform; short fades keep them click-free.
        trim = ["silence", 1, 0.01, "-45d", "reverse", "silence", 1, 0.01, "-45d", "reverse",
                "fade", "t", 0.004, 0, 0.02]
        return self.sox([raw], ["gain", -8, *trim, *fx])

    @staticmethod
    def length(path):
        return float(Studio.run(["soxi", "-D", path]))


def room(reverberance=50, damping=50, size=100, depth=100, predelay=0, wet=0, tail=0.4):
    """reverb that can ring out: sox's reverb keeps the input length, so
    without padding the tail is chopped off mid-decay."""
    return ["pad", 0, tail, "reverb", reverberance, damping, size, depth, predelay, wet]


def decay(dur, db):
    """Exponential fade of DB decibels across DUR seconds (a synth amod stage).

    The exp waveform with its peak at 0% of a cycle that lasts DUR is a clean
    exponential release, which sox's fade shapes cannot give.
    """
    return ["synth", "exp", "amod", "%.5f" % (1.0 / dur), 0, 0, 0, "%.2f" % (db / 2.0)]


BEND_RATE = 50
BEND_LAG = 0.021  # seconds bend delays its output by at BEND_RATE frames/s


def bend(*triples):
    """sox bend, realigned. bend's output lags by a frame and then starts with
    an abrupt edge no earlier fade can soften; padding and trimming by that
    lag keeps timing and lets later fades do their job."""
    return ["pad", 0, BEND_LAG, "bend", "-f", BEND_RATE, *triples, "trim", BEND_LAG]


def vibrato(dur, rate, cents, delay=0.0):
    """A bend effect wobbling pitch by +-CENTS at RATE Hz. (synth's fmod is
    phase modulation, far too shallow for an audible vibrato.)"""
    half = 1.0 / (2 * rate)
    steps = ["%.3f,%d,%.4f" % (delay, cents, half / 2)]
    sign = -1
    for _ in range(int((dur - delay) / half) - 1):
        steps.append("0,%d,%.4f" % (sign * 2 * cents, half))
        sign = -sign
    return bend(*steps)


def note_hz(name):
    """Frequency of a note name like 'C5' or 'F#3' (equal temperament)."""
    names = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}
    semis = names[name[0]]
    rest = name[1:]
    if rest[0] == "#":
        semis, rest = semis + 1, rest[1:]
    elif rest[0] == "b":
        semis, rest = semis - 1, rest[1:]
    semis += (int(rest) - 4) * 12
    return 440.0 * 2 ** (semis / 12.0)


# --------------------------------------------------------------------------
# Instruments shared by several recipes.
# --------------------------------------------------------------------------

def bell(s, freq, dur, db=60, bright=1.0):
    """Struck bell: slightly inharmonic partials, the upper ones dying sooner."""
    partials = [(1.0, 1.0), (2.01, 0.45 * bright), (3.0, 0.22 * bright),
                (4.17, 0.12 * bright), (5.43, 0.06 * bright)]
    layers = []
    for ratio, amp in partials:
        if freq * ratio > 18000:
            continue
        layers.append((s.tone(dur, "sine", "%.2f" % (freq * ratio),
                              fx=["fade", "h", 0.002, *decay(dur, db * ratio ** 0.6)]),
                       amp * 0.5))
    return s.mix(*layers)


def brass(s, note, dur, vib=True, bright=2600):
    """Section brass: detuned saws through a lowpass, soft attack, vibrato."""
    f = note_hz(note)
    layers = [(s.tone(dur, "sawtooth", "%.2f" % (f * d)), 0.3) for d in (1.0, 1.004, 0.996)]
    fx = ["lowpass", bright, "lowpass", bright * 1.5, "fade", "q", 0.03, dur, min(0.15, dur / 3)]
    if vib and dur > 0.5:
        fx = vibrato(dur, 5.5, 18, delay=0.25) + fx
    return s.fx(s.mix(*layers), *fx)


def chip(s, note, dur, wave="square", duty=50, release=0.01):
    """One 8-bit note: a raw oscillator with a click-free gate, its aliased
    top octave trimmed so it is bright rather than piercing."""
    f = note_hz(note) if isinstance(note, str) else note
    return s.tone(dur, wave, "%.2f" % f, 0, 0, duty,
                  fx=["lowpass", 9000, "fade", "t", 0.003, dur, release])


def snare(s, dur=0.18, tone_hz=190):
    wires = s.noise(dur, fx=["highpass", 1200, "lowpass", 9000, "fade", "t", 0.001, *decay(dur, 50)])
    body = s.tone(dur, "triangle", tone_hz, fx=["fade", "t", 0.001, *decay(dur, 70)])
    return s.mix((wires, 0.8), (body, 0.5))


def tom(s, hi=160, lo=90, dur=0.35):
    skin = s.tone(dur, "sine", "%d/%d" % (hi, lo), fx=["fade", "t", 0.002, *decay(dur, 45)])
    stick = s.noise(0.03, fx=["bandpass", hi * 6, "2o", *decay(0.03, 40)])
    return s.mix((skin, 0.9), (stick, 0.3))


def kick(s, dur=0.4):
    thump = s.tone(dur, "sine", "110/42", fx=["fade", "t", 0.002, *decay(dur, 50)])
    click = s.noise(0.015, fx=["lowpass", 3000, "fade", "t", 0.0005, 0.015, 0.012])
    return s.mix((thump, 0.9), (click, 0.25))


def cymbal(s, dur=1.6):
    """Crash: noise plus a cluster of inharmonic square waves, highpassed."""
    metal = [(s.tone(dur, "square", f), 0.12) for f in (205.3, 304.4, 369.6, 522.7, 540.0, 800.0)]
    ring = s.fx(s.mix(*metal), "highpass", 5500, "highpass", 5500)
    hiss = s.noise(dur, fx=["highpass", 4000])
    return s.fx(s.mix((ring, 0.6), (hiss, 0.5)), "fade", "t", 0.002, *decay(dur, 60))


def crowd_murmur(s, dur):
    """Unintelligible voiced room noise to sit under a crowd."""
    return s.noise(dur, "pink", fx=["bandpass", 500, "1.5o", "lowpass", 2500,
                                    "tremolo", 3.1, 30, "tremolo", 5.3, 20])


def claps(s, dur, people, rate=(3.4, 5.2), tail=1.0):
    """Applause as individual claps: every person has a hand resonance, a
    tempo and a moment to stop; random timing avoids a machine-gun sound."""
    tracks = []
    for _ in range(people):
        centre = s.rng.uniform(800, 2600)
        width = s.rng.uniform(0.7, 1.4)
        period = 1.0 / s.rng.uniform(*rate)
        loud = s.rng.uniform(0.35, 1.0)
        stop = dur - s.rng.uniform(0.05, tail)
        # A random phase within the first beat keeps hands from starting in
        # unison, which would pulse audibly for the first seconds.
        t = s.rng.uniform(0.0, period) + s.rng.uniform(0.0, 0.1)
        parts = [s.rest(t)] if t > 0.001 else []
        while t < stop:
            length = s.rng.uniform(0.04, 0.07)
            gap = max(0.0, period * s.rng.uniform(0.85, 1.15) - length)
            parts.append(s.noise(length, fx=[
                "bandpass", "%.0f" % centre, "%.2fo" % width, "highpass", 400,
                "fade", "t", 0.0015, *decay(length, 55),
                "vol", "%.3f" % (loud * s.rng.uniform(0.7, 1.0)),
                "pad", 0, "%.4f" % gap]))
            t += length + gap
        tracks.append(s.concat(*parts) if len(parts) > 1 else parts[0])
    vol = 1.6 / people ** 0.5
    mixed = s.mix(*[(tr, vol) for tr in tracks])
    return s.fx(mixed, "gain", -10, *room(35, 60, 50, 100, 10, -6), "trim", 0, dur)


def crowd_shouts(s, syllables, count, spread, dur, pitch=(55, 90), hold=1.0):
    """Many voices shouting short syllables at slightly different moments;
    HOLD > 1 drags each shout out, as a crowd's "woo" is held."""
    variants = ["", "+m1", "+m3", "+m7", "+f2", "+f3", "+f4", "+f5", "+klatt", "+Andy"]
    layers = []
    for i in range(count):
        word = s.rng.choice(syllables)
        voice = variants[i % len(variants)]
        drag = ["tempo", "-s", "%.2f" % (1.0 / (hold * s.rng.uniform(0.8, 1.2)))] if hold != 1.0 else []
        shout = s.say(word, pitch=s.rng.randint(*pitch), speed=s.rng.randint(120, 170),
                      variant=voice,
                      fx=[*drag, "pitch", s.rng.randint(-150, 250),
                          *bend("0,%d,0.25" % s.rng.randint(60, 250)), "fade", "t", 0.01, 0, 0.08])
        layers.append((shout, 0.35, s.rng.uniform(0, spread)))
    return s.fx(s.mix(*layers), "gain", -6, *room(50, 50, 80, 100, 15, -4), "trim", 0, dur)


def speech_fx(reverb=25, echo=None, chorus=False, tempo=1.0, pitch=0):
    """Broadcast-style polish for a call-out: tight, loud, a little room."""
    fx = ["highpass", 120, "equalizer", 3000, "1q", 3]
    if pitch:
        fx += ["pitch", pitch]
    if tempo != 1.0:
        fx += ["tempo", "-s", tempo]
    fx += ["compand", "0.005,0.12", "6:-40,-24,-20,-10,-6", -4, -30, 0.02]
    if chorus:
        fx += ["chorus", 0.7, 0.9, 55, 0.35, 0.25, 2, "-s"]
    if echo:
        fx += ["echo", 0.8, 0.8, echo, 0.3]
    fx += room(reverb, 50, 60, 100, 5, -4, tail=0.3)
    return fx


# --------------------------------------------------------------------------
# The catalogue. Each recipe returns a scratch WAV; the bundle writer does the
# final encode and normalisation.
# --------------------------------------------------------------------------

CATEGORIES = [
    # (base, Chinese title, English title)
    ("Cheers", "欢呼掌声", "Cheers"),
    ("Funny", "搞笑", "Funny"),
    ("Callouts", "口播喊麦", "Call-outs"),
    ("Alerts", "提示音", "Alerts"),
    ("Drama", "节奏氛围", "Drama"),
    ("Game", "游戏", "Game"),
]

# What an English interface shows for each effect (by file stem). The Chinese
# title stays the effect's name everywhere else: collections, hotkeys, D-Bus
# and statistics know it by that.
ENGLISH_TITLES = {
    "applause": "Applause", "cheering": "Cheering", "bravo": "Bravo", "wow": "Wow",
    "whistle": "Whistle", "fanfare": "Fanfare", "party_horn": "Party horn", "yeah": "Yay",
    "laugh": "Big laugh", "rimshot": "Rimshot", "crickets": "Awkward",
    "sad_trombone": "Sad trombone", "boing": "Boing", "slide_whistle": "Slide whistle",
    "fall": "Fall", "clown_horn": "Clown horn", "kiss": "Kiss", "pop": "Pop",
    "six_six_six": "666", "thanks_buddy": "Thanks, bro", "welcome": "Welcome!",
    "double_tap_follow": "Tap to follow", "thanks_gift": "Thanks for the gift",
    "go_streamer": "Go, streamer!", "here_bro": "Hey, bro", "arrange": "On it",
    "no_problem": "No problem, bro", "mwah": "Mwah",
    "ding": "Ding", "correct": "Correct", "buzzer": "Wrong", "doorbell": "Doorbell",
    "countdown": "Countdown", "message": "New message", "cash_register": "Cha-ching",
    "clock": "Tick-tock", "alarm": "Alarm",
    "drumroll": "Drumroll", "suspense": "Suspense", "dun_dun": "Shock", "heartbeat": "Heartbeat",
    "thunder": "Thunder", "whoosh": "Whoosh", "impact": "Impact", "spooky": "Spooky",
    "coin": "Coin", "level_up": "Level up", "jump": "Jump", "power_up": "Power-up",
    "game_over": "Game over", "laser": "Laser", "explosion": "Explosion", "victory": "Victory",
    "hurt": "Hurt",
}

RECIPES = []  # (base, file stem, title, function)


def recipe(base, stem, title):
    def register(fn):
        RECIPES.append((base, stem, title, fn))
        return fn
    return register


# ---- Cheers ---------------------------------------------------------------

@recipe("Cheers", "applause", "掌声")
def applause(s):
    return s.fx(claps(s, 3.6, 36), "fade", "q", 0.08, 0, 0.6)


@recipe("Cheers", "cheering", "欢呼")
def cheering(s):
    shouts = crowd_shouts(s, ["wu1", "ye2", "wa1", "o1", "wu1 wu1"], 26, 2.2, 3.4, hold=1.8)
    hands = claps(s, 3.4, 16, tail=0.8)
    murmur = crowd_murmur(s, 3.4)
    mix = s.mix((shouts, 0.9), (hands, 0.45), (murmur, 0.25))
    return s.fx(mix, "fade", "q", 0.05, 0, 0.9)


@recipe("Cheers", "bravo", "叫好")
def bravo(s):
    first = crowd_shouts(s, ["hao3"], 12, 0.12, 1.1, pitch=(50, 80))
    second = crowd_shouts(s, ["hao3"], 12, 0.12, 1.6, pitch=(55, 85))
    hands = claps(s, 2.6, 12, tail=0.6)
    return s.fx(s.mix((first, 0.8), (second, 0.9, 0.75), (hands, 0.35, 0.2)),
                "fade", "q", 0.01, 0, 0.6)


@recipe("Cheers", "wow", "哇哦")
def wow(s):
    voices = []
    variants = ["", "+m3", "+f2", "+f4", "+m7", "+klatt", "+f5", "+m1"]
    for v in variants:
        word = s.say("wa1 o4", pitch=s.rng.randint(45, 80), speed=95, variant=v,
                     fx=bend("0.05,%d,0.3" % s.rng.randint(150, 350),
                            "0.1,-%d,0.5" % s.rng.randint(300, 500)))
        voices.append((word, 0.3, s.rng.uniform(0, 0.15)))
    return s.fx(s.mix(*voices), "gain", -4, *room(55, 50, 90, 100, 20, -3), "fade", "q", 0.01, 0, 0.3)


@recipe("Cheers", "whistle", "口哨")
def whistle(s):
    # Wolf whistle: a quick rise, a breath, then rise-and-long-fall.
    up = s.tone(0.3, "sine", 1500, fx=[*bend("0.02,1150,0.22"), "fade", "h", 0.04, 0.3, 0.06])
    swoop = s.tone(0.85, "sine", 1400, fx=[*bend("0.0,1250,0.16", "0.05,-1650,0.6"),
                                             "fade", "h", 0.05, 0.85, 0.25])
    tone = s.concat(up, s.rest(0.12), swoop)
    length = Studio.length(tone)
    breath = s.noise(length, fx=["bandpass", 2400, "1o", "gain", -26, "fade", "q", 0.05, length, 0.2])
    return s.fx(s.mix((tone, 0.8), (breath, 0.5)), *room(20, 50, 40))


@recipe("Cheers", "fanfare", "胜利号角")
def fanfare(s):
    # Original triplet call landing on a sustained major chord.
    hits = []
    for i, (n, t) in enumerate([("G4", 0.0), ("G4", 0.16), ("G4", 0.32), ("C5", 0.48)]):
        hits.append((brass(s, n, 0.14 if i < 3 else 0.3, vib=False), 0.5, t))
    for n in ("C5", "E5", "G5", "C4"):
        hits.append((brass(s, n, 1.9), 0.35, 0.85))
    roll = s.fx(s.concat(*[snare(s, 0.06) for _ in range(12)]), "gain", -14)
    hits.append((cymbal(s, 1.8), 0.12, 0.85))
    hits.append((roll, 0.25, 0.0))
    return s.fx(s.mix(*hits), "gain", -3, *room(45, 40, 90, 100, 10, -5), "fade", "q", 0.005, 0, 0.4)


@recipe("Cheers", "party_horn", "派对喇叭")
def party_horn(s):
    # Paper party blower: reedy, buzzy, pitch sagging then bursting upwards.
    reed = s.tone(1.3, "sawtooth", 392, fx=[*bend("0.0,-120,0.15", "0.5,420,0.1"),
                                              "tremolo", 28, 35, "overdrive", 12, "gain", -10,
                                              "bandpass", 1400, "1.8o", "fade", "t", 0.04, 1.3, 0.12])
    puff = s.noise(0.1, fx=["bandpass", 1500, "1o", "fade", "t", 0.01, 0.1, 0.06])
    return s.mix((puff, 0.3), (reed, 0.8, 0.03))


@recipe("Cheers", "yeah", "好耶")
def yeah(s):
    lead = s.say("hao3 ye2", pitch=85, speed=160, variant="+f3",
                 fx=speech_fx(reverb=30, pitch=150))
    crowd = crowd_shouts(s, ["ye2", "hao3 ye2"], 10, 0.25, 1.8)
    return s.fx(s.mix((lead, 0.7), (crowd, 0.6, 0.35)), "fade", "q", 0.005, 0, 0.3)


# ---- Funny ----------------------------------------------------------------

@recipe("Funny", "laugh", "哈哈大笑")
def laugh(s):
    # A laugh track: several speakers, each "ha" train sagging in pitch.
    people = [("", 70, 250), ("+m3", 55, 270), ("+f3", 85, 260), ("+m7", 45, 230),
              ("+f4", 90, 280), ("+klatt", 60, 240)]
    layers = []
    for voice, pitch, speed in people:
        text = " ".join(["ha1"] * s.rng.randint(8, 11))
        laugh_ = s.say(text, pitch=pitch, speed=speed, variant=voice,
                       fx=[*bend("0.1,200,0.2", "0.3,-500,1.5"), "tremolo", 9, 25])
        layers.append((laugh_, 0.35, s.rng.uniform(0, 0.35)))
    return s.fx(s.mix(*layers), "gain", -4, *room(40, 50, 70, 100, 10, -6),
                "trim", 0, 3.0, "fade", "q", 0.01, 0, 0.6)


@recipe("Funny", "rimshot", "咚咚嚓")
def rimshot(s):
    # "ba-dum-tss" after a bad joke.
    return s.fx(s.mix((snare(s, 0.2, 220), 0.6, 0.0),
                      (tom(s, 170, 110), 1.0, 0.18),
                      (kick(s), 0.5, 0.46),
                      (snare(s, 0.2, 220), 0.35, 0.46),
                      (cymbal(s, 1.5), 0.45, 0.46)),
                "gain", -3, *room(20, 50, 30))


@recipe("Funny", "crickets", "尴尬了")
def crickets(s):
    # Awkward silence: a near-empty room with two crickets chirping.
    def cricket(freq, every, count, offset):
        chirps = []
        for i in range(count):
            pulses = s.tone(0.16, "sine", freq, fx=[
                # Two sine gates in series give rounded pulses; a square gate
                # would click at every edge.
                "synth", "sine", "amod", 26, "synth", "sine", "amod", 26,
                "fade", "t", 0.005, 0.16, 0.03])
            chirps.append((pulses, 0.5 * s.rng.uniform(0.75, 1.0), offset + i * every))
        return s.mix(*chirps)
    night = s.noise(3.6, "brown", fx=["lowpass", 400, "gain", -30])
    one = cricket(4600, 0.62, 6, 0.25)
    two = cricket(4150, 0.83, 4, 0.6)
    return s.fx(s.mix((night, 0.4), (one, 0.6), (two, 0.35)), *room(15, 50, 30),
                "trim", 0, 3.6, "fade", "q", 0.2, 0, 0.4)


@recipe("Funny", "sad_trombone", "悲伤长号")
def sad_trombone(s):
    # Four falling "wah" notes, the last one long and wobbling.
    notes = [("D4", 0.0, 0.42), ("C#4", 0.48, 0.42), ("C4", 0.96, 0.42), ("B3", 1.44, 1.6)]
    parts = []
    for i, (n, t, d) in enumerate(notes):
        fx = bend("0,-60,0.05", "0,60,0.07")
        if i == 3:
            fx += vibrato(d, 6, 45, delay=0.3)
        horn = s.tone(d, "sawtooth", "%.2f" % note_hz(n), fx=fx + [
            "lowpass", 1200, "lowpass", 1800,
            # The plunger mute: a narrow band keeps the tone nasal and muffled.
            "bandpass", 700, "2o", "fade", "q", 0.04, d, 0.12 if i < 3 else 0.5])
        parts.append((horn, 0.6, t))
    return s.fx(s.mix(*parts), "gain", -2, *room(30, 50, 50))


@recipe("Funny", "boing", "弹簧")
def boing(s):
    # A spring: pitch rising with a fast, decaying wobble.
    dur = 1.1
    spring = s.tone(dur, "triangle", 170, fx=[
        *bend("0,700,0.12"), *vibrato(dur, 13, 120, delay=0.12),
        "fade", "t", 0.005, dur, 0.02, *decay(dur, 40)])
    return s.fx(spring, "lowpass", 3000)


@recipe("Funny", "slide_whistle", "滑哨")
def slide_whistle(s):
    # Up and back down in one breath, with the player's slight waver.
    dur = 1.45
    tone = s.tone(dur, "sine", 600, fx=[*bend("0,2000,0.5", "0.05,-2300,0.8"), *vibrato(dur, 7, 15),
                                        "fade", "h", 0.03, dur, 0.2])
    breath = s.noise(dur, fx=["highpass", 1500, "gain", -30, "fade", "q", 0.03, dur, 0.2])
    return s.fx(s.mix((tone, 0.8), (breath, 0.4)), "overdrive", 3, "gain", -10, *room(15))


@recipe("Funny", "fall", "摔倒")
def fall(s):
    # Cartoon fall: long descending whistle, then a thud and a rattle.
    drop = s.tone(1.3, "sine", 2200, fx=[*bend("0,-2600,1.25"), *vibrato(1.3, 8, 20),
                                         "fade", "h", 0.02, 1.3, 0.05])
    thud = s.mix((kick(s, 0.5), 1.0), (s.noise(0.3, "brown", fx=["lowpass", 600, *decay(0.3, 40)]), 0.8))
    rattle = s.concat(*[s.noise(0.05, fx=["bandpass", s.rng.randint(1500, 3500), "1o",
                                           *decay(0.05, 40), "vol", 0.6 ** i, "pad", 0, 0.04 * (1 + i * 0.3)])
                        for i in range(5)])
    return s.fx(s.mix((drop, 0.5), (thud, 0.9, 1.32), (rattle, 0.4, 1.4)), *room(20))


@recipe("Funny", "clown_horn", "小丑喇叭")
def clown_horn(s):
    # Bulb horn: two squeezes, honky and nasal.
    def honk(d):
        return s.tone(d, "square", 330, 0, 0, 30, fx=[
            *bend("0,180,0.04"), "overdrive", 10, "gain", -10, "bandpass", 1100, "2o",
            "lowpass", 4500, "fade", "t", 0.01, d, 0.05])
    return s.fx(s.mix((honk(0.28), 0.7), (honk(0.45), 0.7, 0.38)), *room(15))


@recipe("Funny", "kiss", "亲一个")
def kiss(s):
    def smack():
        lips = s.noise(0.09, fx=["bandpass", 1800, "1.5o", "fade", "t", 0.012, 0.09, 0.07])
        pop = s.tone(0.04, "sine", "300/900", fx=["fade", "t", 0.002, 0.04, 0.03])
        return s.mix((lips, 0.7), (pop, 0.4, 0.045))
    mwah = s.say("mua1", pitch=80, speed=120, variant="+f3",
                 fx=["pitch", 250, *bend("0.05,200,0.2"), "fade", "t", 0.005, 0, 0.1])
    return s.fx(s.mix((smack(), 0.8), (smack(), 0.8, 0.42), (mwah, 0.5, 0.5)),
                *room(20))


@recipe("Funny", "pop", "啵")
def pop(s):
    # Bubble pops, slightly detuned so they do not sound cloned.
    layers = []
    for i, (f1, f2, t) in enumerate([(380, 1500, 0.0), (430, 1700, 0.18), (360, 1400, 0.42)]):
        bub = s.tone(0.06, "sine", "%d/%d" % (f1, f2), fx=["fade", "t", 0.001, 0.06, 0.04])
        layers.append((bub, 0.6 if i < 2 else 0.8, t))
    return s.fx(s.mix(*layers), *room(10))


# ---- Callouts -------------------------------------------------------------

def callout(stem, title, text, voice_pitch=68, speed=190, variant="", **polish):
    @recipe("Callouts", stem, title)
    def make(s):
        return s.say(text, pitch=voice_pitch, speed=speed, variant=variant, fx=speech_fx(**polish))
    return make


# Pinyin where the slang reading differs from the dictionary's: "666" would be
# read as a number (liu bai liu shi liu), and "么么哒" is said on level tones
# rather than the dictionary's neutral ones.
callout("six_six_six", "666", "liu4 liu4 liu4", 75, 175, "+m3", echo=110, tempo=1.05)
callout("thanks_buddy", "谢谢老铁", "谢谢老铁", 70, 200, "+m1", reverb=25)
callout("welcome", "欢迎新朋友", "欢迎新朋友", 72, 195, "+f3", reverb=30)
callout("double_tap_follow", "双击关注", "双击关注", 70, 205, "+f4", chorus=True)
callout("thanks_gift", "感谢礼物", "感谢礼物", 74, 195, "+f2", reverb=35)
callout("go_streamer", "主播加油", "主播加油", 78, 200, "+m7", echo=90)
callout("here_bro", "来了老弟", "来了老弟", 60, 185, "+m3", reverb=30)
callout("arrange", "安排", "安排", 65, 150, "", echo=140, pitch=-100)
callout("no_problem", "老铁没毛病", "老铁没毛病", 70, 200, "+m1", chorus=True)
callout("mwah", "么么哒", "me1 me1 da1", 90, 185, "+f5", pitch=200)


# ---- Alerts ---------------------------------------------------------------

@recipe("Alerts", "ding", "叮")
def ding(s):
    return s.fx(bell(s, note_hz("E6"), 1.6, db=55), *room(20, 50, 40))


@recipe("Alerts", "correct", "答对了")
def correct(s):
    # Quiz-show "right": a bright rising pair with a sparkle on top.
    low = bell(s, note_hz("C6"), 0.9, db=50)
    high = bell(s, note_hz("G6"), 1.3, db=50)
    sparkle = s.concat(*[chip(s, n, 0.05, wave="triangle") for n in ("C7", "E7", "G7", "C8")])
    return s.fx(s.mix((low, 0.6), (high, 0.6, 0.14), (sparkle, 0.15, 0.28)), *room(25))


@recipe("Alerts", "buzzer", "答错了")
def buzzer(s):
    # Game-show "wrong": two beating low squares, overdriven.
    a = s.tone(0.85, "square", 98)
    b = s.tone(0.85, "sawtooth", 104)
    return s.fx(s.mix((a, 0.5), (b, 0.5)), "overdrive", 15, "gain", -10, "lowpass", 2500,
                "fade", "t", 0.01, 0.85, 0.04)


@recipe("Alerts", "doorbell", "门铃")
def doorbell(s):
    ding_ = bell(s, note_hz("E5"), 1.2, db=40, bright=0.5)
    dong = bell(s, note_hz("C5"), 1.8, db=45, bright=0.5)
    return s.fx(s.mix((ding_, 0.6), (dong, 0.6, 0.55)), *room(35, 50, 60))


@recipe("Alerts", "countdown", "倒计时")
def countdown(s):
    beeps = [(chip(s, 1000, 0.14, wave="sine", release=0.02), 0.6, t) for t in (0.0, 0.9, 1.8)]
    beeps.append((chip(s, 2000, 0.7, wave="sine", release=0.1), 0.6, 2.7))
    return s.fx(s.mix(*beeps), *room(10))


@recipe("Alerts", "message", "新消息")
def message(s):
    blip = s.tone(0.07, "sine", "700/1300", fx=["fade", "t", 0.003, 0.07, 0.02])
    chime = bell(s, note_hz("A6"), 0.6, db=45, bright=0.6)
    return s.fx(s.mix((blip, 0.5), (chime, 0.6, 0.09)), *room(15))


@recipe("Alerts", "cash_register", "收钱啦")
def cash_register(s):
    # "Ka-ching": key clacks, the bell, then the drawer rolling out and a thunk.
    clacks = s.concat(*[s.noise(0.03, fx=["bandpass", 2500, "1o", *decay(0.03, 40), "pad", 0, 0.05])
                        for _ in range(3)])
    ching = s.mix((bell(s, note_hz("E7"), 1.5, db=45), 0.5),
                  (bell(s, note_hz("B7") * 1.01, 1.5, db=50), 0.3, 0.01))
    roll = s.noise(0.45, "brown", fx=["bandpass", 500, "1o", "tremolo", 40, 60,
                                      "fade", "t", 0.05, 0.45, 0.08])
    thunk = s.mix((kick(s, 0.25), 0.7), (s.noise(0.06, fx=["bandpass", 1200, "1o", *decay(0.06, 40)]), 0.5))
    return s.fx(s.mix((clacks, 0.5), (ching, 0.7, 0.2), (roll, 0.35, 0.35), (thunk, 0.5, 0.82)),
                *room(20))


@recipe("Alerts", "clock", "滴答")
def clock(s):
    ticks = []
    for i in range(7):
        hz = 3200 if i % 2 == 0 else 2200
        click = s.noise(0.03, fx=["bandpass", hz, "0.8o", *decay(0.03, 50)])
        ring = s.tone(0.05, "sine", hz * 0.6, fx=decay(0.05, 60))
        ticks.append((s.mix((click, 0.8), (ring, 0.3)), 0.8, i * 0.5))
    return s.fx(s.mix(*ticks), *room(15))


@recipe("Alerts", "alarm", "警报")
def alarm(s):
    # Rising-and-falling electronic siren.
    dur = 3.0
    steps = ["0,1100,0.45", "0.05,-1100,0.25"] * 4
    siren = s.tone(dur, "square", 620, 0, 0, 40, fx=[*bend(*steps), "lowpass", 3500,
                                                       "fade", "t", 0.02, dur, 0.1])
    return s.fx(siren, *room(10))


# ---- Drama / atmosphere ---------------------------------------------------

@recipe("Drama", "drumroll", "击鼓")
def drumroll(s):
    # Snare roll speeding up and swelling, then the crash.
    hits, t, roll_len = [], 0.0, 2.0
    while t < roll_len:
        frac = t / roll_len
        gap = 0.075 - 0.04 * frac
        hit = snare(s, 0.12, s.rng.choice((185, 195, 205)))
        hits.append(s.fx(hit, "vol", "%.3f" % ((0.15 + 0.85 * frac ** 1.5) * s.rng.uniform(0.8, 1.0)),
                         "trim", 0, "%.4f" % gap))
        t += gap
    roll = s.concat(*hits)
    ending = s.mix((cymbal(s, 1.4), 0.8), (kick(s), 0.7), (snare(s, 0.2), 0.5))
    return s.fx(s.mix((roll, 0.6), (ending, 0.7, t)), "gain", -3, *room(25, 50, 50))


@recipe("Drama", "suspense", "悬疑")
def suspense(s):
    # Tremolo string cluster creeping up, cut by a low stab.
    dur = 3.2
    voices = [(s.tone(dur, "sawtooth", "%.2f" % note_hz(n), fx=vibrato(dur, 5, 10)), 0.25)
              for n in ("C3", "C#3", "G3", "F#4")]
    strings = s.fx(s.mix(*voices), "lowpass", 2000, "tremolo", 13, 70,
                   "fade", "t", 2.4, dur, 0.6)
    stab = s.mix((brass(s, "C2", 0.6, vib=False), 0.6), (tom(s, 90, 45, 0.6), 0.7))
    return s.fx(s.mix((strings, 0.7), (stab, 0.8, 2.6)), "gain", -3, *room(50, 50, 90),
                "trim", 0, 3.8)


@recipe("Drama", "dun_dun", "震惊")
def dun_dun(s):
    # Dramatic "dun, dun, duuun" with timpani under the brass.
    parts = []
    for n, t, d in (("D3", 0.0, 0.3), ("F3", 0.42, 0.3), ("C#3", 0.84, 2.0)):
        horn = s.mix((brass(s, n, d, bright=1500), 0.5),
                     (brass(s, n[:-1] + str(int(n[-1]) + 1), d, bright=2500), 0.3))
        parts.append((horn, 0.6, t))
        parts.append((tom(s, 110, 70, 0.6), 0.7, t))
    return s.fx(s.mix(*parts), "gain", -3, *room(50, 50, 90), "fade", "q", 0.01, 0, 0.6)


@recipe("Drama", "heartbeat", "心跳")
def heartbeat(s):
    # "Lub-dub" thumps; the overdrive adds the harmonics that let a 50-90 Hz
    # beat be heard on phone and laptop speakers.
    beats = []
    for i in range(4):
        t = i * 0.85
        beats.append((s.tone(0.16, "sine", "90/50", fx=["fade", "t", 0.01, *decay(0.16, 40)]), 0.8, t))
        beats.append((s.tone(0.14, "sine", "80/45", fx=["fade", "t", 0.01, *decay(0.14, 40)]), 0.6, t + 0.26))
    return s.fx(s.mix(*beats), "lowpass", 200, "overdrive", 12, "gain", -10, "lowpass", 700, "pad", 0, 0.2)


@recipe("Drama", "thunder", "雷声")
def thunder(s):
    # A close crack, then overlapping rumbles rolling away and darkening.
    crack = s.mix((s.noise(0.7, fx=["lowpass", 7000, *decay(0.7, 50)]), 0.5),
                  (s.noise(0.9, "brown", fx=["lowpass", 2500, *decay(0.9, 40)]), 0.8))
    layers = [(s.fx(crack, "overdrive", 8, "gain", -10), 0.9, 0.05)]
    for i in range(6):
        d = s.rng.uniform(1.2, 2.2)
        cutoff = 1100 * 0.75 ** i
        rumble = s.noise(d, "brown", fx=["lowpass", "%.0f" % cutoff, "lowpass", "%.0f" % (cutoff * 1.5),
                                         "tremolo", "%.2f" % s.rng.uniform(3, 8), 60,
                                         "fade", "h", 0.2, d, d * 0.7])
        layers.append((rumble, 0.8 * 0.82 ** i, 0.15 + i * 0.3 + s.rng.uniform(0, 0.15)))
    return s.fx(s.mix(*layers), "gain", -3, *room(60, 40, 100), "trim", 0, 3.8,
                "fade", "q", 0.002, 0, 1.0)


@recipe("Drama", "whoosh", "嗖")
def whoosh(s):
    # sox cannot sweep a filter, so low-passed noise is ring-modulated by a
    # gliding sine instead: the noise band rides up as it approaches and
    # drops as it passes, like air displaced by something swung past.
    def band(dur, sweep):
        noise = s.noise(dur, "pink", fx=["lowpass", 500, "lowpass", 500, "gain", 6])
        return s.fx(noise, "synth", dur, "sine", "amod", sweep, "highpass", 200)
    approach = s.fx(band(0.6, "350/1900"), "fade", "h", 0.54, 0.6, 0.06)
    recede = s.fx(band(0.45, "1900/450"), "fade", "h", 0.06, 0.45, 0.38)
    air = s.noise(1.0, fx=["highpass", 2500, "fade", "h", 0.55, 1.0, 0.4, "gain", -20])
    return s.fx(s.mix((approach, 0.7), (recede, 0.7, 0.54), (air, 0.4)), *room(20, 50, 40))


@recipe("Drama", "impact", "重磅")
def impact(s):
    # Reverse-swell riser slamming into a sub boom.
    riser = s.noise(1.2, fx=["highpass", 800, *decay(1.2, 40), "reverse", "fade", "t", 0, 1.2, 0.01])
    boom = s.tone(2.4, "sine", "90/30", fx=["fade", "t", 0.002, *decay(2.4, 40)])
    crunch = s.noise(0.4, "brown", fx=["lowpass", 1200, *decay(0.4, 40)])
    return s.fx(s.mix((riser, 0.5), (boom, 0.9, 1.2), (crunch, 0.6, 1.2)),
                "overdrive", 3, "gain", -10, *room(50, 50, 100), "trim", 0, 3.7)


@recipe("Drama", "spooky", "恐怖")
def spooky(s):
    # Theremin-like ghost gliding over a dark drone.
    dur = 3.4
    ghost = s.tone(dur, "sine", "%.2f" % note_hz("E5"), fx=[
        *bend("0.2,-300,0.5", "0.2,500,0.6", "0.2,-800,0.8"), *vibrato(dur, 6, 25),
        "fade", "q", 0.4, dur, 0.8])
    drone = s.mix((s.tone(dur, "sawtooth", "%.2f" % note_hz("E2")), 0.4),
                  (s.tone(dur, "sawtooth", "%.2f" % (note_hz("F2") * 1.003)), 0.4))
    drone = s.fx(drone, "lowpass", 500, "tremolo", 0.7, 40, "fade", "q", 0.8, dur, 0.8)
    return s.fx(s.mix((ghost, 0.5), (drone, 0.5)), *room(80, 30, 100))


# ---- Game -----------------------------------------------------------------

@recipe("Game", "coin", "金币")
def coin(s):
    return s.concat(chip(s, "A5", 0.07, duty=25), chip(s, "E6", 0.45, duty=25, release=0.4))


@recipe("Game", "level_up", "升级")
def level_up(s):
    notes = ["C5", "E5", "G5", "C6", "E5", "G5", "C6", "E6", "G5", "C6", "E6", "G6"]
    run = [chip(s, n, 0.07, duty=25) for n in notes]
    final = chip(s, "C7", 0.5, duty=25, release=0.35)
    return s.fx(s.concat(*run, final), "echo", 0.8, 0.7, 90, 0.25)


@recipe("Game", "jump", "跳跃")
def jump(s):
    return s.tone(0.35, "square", "220/880", 0, 0, 25, fx=["fade", "t", 0.003, 0.35, 0.12])


@recipe("Game", "power_up", "能量")
def power_up(s):
    # Fast rising arpeggio climbing the scale, with an 8-bit tremolo.
    steps = []
    for octave in (4, 5, 6):
        for n in ("C", "E", "G", "B"):
            wave = "triangle" if octave == 4 else "square"
            steps.append(chip(s, "%s%d" % (n, octave), 0.05, wave=wave, duty=25))
    return s.fx(s.concat(*steps, chip(s, "C7", 0.3, duty=25, release=0.25)), "tremolo", 24, 30)


@recipe("Game", "game_over", "游戏结束")
def game_over(s):
    notes = [("G4", 0.25), ("E4", 0.25), ("C4", 0.25), ("D4", 0.18), ("C#4", 0.18), ("C4", 0.9)]
    seq = [chip(s, n, d, duty=50, release=0.06 if d < 0.5 else 0.5) for n, d in notes]
    last = s.fx(seq[-1], *vibrato(0.9, 6, 40, delay=0.2))
    return s.fx(s.concat(*seq[:-1], last), "lowpass", 5000)


@recipe("Game", "laser", "激光")
def laser(s):
    # "-" rather than "/": sox 14.4.2 renders a falling "/" sweep of any wave
    # but sine as a flat DC level.
    pew = s.tone(0.22, "sawtooth", "1800-180", fx=["fade", "t", 0.002, 0.22, 0.08])
    return s.fx(s.mix((pew, 0.6), (pew, 0.35, 0.12)), "lowpass", 6000, "echo", 0.8, 0.6, 60, 0.3)


@recipe("Game", "explosion", "爆炸")
def explosion(s):
    blast = s.noise(2.0, fx=["lowpass", 1800, "overdrive", 20, "gain", -10, *decay(2.0, 45)])
    sub = s.tone(1.2, "sine", "70/30", fx=decay(1.2, 35))
    debris = s.noise(1.5, "brown", fx=["lowpass", 600, "tremolo", 11, 60, *decay(1.5, 35)])
    return s.fx(s.mix((blast, 0.5), (sub, 0.8), (debris, 0.4, 0.2)), *room(40, 50, 80),
                "trim", 0, 2.8, "fade", "q", 0.001, 0, 0.8)


@recipe("Game", "victory", "通关")
def victory(s):
    melody = [("G4", 0.11), ("C5", 0.11), ("E5", 0.11), ("G5", 0.22), ("E5", 0.11), ("G5", 0.75)]
    lead = s.concat(*[chip(s, n, d, duty=25, release=0.02 if d < 0.5 else 0.4) for n, d in melody])
    bass = s.concat(*[chip(s, n, d, wave="triangle", release=0.02 if d < 0.5 else 0.4)
                      for n, d in (("C3", 0.44), ("G2", 0.33), ("C3", 0.75))])
    return s.fx(s.mix((lead, 0.5), (bass, 0.6)), "echo", 0.8, 0.6, 120, 0.2)


@recipe("Game", "hurt", "受伤")
def hurt(s):
    zap = s.tone(0.25, "square", "600-150", 0, 0, 50,  # "-": see laser()
                 fx=["tremolo", 30, 80, "fade", "t", 0.002, 0.25, 0.05])
    hit = s.noise(0.12, fx=["lowpass", 3000, *decay(0.12, 40)])
    return s.fx(s.mix((hit, 0.6), (zap, 0.5, 0.02)), "pad", 0, 0.1)


# --------------------------------------------------------------------------
# Bundle writer
# --------------------------------------------------------------------------

def make_banks(workdir):
    """Long noise recordings that Studio.noise slices from."""
    banks = {}
    for colour in ("white", "pink", "brown"):
        path = os.path.join(workdir, "bank-%s.wav" % colour)
        Studio.run(["sox", "-R", "-r", RATE, "-c", 1, "-n", "-b", 32, "-e", "floating-point",
                    path, "synth", 30, colour + "noise", "gain", -8])
        banks[colour] = (path, 30.0)
    return banks


def find_cli(given):
    named = given or os.environ.get("QUELLIO_CLI")
    candidates = [named] if named else [
        os.path.join(REPO, "build", preset, "tools", "quellio-cli") for preset in ("release", "debug")]
    for path in candidates:
        if os.path.isfile(path) and os.access(path, os.X_OK):
            return path
    sys.exit("generate.py: quellio-cli not found; build it or pass --cli")


def render(entry, out_dir, scratch, banks, cli):
    base, stem, title, fn = entry
    work = tempfile.mkdtemp(prefix="%s-%s-" % (base, stem), dir=scratch)
    # Seed from the name so one recipe's randomness doesn't depend on the others.
    studio = Studio(work, banks, zlib.crc32(("%s/%s" % (base, stem)).encode()))
    raw = fn(studio)
    dest = os.path.join(out_dir, base, stem + ".flac")
    # Headroom for the DC-blocking highpass; then the program brings the
    # effect to the target loudness (limiting peaks rather than clipping them)
    # and only the last step rounds to 16 bits.
    filtered = os.path.join(work, "filtered.wav")
    normalised = os.path.join(work, "normalised.wav")
    Studio.run(["sox", "-R", raw, "-r", RATE, "-c", 1, "-b", 32, "-e", "floating-point", filtered,
                "gain", -10, "highpass", 20])
    Studio.run([cli, "normalise", filtered, normalised, "--target", TARGET_LUFS])
    Studio.run(["sox", "-R", normalised, "-b", 16, "-C", 8, dest])
    length = Studio.length(dest)
    if not MIN_LEN <= length <= MAX_LEN:
        raise RecipeError("%s: %.2f s is outside %.1f-%.1f s" % (dest, length, MIN_LEN, MAX_LEN))
    shutil.rmtree(work)
    return dest, length


def write_plists(out_dir, entries):
    for index, (base, category, english) in enumerate(CATEGORIES, start=1):
        items = [{"fileName": stem + ".flac", "title": title, "englishTitle": ENGLISH_TITLES[stem]}
                 for b, stem, title, _ in entries if b == base]
        with open(os.path.join(out_dir, base + ".plist"), "wb") as fp:
            plistlib.dump({"category": category, "englishCategory": english, "index": index,
                           "list": items}, fp, fmt=plistlib.FMT_XML)


def is_bundle_entry(root, name):
    """A category plist, or a folder holding nothing but audio files."""
    path = os.path.join(root, name)
    if os.path.isdir(path) and not os.path.islink(path):
        return all(f.endswith((".flac", ".ogg")) and os.path.isfile(os.path.join(path, f))
                   for f in os.listdir(path))
    return name.endswith(".plist") and os.path.isfile(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out_dir", nargs="?", default=DEFAULT_OUT)
    parser.add_argument("--only", action="append", metavar="STEM",
                        help="re-render just these effects (file stem); may repeat")
    parser.add_argument("-j", "--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--cli", help="the quellio-cli to normalise with")
    parser.add_argument("--plists-only", action="store_true",
                        help="rewrite the property lists (titles) and leave the sounds as they are")
    args = parser.parse_args()
    missing = [stem for _, stem, _, _ in RECIPES if stem not in ENGLISH_TITLES]
    if missing:
        sys.exit("generate.py: no English title for %s" % ", ".join(missing))
    if args.plists_only:
        write_plists(os.path.abspath(args.out_dir), RECIPES)
        return
    cli = find_cli(args.cli)

    for tool in ("sox", "soxi", "espeak-ng"):
        if shutil.which(tool) is None:
            sys.exit("generate.py: %s is not installed" % tool)

    selected = [r for r in RECIPES if not args.only or r[1] in args.only]
    if args.only and len(selected) != len(set(args.only)):
        sys.exit("generate.py: unknown effect in --only %s" % args.only)

    out_dir = os.path.abspath(args.out_dir)
    os.makedirs(out_dir, exist_ok=True)
    if not args.only:
        # The directory is wholly generated and stale entries would be shipped,
        # so it is emptied first - but only if it holds nothing but a bundle,
        # so a mistyped path cannot wipe anything else.
        foreign = [name for name in os.listdir(out_dir) if not is_bundle_entry(out_dir, name)]
        if foreign:
            sys.exit("generate.py: %s holds more than a sound bundle (%s); refusing to clear it"
                     % (out_dir, ", ".join(sorted(foreign)[:5])))
        for name in os.listdir(out_dir):
            path = os.path.join(out_dir, name)
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    for base, _, _ in CATEGORIES:
        os.makedirs(os.path.join(out_dir, base), exist_ok=True)

    with tempfile.TemporaryDirectory(prefix="catalogue-") as scratch:
        banks = make_banks(scratch)
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            futures = {pool.submit(render, r, out_dir, scratch, banks, cli): r for r in selected}
            failed = False
            for future in concurrent.futures.as_completed(futures):
                base, stem = futures[future][:2]
                try:
                    dest, length = future.result()
                    print("%-9s %-20s %.2f s" % (base, stem, length))
                except RecipeError as exc:
                    failed = True
                    print("FAILED %s/%s: %s" % (base, stem, exc), file=sys.stderr)
    if failed:
        sys.exit(1)
    write_plists(out_dir, RECIPES)


if __name__ == "__main__":
    main()
