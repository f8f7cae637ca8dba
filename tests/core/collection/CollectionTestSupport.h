#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/catalogue/QELSoundEffect.h"
#include "foundation/Files.h"
#include "foundation/KeyedArchive.h"
#include "support/TestSupport.h"

namespace collectiontest {

// A Library folder of its own: <tmp>/UserCollections exists, the collection
// file does not yet.
struct CollectionDir {
    testsupport::TempDir tmp;
    std::string path = tmp.file("UserCollections/Customcollection.info");
    CollectionDir() { std::filesystem::create_directories(tmp.file("UserCollections")); }
};

inline QELSoundEffect::Ref user(const std::string& name) {
    return QELSoundEffect::customSoundEffectWithName(name, "/" + name + ".caf");
}

// A built-in effect of the test bundle every core test sees (set up by the
// catalogue tests' environment).
inline QELSoundEffect::Ref builtIn() {
    return QELSoundEffect::init(
        "欢呼", platform::Value::Dictionary{{"fileName", "clap.flac"}, {"title", "掌声"}}, "Zeta");
}

inline void writeArchive(const std::string& path, const platform::Value& root) {
    auto data = platform::KeyedArchiver::archivedDataWithRootObject(root);
    ASSERT_TRUE(data);
    ASSERT_TRUE(platform::writeFileAtomically(path, *data));
}

// Names of the collection entries in the file at `path`, in order; empty
// when there is no file.
inline std::vector<std::string> namesInFile(const std::string& path) {
    std::vector<std::string> names;
    auto bytes = platform::readFile(path);
    if (!bytes) return names;
    auto root = platform::KeyedUnarchiver::unarchiveObjectWithData(
        *bytes, QELSoundEffect::archiveClasses());
    if (!root || !root->isArray()) return {"<damaged>"};
    for (const auto& item : *root->asArray()) {
        auto entry = item.asObject<QELCollectionSoundEffect>();
        names.push_back(entry ? entry->name() : "<skipped>");
    }
    return names;
}

// Archived objects a reader must not take for collection entries.
struct FakeEntry : platform::Coding {
    enum Kind { MissingTime, TextName, TextTime } kind;
    explicit FakeEntry(Kind k) : kind(k) {}
    std::vector<std::string> archiveClassHierarchy() const override {
        return {"QELCollectionSoundEffect", "QELSoundEffect", "NSObject"};
    }
    void encodeWithCoder(platform::KeyedArchiver& c) const override {
        for (auto key : {"category", "path", "fileName", "subDir"}) c.encodeObject("x", key);
        c.encodeObject(kind == TextName ? platform::Value(7) : platform::Value("x"), "name");
        if (kind != MissingTime) {
            c.encodeObject(kind == TextTime ? platform::Value("now") : platform::Value(platform::Date{1}),
                           "time");
        }
    }
};

}  // namespace collectiontest
