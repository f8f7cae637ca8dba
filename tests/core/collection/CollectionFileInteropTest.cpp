// The collection file is the platform's keyed archive: a reader written
// elsewhere, from the format alone, must walk ours, and we must load theirs.
// Python's plistlib (with UIDs) plays that reader and writer.
#include <gtest/gtest.h>

#include <string>

#include "core/collection/CollectionTestSupport.h"
#include "core/collection/QELMySoundEffectStorage.h"
#include "foundation/Files.h"
#include "support/TestSupport.h"

using namespace collectiontest;

namespace {

// Builds an archive the way the platform's archiver lays it out: objects in
// any order, shared strings, a mutable root array. (Entries a reader must
// skip: CollectionStorage.LoadKeepsEveryGoodEntryInOrderAndSkipsTheRest.)
constexpr const char* kWriter = R"PY(
import plistlib, sys
from plistlib import UID
objects = ["$null", None]
def ref(o):
    objects.append(o)
    return UID(len(objects) - 1)
def cls(*names):
    return ref({"$classname": names[0], "$classes": list(names)})
entry_cls = cls("QELCollectionSoundEffect", "QELSoundEffect", "NSObject")
date_cls = cls("NSDate", "NSObject")
empty = ref("")
def entry(name, category, path, file_name, sub_dir, time):
    return ref({"$class": entry_cls, "name": ref(name), "category": ref(category),
                "path": ref(path) if path else empty,
                "fileName": ref(file_name) if file_name else empty,
                "subDir": ref(sub_dir) if sub_dir else empty,
                "time": ref({"NS.time": time, "$class": date_cls})})
items = [
    entry("掌声", "欢呼", "", "clap.flac", "Zeta", 10.5),
    entry("录音", "UserCustom", "/录音.caf", "", "", 20.25),
]
objects[1] = {"NS.objects": items,
              "$class": cls("NSMutableArray", "NSArray", "NSObject")}
top = {"$archiver": "NSKeyedArchiver", "$version": 100000,
       "$top": {"root": UID(1)}, "$objects": objects}
with open(sys.argv[1], "wb") as f:
    plistlib.dump(top, f, fmt=plistlib.FMT_BINARY)
)PY";

// Walks a collection file from the format alone and prints one line per
// entry: classes|name|category|path|fileName|subDir|time|date class|keys.
constexpr const char* kReader = R"PY(
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    data = f.read()
assert data.startswith(b"bplist00"), "not a binary property list"
top = plistlib.loads(data)
assert top["$archiver"] == "NSKeyedArchiver" and top["$version"] == 100000
objs = top["$objects"]
assert objs[0] == "$null"
def get(u):
    assert isinstance(u, plistlib.UID), u
    return objs[u.data]
root = get(top["$top"]["root"])
print(",".join(get(root["$class"])["$classes"]))
for u in root["NS.objects"]:
    e = get(u)
    t = get(e["time"])
    fields = [get(e[k]) for k in ("name", "category", "path", "fileName", "subDir")]
    assert all(isinstance(v, str) for v in fields)
    print("|".join([",".join(get(e["$class"])["$classes"]), *fields, repr(t["NS.time"]),
                    get(t["$class"])["$classname"], ",".join(sorted(k for k in e if k != "$class"))]))
)PY";

std::string python(const testsupport::TempDir& tmp, const char* script, const std::string& arg,
                   std::string* output = nullptr) {
    testsupport::writeText(tmp.file("script.py"), script);
    int rc = testsupport::run(
        testsupport::systemPython() + " " + tmp.file("script.py") + " '" + arg + "' 2>&1", output);
    return rc == 0 ? "" : "python failed with " + std::to_string(rc);
}

}  // namespace

TEST(CollectionFileInterop, LoadsAnArchiveWrittenFromTheFormatAlone) {
    if (testsupport::systemPython().empty()) GTEST_SKIP() << "no /usr/bin/python3";
    CollectionDir dir;
    std::string output;
    ASSERT_EQ(python(dir.tmp, kWriter, dir.path, &output), "") << output;

    QELMySoundEffectStorage storage(dir.path);
    const auto& list = storage.soundEffects();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(*list[0] == *builtIn());
    EXPECT_EQ(list[0]->time().secondsSinceReferenceDate, 10.5);
    EXPECT_EQ(list[1]->name(), "录音");
    EXPECT_TRUE(list[1]->isUserCustom());
    EXPECT_EQ(list[1]->resourcePath(), kUserCollectionFileBasePath() + "/录音.caf");
    EXPECT_EQ(list[1]->time().secondsSinceReferenceDate, 20.25);
}

TEST(CollectionFileInterop, OurFileCanBeWalkedFromTheFormatAlone) {
    if (testsupport::systemPython().empty()) GTEST_SKIP() << "no /usr/bin/python3";
    CollectionDir dir;
    platform::ManualClock clock(platform::Date{700000000.25});
    QELMySoundEffectStorage storage(dir.path, clock);
    storage.addSoundEffect(builtIn());
    clock.advanceSeconds(1);
    storage.addSoundEffect(user("录音"));
    storage.flush();

    std::string output;
    ASSERT_EQ(python(dir.tmp, kReader, dir.path, &output), "") << output;
    const std::string keys = "category,fileName,name,path,subDir,time";
    const std::string classes = "QELCollectionSoundEffect,QELSoundEffect,NSObject";
    EXPECT_EQ(output, "NSArray,NSObject\n" + classes +
                          "|掌声|欢呼||clap.flac|Zeta|700000000.25|NSDate|" + keys + "\n" +
                          classes + "|录音|UserCustom|/录音.caf|||700000001.25|NSDate|" + keys +
                          "\n");
}
