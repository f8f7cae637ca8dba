#!/usr/bin/python3
"""check.py must reject the bundles the program would mishandle.

    /usr/bin/python3 -m unittest discover -s tools/catalogue
"""

import os
import plistlib
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check  # noqa: E402


def tone(path, seconds=0.5, rate=44100, bits=16, peak_db=-3):
    subprocess.run(["sox", "-R", "-n", "-r", str(rate), "-b", str(bits), "-c", "1", path,
                    "synth", str(seconds), "sine", "440", "gain", "-n", str(peak_db)], check=True)


@unittest.skipUnless(shutil.which("sox") and shutil.which("ffmpeg"), "sox or ffmpeg not installed")
class CheckBundleTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="bundle-")
        self.addCleanup(shutil.rmtree, self.root)
        self.write("Cheers", "欢呼掌声", 1, [("a.flac", "掌声", "Applause"), ("b.flac", "欢呼")])
        self.write("Game", "游戏", 2, [("coin.flac", "金币")])

    def write(self, base, category, index, items, make_audio=True):
        os.makedirs(os.path.join(self.root, base), exist_ok=True)
        with open(os.path.join(self.root, base + ".plist"), "wb") as fp:
            plistlib.dump({"category": category, "index": index,
                           "list": [dict(fileName=i[0], title=i[1], **({"englishTitle": i[2]} if i[2:] else {}))
                                    for i in items]}, fp)
        if make_audio:
            for f, *_ in items:
                tone(os.path.join(self.root, base, f))

    def problems(self):
        return check.check_bundle(self.root)[0]

    def assertRejected(self, fragment):
        problems = self.problems()
        self.assertTrue(any(fragment in p for p in problems),
                        "expected a problem mentioning %r, got %r" % (fragment, problems))

    def test_valid_bundle_passes(self):
        problems, categories, sounds = check.check_bundle(self.root)
        self.assertEqual(problems, [])
        self.assertEqual((categories, sounds), (2, 3))

    def test_layout_faults(self):
        with self.subTest("stray top-level file"):
            open(os.path.join(self.root, "README.md"), "w").close()
            self.assertRejected("README.md")
            os.remove(os.path.join(self.root, "README.md"))
        with self.subTest("folder without plist"):
            os.mkdir(os.path.join(self.root, "Extra"))
            self.assertRejected("Extra/")
            os.rmdir(os.path.join(self.root, "Extra"))
        with self.subTest("audio file not listed"):
            tone(os.path.join(self.root, "Game", "old.flac"))
            self.assertRejected("Game/old.flac")
            os.remove(os.path.join(self.root, "Game", "old.flac"))
        with self.subTest("listed file missing"):
            os.remove(os.path.join(self.root, "Game", "coin.flac"))
            self.assertRejected("does not exist")

    def test_plist_faults(self):
        cases = [
            ("duplicate index", ("Game", "游戏", 1, [("coin.flac", "金币")]), "index 1"),
            ("boolean index", ("Game", "游戏", True, [("coin.flac", "金币")]), "'index'"),
            ("empty title", ("Game", "游戏", 2, [("coin.flac", " ")]), "'title'"),
            ("duplicate title", ("Game", "游戏", 2, [("coin.flac", "金币"), ("x.flac", "金币")]),
             "duplicate title"),
            ("non-ASCII file name", ("Game", "游戏", 2, [("金币.flac", "金币")]), "fileName"),
            ("empty category", ("Game", "", 2, [("coin.flac", "金币")]), "'category'"),
            ("duplicate English title",
             ("Game", "游戏", 2, [("coin.flac", "金币", "Coin"), ("x.flac", "金", "Coin")]),
             "duplicate englishTitle"),
        ]
        for label, args, fragment in cases:
            with self.subTest(label):
                shutil.rmtree(os.path.join(self.root, "Game"))
                self.write(*args, make_audio=False)
                for f, *_ in args[3]:
                    if f.isascii():
                        tone(os.path.join(self.root, "Game", f))
                self.assertRejected(fragment)

    def test_audio_faults(self):
        cases = [
            ("wrong sample rate", {"rate": 48000}, "sample rate"),
            ("too long", {"seconds": 4.5}, "s long"),
            ("too short", {"seconds": 0.1}, "s long"),
            ("quieter than the rest", {"peak_db": -6}, "differ by 3.0 LU"),
            ("true peak over the ceiling", {"peak_db": -0.5}, "true peak"),
            ("24-bit", {"bits": 24}, "16-bit"),
        ]
        path = os.path.join(self.root, "Game", "coin.flac")
        for label, params, fragment in cases:
            with self.subTest(label):
                tone(path, **params)
                self.assertRejected(fragment)

    def test_short_effect_counts_by_its_loudest_moment(self):
        # Too short for an integrated value; read as silence it would be
        # 60 LU away from the others.
        tone(os.path.join(self.root, "Game", "coin.flac"), seconds=0.3)
        self.assertEqual(self.problems(), [])


if __name__ == "__main__":
    unittest.main()
