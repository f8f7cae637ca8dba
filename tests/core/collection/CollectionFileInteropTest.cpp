// The collection file is the platform's keyed archive: a reader written
// elsewhere, from the format alone, must walk ours. Python's plistlib (with
// UIDs) plays that reader. The forms other archivers write are read in
// KeyedUnarchiver.ReadsTheFormsOtherArchiversWrite.
#include <gtest/gtest.h>

#include <string>

#include "core/collection/CollectionTestSupport.h"
#include "core/collection/QELMySoundEffectStorage.h"
#include "support/TestSupport.h"

using namespace collectiontest;

namespace {

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

}  // namespace

TEST(CollectionFileInterop, OurFileCanBeWalkedFromTheFormatAlone) {
    if (testsupport::systemPython().empty()) GTEST_SKIP() << "no /usr/bin/python3";
    CollectionDir dir;
    platform::ManualClock clock(platform::Date{700000000.25});
    QELMySoundEffectStorage storage(dir.path, clock);
    storage.addSoundEffect(builtIn());
    clock.advanceSeconds(1);
    storage.addSoundEffect(user("录音"));
    storage.flush();

    testsupport::writeText(dir.tmp.file("reader.py"), kReader);
    std::string output;
    ASSERT_EQ(testsupport::run(testsupport::systemPython() + " " + dir.tmp.file("reader.py") +
                                   " '" + dir.path + "' 2>&1",
                               &output),
              0)
        << output;
    const std::string keys = "category,fileName,name,path,subDir,time";
    const std::string classes = "QELCollectionSoundEffect,QELSoundEffect,NSObject";
    EXPECT_EQ(output, "NSArray,NSObject\n" + classes +
                          "|掌声|欢呼||clap.flac|Zeta|700000000.25|NSDate|" + keys + "\n" +
                          classes + "|录音|UserCustom|/录音.caf|||700000001.25|NSDate|" + keys +
                          "\n");
}
